#include "runrecord.h"

#include <cstring>
#include <nlohmann/json.hpp>

#include "boundedread.h"

namespace io {
namespace {

using json = nlohmann::json;

// A record holds a line or two per point; a sweep has at most a million.
constexpr long long maxRecordBytes = 1LL << 31;

struct badRecord {
  std::string why;
};

const json& member(const json& object, const char* key) {
  const auto at = object.find(key);
  if (at == object.end()) throw badRecord{std::string("no '") + key + "'"};
  return *at;
}

std::string text(const json& object, const char* key) {
  const json& value = member(object, key);
  if (!value.is_string()) throw badRecord{std::string("'") + key + "' is not a string"};
  return value.get<std::string>();
}

long long whole(const json& object, const char* key) {
  const json& value = member(object, key);
  if (!value.is_number_integer()) throw badRecord{std::string("'") + key + "' is not a whole number"};
  return value.get<long long>();
}

// A count the record may leave null (unknown).
std::optional<long long> wholeOrNull(const json& object, const char* key) {
  if (member(object, key).is_null()) return std::nullopt;
  return whole(object, key);
}

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
  const json::parser_callback_t skipPoints = [withPoints](int depth, json::parse_event_t event, json& parsed) {
    return withPoints || !(depth == 1 && event == json::parse_event_t::key && parsed == "points");
  };
  try {
    const json record = json::parse(file.bytes, skipPoints);
    if (!record.is_object()) throw badRecord{"is not a JSON object"};
    out.manifest = text(record, "manifest");
    out.folder = text(record, "folder");
    out.release = text(record, "release");
    out.commit = text(record, "commit");
    out.processor = text(record, "processor");
    out.unit = text(record, "unit");
    out.host = text(record, "host");
    out.threads = wholeOrNull(record, "threads");
    out.jobs = wholeOrNull(record, "jobs");
    out.start = text(record, "start");
    out.end = text(record, "end");
    out.status = text(record, "status");
    const json& counts = member(record, "counts");
    if (!counts.is_object()) throw badRecord{"'counts' is not an object"};
    out.ok = whole(counts, "ok");
    out.failed = whole(counts, "failed");
    out.notRun = whole(counts, "notRun");
    if (withPoints) {
      const json& points = member(record, "points");
      if (!points.is_array()) throw badRecord{"'points' is not a list"};
      for (const json& p : points) {
        if (!p.is_object()) throw badRecord{"a point is not an object"};
        out.points.push_back({whole(p, "point"), text(p, "result"), text(p, "command"), text(p, "status")});
      }
    }
  } catch (const badRecord& bad) {
    out = RunRecord{};
    return path + ": not a run record: " + bad.why;
  } catch (const json::exception& error) {
    // The library's message after its "[json.exception....] " tag: where and what. It quotes
    // the bytes last read, so control characters and bytes outside ASCII are shown as '?',
    // and an escape sequence in a bad file cannot reach the terminal.
    std::string why = error.what();
    if (const std::size_t tag = why.find("] "); why.rfind("[json.", 0) == 0 && tag != std::string::npos) {
      why.erase(0, tag + 2);
    }
    for (char& c : why) {
      if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
    }
    out = RunRecord{};
    return path + ": not a run record: " + why;
  }
  return std::nullopt;
}

}  // namespace io
