#include "runrecord.h"

#include <climits>
#include <cstring>
#include <iterator>
#include <nlohmann/json.hpp>

#include "boundedread.h"

namespace io {
namespace {

using json = nlohmann::json;

// A record holds a line or two per point; a sweep has at most a million.
constexpr long long maxRecordBytes = 1LL << 31;
// A record nests three deep (the run, its point list, a point); far deeper nesting is no
// record, and refusing it early keeps a hostile file from costing memory or time.
constexpr std::size_t maxRecordDepth = 32;

struct badRecord {
  std::string why;
};

// A value of a field the tools read; the others are parsed and dropped.
struct Field {
  enum Kind { absent, null, text, whole, wholeTooLarge, other } kind = absent;
  std::string string;
  long long number = 0;
};

const std::string& text(const Field& value, const char* key) {
  if (value.kind == Field::absent) throw badRecord{std::string("no '") + key + "'"};
  if (value.kind != Field::text) throw badRecord{std::string("'") + key + "' is not a string"};
  return value.string;
}

long long whole(const Field& value, const char* key) {
  if (value.kind == Field::absent) throw badRecord{std::string("no '") + key + "'"};
  // An unsigned count past the signed range would read as a negative one.
  if (value.kind == Field::wholeTooLarge) {
    throw badRecord{std::string("'") + key + "' is larger than " + std::to_string(LLONG_MAX)};
  }
  if (value.kind != Field::whole) throw badRecord{std::string("'") + key + "' is not a whole number"};
  return value.number;
}

// A count the record may leave null (unknown).
std::optional<long long> wholeOrNull(const Field& value, const char* key) {
  if (value.kind == Field::null) return std::nullopt;
  return whole(value, key);
}

// The record read as it streams by: each field the tools show is kept, points go straight
// into the list (or are skipped), everything else is checked for syntax only. Faults of
// the record's shape are reported after the whole text parsed, in a fixed order of fields,
// so that a syntax error anywhere comes first, as from a parse into a document.
class RecordReader final : public nlohmann::json_sax<json> {
 public:
  explicit RecordReader(bool withPoints) : withPoints_(withPoints) {}

  enum class Frame { run, counts, pointList, point, skipped };
  static constexpr const char* runKeys[] = {"manifest", "folder", "release", "commit", "processor", "unit", "host",
                                            "threads",  "jobs",   "start",   "end",    "status"};
  static constexpr const char* countKeys[] = {"ok", "failed", "notRun"};
  static constexpr const char* pointKeys[] = {"point", "result", "command", "status"};

  bool isObject = false;
  Field run[std::size(runKeys)], counts[std::size(countKeys)];
  // Whether 'counts' is there as an object and 'points' as a list.
  enum class Shape { absent, right, wrong } countsShape = Shape::absent, pointsShape = Shape::absent;
  std::vector<RunPoint> points;
  std::optional<std::string> pointFault;  // the first point's fault, after the run's
  std::optional<std::string> tooDeep;
  std::optional<std::string> syntax;      // the parser's message

  bool null() override { return scalar(Field::null); }
  bool boolean(bool) override { return scalar(Field::other); }
  bool number_integer(number_integer_t n) override { return scalar(Field::whole, nullptr, n); }
  bool number_unsigned(number_unsigned_t n) override {
    if (n > static_cast<number_unsigned_t>(LLONG_MAX)) return scalar(Field::wholeTooLarge);
    return scalar(Field::whole, nullptr, static_cast<long long>(n));
  }
  bool number_float(number_float_t, const string_t&) override { return scalar(Field::other); }
  // Copied, not moved: the parser keeps its buffer, and values not kept cost nothing.
  bool string(string_t& s) override { return scalar(Field::text, &s); }
  bool binary(binary_t&) override { return scalar(Field::other); }

  bool start_object(std::size_t) override { return open(true); }
  bool start_array(std::size_t) override { return open(false); }
  bool end_object() override { return close(); }
  bool end_array() override { return close(); }

  bool key(string_t& name) override {
    if (frames_.back() != Frame::skipped) keys_.back() = name;
    return true;
  }

  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& error) override {
    syntax = error.what();
    return false;
  }

 private:
  template <std::size_t n>
  static Field* find(Field (&fields)[n], const char* const (&keys)[n], const std::string& name) {
    for (std::size_t i = 0; i < n; ++i) {
      if (name == keys[i]) return &fields[i];
    }
    return nullptr;
  }

  // Where a value at this point of the text goes: a field, or nowhere.
  Field* slot() {
    if (frames_.empty()) return nullptr;
    switch (frames_.back()) {
      case Frame::run:
        return find(run, runKeys, keys_.back());
      case Frame::counts:
        return find(counts, countKeys, keys_.back());
      case Frame::point:
        return find(point_, pointKeys, keys_.back());
      default:
        return nullptr;
    }
  }

  bool scalar(Field::Kind kind, const std::string* text = nullptr, long long number = 0) {
    if (frames_.empty()) return true;  // the whole text is one value: no object
    if (frames_.back() == Frame::pointList) {
      pointFault = pointFault.value_or("a point is not an object");
    } else if (frames_.back() == Frame::run && keys_.back() == "counts") {
      countsShape = Shape::wrong;
    } else if (frames_.back() == Frame::run && keys_.back() == "points") {
      if (withPoints_) pointsShape = Shape::wrong;
    } else if (Field* field = slot()) {
      field->kind = kind;
      if (text) field->string.assign(*text);
      field->number = number;
    }
    return true;
  }

  bool open(bool object) {
    if (frames_.size() >= maxRecordDepth) {
      tooDeep = "nested deeper than " + std::to_string(maxRecordDepth) + " levels";
      return false;
    }
    Frame frame = Frame::skipped;
    if (frames_.empty()) {
      isObject = object;
      if (object) frame = Frame::run;
    } else if (frames_.back() == Frame::run && keys_.back() == "counts") {
      countsShape = object ? Shape::right : Shape::wrong;
      for (Field& f : counts) f = {};
      if (object) frame = Frame::counts;
    } else if (frames_.back() == Frame::run && keys_.back() == "points") {
      if (withPoints_) {
        // A later list replaces an earlier one, as the last of equal keys wins.
        pointsShape = object ? Shape::wrong : Shape::right;
        points.clear();
        pointFault.reset();
        if (!object) frame = Frame::pointList;
      }
    } else if (frames_.back() == Frame::pointList) {
      if (object) {
        for (Field& f : point_) f.kind = Field::absent;
        frame = Frame::point;
      } else {
        pointFault = pointFault.value_or("a point is not an object");
      }
    } else if (Field* field = slot()) {
      *field = {Field::other, {}, 0};
    }
    frames_.push_back(frame);
    keys_.emplace_back();
    return true;
  }

  bool close() {
    if (frames_.back() == Frame::point && !pointFault) {
      try {
        const long long number = whole(point_[0], "point");
        for (std::size_t i = 1; i < std::size(pointKeys); ++i) text(point_[i], pointKeys[i]);
        points.push_back({number, std::move(point_[1].string), std::move(point_[2].string),
                          std::move(point_[3].string)});
      } catch (const badRecord& bad) {
        pointFault = bad.why;
      }
    }
    frames_.pop_back();
    keys_.pop_back();
    return true;
  }

  bool withPoints_;
  std::vector<Frame> frames_;     // the open objects and lists, outermost first
  std::vector<std::string> keys_;  // the key last read in each
  Field point_[std::size(pointKeys)];
};

}  // namespace

std::optional<std::string> readRunRecord(const std::string& path, RunRecord& out, bool withPoints) {
  out = RunRecord{};
  const BoundedRead file = readBounded(path, maxRecordBytes);
  switch (file.fault) {
    case ReadFault::none:
      break;
    case ReadFault::cannotOpen:
      return path + ": cannot open: " + std::strerror(file.error);
    case ReadFault::folder:
      return path + ": is a folder, not a run record";
    case ReadFault::notRegular:
      return path + ": is not a regular file";
    case ReadFault::tooLarge:
      return path + ": is too large for a run record";
    case ReadFault::cannotRead:
      return path + ": cannot read: " + std::strerror(file.error);
  }
  RecordReader reader(withPoints);
  json::sax_parse(file.bytes, &reader);
  if (reader.syntax) {
    // The library's message after its "[json.exception....] " tag: where and what. It quotes
    // the bytes last read, so control characters and bytes outside ASCII are shown as '?',
    // and an escape sequence in a bad file cannot reach the terminal.
    std::string why = *reader.syntax;
    if (const std::size_t tag = why.find("] "); why.rfind("[json.", 0) == 0 && tag != std::string::npos) {
      why.erase(0, tag + 2);
    }
    for (char& c : why) {
      if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    }
    return path + ": not a run record: " + why;
  }
  if (reader.tooDeep) return path + ": not a run record: " + *reader.tooDeep;
  try {
    if (!reader.isObject) throw badRecord{"is not a JSON object"};
    const Field* run = reader.run;
    out.manifest = text(run[0], "manifest");
    out.folder = text(run[1], "folder");
    out.release = text(run[2], "release");
    out.commit = text(run[3], "commit");
    out.processor = text(run[4], "processor");
    out.unit = text(run[5], "unit");
    out.host = text(run[6], "host");
    out.threads = wholeOrNull(run[7], "threads");
    out.jobs = wholeOrNull(run[8], "jobs");
    out.start = text(run[9], "start");
    out.end = text(run[10], "end");
    out.status = text(run[11], "status");
    if (reader.countsShape == RecordReader::Shape::absent) throw badRecord{"no 'counts'"};
    if (reader.countsShape == RecordReader::Shape::wrong) throw badRecord{"'counts' is not an object"};
    out.ok = whole(reader.counts[0], "ok");
    out.failed = whole(reader.counts[1], "failed");
    out.notRun = whole(reader.counts[2], "notRun");
    if (withPoints) {
      if (reader.pointsShape == RecordReader::Shape::absent) throw badRecord{"no 'points'"};
      if (reader.pointsShape == RecordReader::Shape::wrong) throw badRecord{"'points' is not a list"};
      if (reader.pointFault) throw badRecord{*reader.pointFault};
      out.points = std::move(reader.points);
    }
  } catch (const badRecord& bad) {
    out = RunRecord{};
    return path + ": not a run record: " + bad.why;
  }
  return std::nullopt;
}

}  // namespace io
