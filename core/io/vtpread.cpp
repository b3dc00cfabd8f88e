#include "io/vtpread.h"

#include <tinyxml2.h>
#include <zlib.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

namespace view {

namespace {

static_assert(std::endian::native == std::endian::little, "the binary arrays are read as little-endian");

using tinyxml2::XMLElement;

// Ends a parse with the reason; caught once at the top, where the file name is added.
struct Refusal {
  std::string what;
};

[[noreturn]] void refuse(std::string what) { throw Refusal{std::move(what)}; }

struct ScalarType {
  const char* name;
  int size;
  bool real;
  bool isSigned;
};

constexpr ScalarType scalarTypes[] = {
    {"Int8", 1, false, true},   {"UInt8", 1, false, false},  {"Int16", 2, false, true}, {"UInt16", 2, false, false},
    {"Int32", 4, false, true},  {"UInt32", 4, false, false}, {"Int64", 8, false, true}, {"UInt64", 8, false, false},
    {"Float32", 4, true, true}, {"Float64", 8, true, true},
};

// What the VTKFile element says about every binary array.
struct Encoding {
  int headerSize = 4;       // bytes per block-header word: UInt32 or UInt64
  bool compressed = false;  // zlib blocks behind a block header
  std::string_view appended;
  bool appendedBase64 = false;
  bool hasAppended = false;
};

// A strict unsigned decimal, as counts and offsets are written.
std::optional<std::uint64_t> unsignedValue(const char* text) {
  if (!text || !*text) return std::nullopt;
  std::uint64_t value = 0;
  for (const char* c = text; *c; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    const unsigned digit = static_cast<unsigned>(*c - '0');
    if (value > (std::numeric_limits<std::uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

std::string shown(const char* text) {
  std::string s = text ? std::string(text).substr(0, 40) : std::string();
  for (char& c : s) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
  }
  return s;
}

std::uint64_t countAttribute(const XMLElement* e, const char* attribute, std::uint64_t most, const std::string& where) {
  const char* text = e->Attribute(attribute);
  if (!text) refuse(where + " has no " + attribute);
  const auto value = unsignedValue(text);
  if (!value) refuse(where + ": " + attribute + " '" + shown(text) + "' is not a whole number");
  if (*value > most)
    refuse(where + ": " + attribute + " " + std::to_string(*value) + " is more than " + std::to_string(most));
  return *value;
}

// The bytes of one array: raw, or base64 decoded four characters at a time. VTK encodes a
// block header and the blocks behind it as separate base64 runs, each padded, so padding
// may end any group; decoding group by group reads both that and one continuous run.
class ByteStream {
 public:
  ByteStream(std::string_view text, bool base64) : text_(text), base64_(base64) {}

  // The next n bytes, or a refusal naming `what`.
  std::string read(std::uint64_t n, const std::string& what) {
    if (n > upperBound()) refuse(what + " ends before its " + std::to_string(n) + " bytes");
    std::string out;
    out.reserve(static_cast<std::size_t>(n));
    if (!base64_) {
      out.assign(text_.substr(pos_, static_cast<std::size_t>(n)));
      pos_ += static_cast<std::size_t>(n);
      return out;
    }
    while (out.size() < n) {
      if (pendingPos_ == pending_.size() && !decodeGroup(what)) {
        refuse(what + " ends before its " + std::to_string(n) + " bytes");
      }
      const std::size_t take = std::min<std::size_t>(pending_.size() - pendingPos_, n - out.size());
      out.append(pending_, pendingPos_, take);
      pendingPos_ += take;
    }
    return out;
  }

  std::uint64_t word(int size, const std::string& what) {
    const std::string b = read(static_cast<std::uint64_t>(size), what);
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(b[i]);
    return value;
  }

 private:
  // No more bytes than this can follow: what lets a wild size be refused before memory
  // is reserved for it.
  std::uint64_t upperBound() const {
    const std::uint64_t left = text_.size() - pos_;
    return base64_ ? left / 4 * 3 + (pending_.size() - pendingPos_) : left;
  }

  static int sextet(char c) {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  }

  bool decodeGroup(const std::string& what) {
    char group[4];
    int have = 0;
    while (have < 4 && pos_ < text_.size()) {
      const char c = text_[pos_++];
      if (c == ' ' || c == '\n' || c == '\r' || c == '\t') continue;
      group[have++] = c;
    }
    if (have == 0) return false;
    if (have < 4) refuse(what + ": base64 text ends inside a group of four characters");
    int padding = 0;
    std::uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) {
      int v = sextet(group[i]);
      if (group[i] == '=' && i >= 2) {
        v = 0;
        ++padding;
      } else if (v < 0 || padding > 0) {
        refuse(what + ": '" + shown(std::string(group, 4).c_str()) + "' is not base64");
      }
      bits = bits << 6 | static_cast<std::uint32_t>(v);
    }
    pending_.clear();
    pendingPos_ = 0;
    const char bytes[3] = {static_cast<char>(bits >> 16), static_cast<char>(bits >> 8), static_cast<char>(bits)};
    pending_.assign(bytes, static_cast<std::size_t>(3 - padding));
    return true;
  }

  std::string_view text_;
  bool base64_;
  std::size_t pos_ = 0;
  std::string pending_;
  std::size_t pendingPos_ = 0;
};

// One data array's description, checked against what the caller needs.
struct ArrayHead {
  const XMLElement* element = nullptr;
  ScalarType type{};
  std::uint64_t components = 1;
  std::string label;  // "point array 'red'" and the like, for messages
};

ArrayHead describe(const XMLElement* e, const std::string& label) {
  ArrayHead head;
  head.element = e;
  head.label = label;
  const char* type = e->Attribute("type");
  if (!type) refuse(label + " has no type");
  bool known = false;
  for (const ScalarType& t : scalarTypes) {
    if (std::strcmp(t.name, type) == 0) {
      head.type = t;
      known = true;
    }
  }
  if (!known) refuse(label + ": type '" + shown(type) + "' is not a number type");
  if (e->Attribute("NumberOfComponents")) head.components = countAttribute(e, "NumberOfComponents", 1024, label);
  if (head.components == 0) refuse(label + " has 0 components");
  return head;
}

void requireComponents(const ArrayHead& a, std::uint64_t components) {
  if (a.components != components) {
    refuse(a.label + " has " + std::to_string(a.components) + " components, expected " + std::to_string(components));
  }
}

// zlib cannot expand data more than about 1032-fold; a larger declared size is refused
// before memory is taken for it.
constexpr std::uint64_t maxInflation = 1032;

std::string inflateBlock(const std::string& packed, std::uint64_t size, const std::string& what) {
  if (size > packed.size() * maxInflation + 64) {
    refuse(what + " of " + std::to_string(packed.size()) + " bytes cannot inflate to its declared " +
           std::to_string(size));
  }
  // One extra byte of room tells a block that inflates to more than declared from one
  // that fits exactly.
  std::string room(static_cast<std::size_t>(size) + 1, '\0');
  uLongf outLength = static_cast<uLongf>(room.size());
  const int status = uncompress(reinterpret_cast<Bytef*>(room.data()), &outLength,
                                reinterpret_cast<const Bytef*>(packed.data()), static_cast<uLong>(packed.size()));
  if (status == Z_BUF_ERROR && outLength == room.size())
    refuse(what + " inflates to more than its declared " + std::to_string(size) + " bytes");
  if (status != Z_OK) refuse(what + " is not valid zlib data");
  if (outLength != size) {
    refuse(what + " inflates to " + std::to_string(outLength) + " bytes, not its declared " + std::to_string(size));
  }
  room.resize(static_cast<std::size_t>(size));
  return room;
}

// The raw bytes of a binary array that must hold exactly `expected` bytes.
std::string binaryBytes(const ArrayHead& a, const Encoding& enc, std::uint64_t expected) {
  const XMLElement* e = a.element;
  const std::string format = e->Attribute("format") ? e->Attribute("format") : "";
  std::string_view source;
  bool base64 = true;
  if (format == "binary") {
    source = e->GetText() ? std::string_view(e->GetText()) : std::string_view();
  } else {
    if (!enc.hasAppended) refuse(a.label + " is appended, but the file has no appended data");
    const std::uint64_t offset = countAttribute(e, "offset", enc.appended.size(), a.label);
    source = enc.appended.substr(static_cast<std::size_t>(offset));
    base64 = enc.appendedBase64;
  }
  ByteStream in(source, base64);
  const int h = enc.headerSize;
  if (!enc.compressed) {
    const std::uint64_t declared = in.word(h, a.label);
    if (declared != expected) {
      refuse(a.label + " declares " + std::to_string(declared) + " bytes, expected " + std::to_string(expected));
    }
    return in.read(declared, a.label);
  }
  const std::uint64_t blocks = in.word(h, a.label + " block header");
  const std::uint64_t blockSize = in.word(h, a.label + " block header");
  const std::uint64_t lastSize = in.word(h, a.label + " block header");
  // The blocks' declared sizes must add up to the array before any is read.
  std::uint64_t total = 0;
  if (blocks > 0) {
    if (blockSize == 0 || blocks - 1 > expected / blockSize) {
      refuse(a.label + ": " + std::to_string(blocks) + " blocks of " + std::to_string(blockSize) +
             " bytes cannot hold " + std::to_string(expected) + " bytes");
    }
    const std::uint64_t last = lastSize == 0 ? blockSize : lastSize;
    if (last > blockSize)
      refuse(a.label + ": last block of " + std::to_string(last) + " bytes exceeds the block size " +
             std::to_string(blockSize));
    total = (blocks - 1) * blockSize + last;
  }
  if (total != expected) {
    refuse(a.label + " declares " + std::to_string(total) + " bytes, expected " + std::to_string(expected));
  }
  // Not reserved ahead: each size is read from the stream, so a wild block count fails
  // at the stream's end instead of taking memory.
  std::vector<std::uint64_t> packedSizes;
  for (std::uint64_t b = 0; b < blocks; ++b) packedSizes.push_back(in.word(h, a.label + " block header"));
  std::string out;
  for (std::uint64_t b = 0; b < blocks; ++b) {
    const std::string what = a.label + " block " + std::to_string(b + 1) + " of " + std::to_string(blocks);
    const std::string packed = in.read(packedSizes[b], what);
    const std::uint64_t size = b + 1 < blocks || lastSize == 0 ? blockSize : lastSize;
    out += inflateBlock(packed, size, what);
  }
  return out;
}

bool isBlank(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }

// Values as doubles (reals) or long longs (integers), `count` of them.
struct Values {
  std::vector<double> reals;
  std::vector<long long> integers;
};

Values readValues(const ArrayHead& a, const Encoding& enc, std::uint64_t count) {
  Values v;
  const ScalarType& t = a.type;
  const char* formatText = a.element->Attribute("format");
  if (!formatText) refuse(a.label + " has no format");
  const std::string format = formatText;
  if (format == "ascii") {
    const std::string_view text = a.element->GetText() ? a.element->GetText() : "";
    std::size_t pos = 0;
    std::uint64_t got = 0;
    while (true) {
      while (pos < text.size() && isBlank(text[pos])) ++pos;
      if (pos >= text.size()) break;
      const std::size_t start = pos;
      while (pos < text.size() && !isBlank(text[pos])) ++pos;
      if (++got > count) refuse(a.label + " holds more than " + std::to_string(count) + " values");
      const std::string token(text.substr(start, pos - start));
      char* end = nullptr;
      errno = 0;
      if (t.real) {
        const double value = std::strtod(token.c_str(), &end);
        if (end != token.c_str() + token.size() || !std::isfinite(value)) {
          refuse(a.label + ": '" + shown(token.c_str()) + "' is not a finite real number");
        }
        v.reals.push_back(value);
      } else {
        const long long value = std::strtoll(token.c_str(), &end, 10);
        const int bits = t.size * 8 - (t.isSigned ? 1 : 0);
        const bool inRange = t.size == 8 ? (t.isSigned || value >= 0)
                                         : value >= (t.isSigned ? -(1LL << bits) : 0) && value < (1LL << bits);
        if (end != token.c_str() + token.size() || errno == ERANGE || !inRange) {
          refuse(a.label + ": '" + shown(token.c_str()) + "' is not an integer of type " + t.name);
        }
        v.integers.push_back(value);
      }
    }
    if (got != count) refuse(a.label + " holds " + std::to_string(got) + " values, expected " + std::to_string(count));
    return v;
  }
  if (format != "binary" && format != "appended")
    refuse(a.label + ": format '" + shown(formatText) + "' is not ascii, binary or appended");
  const std::string bytes = binaryBytes(a, enc, count * static_cast<std::uint64_t>(t.size));
  const char* p = bytes.data();
  if (t.real) {
    v.reals.reserve(static_cast<std::size_t>(count));
  } else {
    v.integers.reserve(static_cast<std::size_t>(count));
  }
  for (std::uint64_t i = 0; i < count; ++i, p += t.size) {
    if (t.real) {
      if (t.size == 4) {
        float f;
        std::memcpy(&f, p, 4);
        v.reals.push_back(f);
      } else {
        double d;
        std::memcpy(&d, p, 8);
        v.reals.push_back(d);
      }
      continue;
    }
    std::uint64_t u = 0;
    std::memcpy(&u, p, static_cast<std::size_t>(t.size));
    long long value;
    if (t.isSigned && t.size < 8 && (u >> (t.size * 8 - 1)) != 0) {
      value = static_cast<long long>(u) - (1LL << (t.size * 8));  // sign-extend
    } else if (!t.isSigned && t.size == 8 && u > static_cast<std::uint64_t>(std::numeric_limits<long long>::max())) {
      refuse(a.label + ": value " + std::to_string(u) + " is out of range");
    } else {
      value = static_cast<long long>(u);
    }
    v.integers.push_back(value);
  }
  return v;
}

std::vector<const XMLElement*> arraysIn(const XMLElement* parent) {
  std::vector<const XMLElement*> arrays;
  if (!parent) return arrays;
  // Field data may hold its arrays as <Array> (VTK writes string arrays so), the rest as <DataArray>.
  for (const XMLElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement()) {
    if (std::strcmp(e->Name(), "DataArray") == 0 || std::strcmp(e->Name(), "Array") == 0) arrays.push_back(e);
  }
  return arrays;
}

const XMLElement* named(const XMLElement* parent, const char* name) {
  for (const XMLElement* e : arraysIn(parent)) {
    if (const char* n = e->Attribute("Name"); n && std::strcmp(n, name) == 0) return e;
  }
  return nullptr;
}

std::vector<long long> integers(const ArrayHead& a, const Encoding& enc, std::uint64_t count) {
  if (a.type.real) refuse(a.label + " is " + a.type.name + ", expected integers");
  return readValues(a, enc, count).integers;
}

Encoding encodingOf(const XMLElement* root) {
  Encoding enc;
  if (const char* order = root->Attribute("byte_order"); order && std::strcmp(order, "LittleEndian") != 0) {
    refuse("byte order '" + shown(order) + "' is not read; only LittleEndian");
  }
  if (const char* header = root->Attribute("header_type")) {
    if (std::strcmp(header, "UInt64") == 0) {
      enc.headerSize = 8;
    } else if (std::strcmp(header, "UInt32") != 0) {
      refuse("header_type '" + shown(header) + "' is not UInt32 or UInt64");
    }
  }
  if (const char* compressor = root->Attribute("compressor")) {
    if (std::strcmp(compressor, "vtkZLibDataCompressor") != 0) {
      refuse("compressor '" + shown(compressor) + "' is not read; only vtkZLibDataCompressor");
    }
    enc.compressed = true;
  }
  return enc;
}

// Field arrays hold one tuple; a writer may leave the count out.
void requireOneTuple(const ArrayHead& a) {
  if (a.element->Attribute("NumberOfTuples") && countAttribute(a.element, "NumberOfTuples", 1, a.label) != 1) {
    refuse(a.label + " holds no tuple");
  }
}

void readFieldData(const XMLElement* fieldData, const Encoding& enc, Mesh& mesh) {
  if (!fieldData) return;
  if (const XMLElement* e = named(fieldData, "threshold")) {
    const ArrayHead a = describe(e, "field array 'threshold'");
    requireComponents(a, 3);
    requireOneTuple(a);
    const std::vector<long long> t = integers(a, enc, 3);
    std::array<int, 3> thresholds{};
    for (int k = 0; k < 3; ++k) {
      if (t[k] < 0 || t[k] > 255) refuse(a.label + ": " + std::to_string(t[k]) + " is outside 0..255");
      thresholds[k] = static_cast<int>(t[k]);
    }
    mesh.thresholds = thresholds;
  }
  if (const XMLElement* e = named(fieldData, "cycle")) {
    const ArrayHead a = describe(e, "field array 'cycle'");
    requireComponents(a, 1);
    requireOneTuple(a);
    const long long cycle = integers(a, enc, 1)[0];
    if (cycle < 0) refuse(a.label + ": " + std::to_string(cycle) + " is negative");
    mesh.cycle = cycle;
  }
}

void readLevels(const XMLElement* pointData, const Encoding& enc, std::uint64_t pointCount, Mesh& mesh) {
  static const char* const colours[] = {"red", "green", "blue"};
  const XMLElement* found[3] = {};
  int present = 0;
  for (int k = 0; k < 3; ++k) {
    found[k] = pointData ? named(pointData, colours[k]) : nullptr;
    present += found[k] != nullptr;
  }
  if (present == 0) return;
  if (present < 3) {
    for (int k = 0; k < 3; ++k) {
      if (!found[k]) refuse(std::string("has morphogen levels but no '") + colours[k] + "' point array");
    }
  }
  mesh.levels.assign(static_cast<std::size_t>(pointCount), {0, 0, 0});
  for (int k = 0; k < 3; ++k) {
    const ArrayHead a = describe(found[k], std::string("point array '") + colours[k] + "'");
    if (std::strcmp(a.type.name, "UInt8") != 0) refuse(a.label + " is " + a.type.name + ", expected UInt8");
    requireComponents(a, 1);
    const std::vector<long long> level = integers(a, enc, pointCount);
    for (std::size_t i = 0; i < level.size(); ++i) mesh.levels[i][k] = static_cast<unsigned char>(level[i]);
  }
}

// One component per point or cell, when the array is there; values outside lo..hi are refused.
std::vector<int> optionalColumn(const XMLElement* data, const char* name, const char* kind, const Encoding& enc,
                                std::uint64_t count, long long lo, long long hi) {
  const XMLElement* e = data ? named(data, name) : nullptr;
  if (!e) return {};
  const ArrayHead a = describe(e, std::string(kind) + " array '" + name + "'");
  requireComponents(a, 1);
  std::vector<int> column;
  column.reserve(static_cast<std::size_t>(count));
  for (const long long v : integers(a, enc, count)) {
    if (v < lo || v > hi) refuse(a.label + ": " + std::to_string(v) + " is outside " + std::to_string(lo) + ".." + std::to_string(hi));
    column.push_back(static_cast<int>(v));
  }
  return column;
}

// A field array of one tuple of `components` whole numbers within int, when it is there.
std::optional<std::vector<int>> optionalField(const XMLElement* fieldData, const char* name, const Encoding& enc,
                                              std::uint64_t components) {
  const XMLElement* e = fieldData ? named(fieldData, name) : nullptr;
  if (!e) return std::nullopt;
  const ArrayHead a = describe(e, std::string("field array '") + name + "'");
  requireComponents(a, components);
  requireOneTuple(a);
  std::vector<int> values;
  for (const long long v : integers(a, enc, components)) {
    if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
      refuse(a.label + ": " + std::to_string(v) + " is outside the range of a 32-bit integer");
    values.push_back(static_cast<int>(v));
  }
  return values;
}

void readHistory(const XMLElement* piece, const XMLElement* fieldData, const Encoding& enc, std::uint64_t pointCount,
                 std::uint64_t polyCount, Mesh& mesh) {
  const XMLElement* pointData = piece->FirstChildElement("PointData");
  for (const int flag : optionalColumn(pointData, "pending", "point", enc, pointCount, 0, 255))
    mesh.pending.push_back(flag != 0);
  mesh.born = optionalColumn(pointData, "born", "point", enc, pointCount, std::numeric_limits<int>::min(),
                             std::numeric_limits<int>::max());
  // Ages are per cell; a polygon fanned into several triangles leaves them without one each.
  if (mesh.faces.size() == polyCount)
    mesh.age = optionalColumn(piece->FirstChildElement("CellData"), "age", "cell", enc, polyCount, 0, 65535);
  if (const auto seed = optionalField(fieldData, "seed", enc, 1)) mesh.seed = (*seed)[0];
  const auto lifeSpans = optionalField(fieldData, "lifeSpan", enc, 3);
  const auto secretors = optionalField(fieldData, "secretor", enc, 3);
  if (lifeSpans) mesh.lifeSpans = std::array<int, 3>{(*lifeSpans)[0], (*lifeSpans)[1], (*lifeSpans)[2]};
  if (secretors) mesh.secretors = std::array<int, 3>{(*secretors)[0], (*secretors)[1], (*secretors)[2]};
}

void readPolys(const XMLElement* polys, const Encoding& enc, std::uint64_t polyCount, std::uint64_t pointCount,
               Mesh& mesh) {
  const XMLElement* offsetsElement = polys ? named(polys, "offsets") : nullptr;
  const XMLElement* connectivityElement = polys ? named(polys, "connectivity") : nullptr;
  if (!offsetsElement) refuse("Polys has no 'offsets' array");
  if (!connectivityElement) refuse("Polys has no 'connectivity' array");
  const ArrayHead offsetsHead = describe(offsetsElement, "polygon offsets");
  const ArrayHead connectivityHead = describe(connectivityElement, "polygon connectivity");
  requireComponents(offsetsHead, 1);
  requireComponents(connectivityHead, 1);
  const std::vector<long long> offsets = integers(offsetsHead, enc, polyCount);
  // Offsets end each polygon; every polygon needs three corners, and fanning may not make
  // more triangles than a mesh may hold.
  long long previous = 0;
  long long triangles = 0;
  for (std::size_t i = 0; i < offsets.size(); ++i) {
    // Compared before subtracting: a far negative offset would overflow the difference.
    if (offsets[i] < previous || offsets[i] - previous < 3) {
      refuse("polygon " + std::to_string(i) + " has " +
             std::to_string(offsets[i] < previous ? -1 : offsets[i] - previous) + " corners (offset " +
             std::to_string(offsets[i]) + " after " + std::to_string(previous) + "); it needs at least 3");
    }
    const long long corners = offsets[i] - previous;
    if (corners > maxFaces || (triangles += corners - 2) > maxFaces)
      refuse("more than " + std::to_string(maxFaces) + " triangles");
    previous = offsets[i];
  }
  const std::vector<long long> connectivity = integers(connectivityHead, enc, static_cast<std::uint64_t>(previous));
  for (std::size_t i = 0; i < connectivity.size(); ++i) {
    if (connectivity[i] < 0 || static_cast<std::uint64_t>(connectivity[i]) >= pointCount) {
      refuse("polygon corner " + std::to_string(i) + ": index " + std::to_string(connectivity[i]) + " is outside 0.." +
             std::to_string(pointCount - 1));
    }
  }
  mesh.faces.reserve(static_cast<std::size_t>(triangles));
  std::size_t start = 0;
  for (const long long end : offsets) {
    const auto corner = [&](std::size_t k) { return static_cast<int>(connectivity[start + k]); };
    for (std::size_t k = 1; start + k + 1 < static_cast<std::size_t>(end); ++k) {
      mesh.faces.push_back({corner(0), corner(k), corner(k + 1)});
    }
    start = static_cast<std::size_t>(end);
  }
}

Mesh parse(const std::string& bytes, bool history) {
  // The raw appended block is binary and no XML; VTK's own reader finds it the same way:
  // the head is parsed as XML, the block located by the underscore after its tag.
  Encoding enc;
  std::string head = bytes;
  std::string appendedTag;
  const std::size_t tag = bytes.find("<AppendedData");
  if (tag != std::string::npos) {
    const std::size_t close = bytes.find('>', tag);
    if (close == std::string::npos) refuse("the AppendedData tag is not closed");
    std::size_t underscore = close + 1;
    while (underscore < bytes.size() && isBlank(bytes[underscore])) ++underscore;
    if (underscore >= bytes.size() || bytes[underscore] != '_') refuse("appended data does not begin with '_'");
    enc.hasAppended = true;
    enc.appended = std::string_view(bytes).substr(underscore + 1);
    std::string tagText = bytes.substr(tag, close - tag);
    if (!tagText.empty() && tagText.back() == '/') tagText.pop_back();
    appendedTag = tagText + "/>";
    head = bytes.substr(0, tag) + "</VTKFile>";
  }
  tinyxml2::XMLDocument doc;
  if (doc.Parse(head.data(), head.size()) != tinyxml2::XML_SUCCESS) {
    refuse("not well-formed XML (line " + std::to_string(doc.ErrorLineNum()) + ": " + doc.ErrorName() + ")");
  }
  const XMLElement* root = doc.RootElement();
  if (!root || std::strcmp(root->Name(), "VTKFile") != 0) refuse("is not a VTK XML file (no VTKFile element)");
  if (const char* type = root->Attribute("type"); !type || std::strcmp(type, "PolyData") != 0) {
    refuse("is a VTK file of type '" + shown(type) + "', not PolyData");
  }
  const Encoding declared = encodingOf(root);
  enc.headerSize = declared.headerSize;
  enc.compressed = declared.compressed;
  if (enc.hasAppended) {
    tinyxml2::XMLDocument tagDoc;
    if (tagDoc.Parse(appendedTag.data(), appendedTag.size()) != tinyxml2::XML_SUCCESS || !tagDoc.RootElement()) {
      refuse("the AppendedData tag is not well-formed XML");
    }
    const char* encoding = tagDoc.RootElement()->Attribute("encoding");
    if (!encoding || (std::strcmp(encoding, "raw") != 0 && std::strcmp(encoding, "base64") != 0)) {
      refuse("appended data encoding '" + shown(encoding) + "' is not raw or base64");
    }
    enc.appendedBase64 = std::strcmp(encoding, "base64") == 0;
  }

  const XMLElement* polyData = root->FirstChildElement("PolyData");
  if (!polyData) refuse("has no PolyData element");
  const XMLElement* piece = polyData->FirstChildElement("Piece");
  if (!piece) refuse("has no Piece");
  if (piece->NextSiblingElement("Piece")) refuse("holds more than one Piece; only single-piece files are read");
  const std::uint64_t pointCount = countAttribute(piece, "NumberOfPoints", maxPoints, "Piece");
  const std::uint64_t polyCount = countAttribute(piece, "NumberOfPolys", maxFaces, "Piece");
  if (piece->Attribute("NumberOfStrips") && countAttribute(piece, "NumberOfStrips", maxFaces, "Piece") != 0) {
    refuse("holds triangle strips, which are not read");
  }
  if (pointCount == 0) refuse("holds no points");
  if (polyCount == 0) refuse("holds no polygons");

  Mesh mesh;
  const XMLElement* pointsElement = piece->FirstChildElement("Points");
  const std::vector<const XMLElement*> pointArrays = arraysIn(pointsElement);
  if (pointArrays.empty()) refuse("Points has no data array");
  const ArrayHead pointsHead = describe(pointArrays.front(), "Points");
  requireComponents(pointsHead, 3);
  if (!pointsHead.type.real)
    refuse(std::string("Points are ") + pointsHead.type.name + ", expected Float32 or Float64");
  const std::vector<double> coordinates = readValues(pointsHead, enc, pointCount * 3).reals;
  mesh.points.resize(static_cast<std::size_t>(pointCount));
  for (std::size_t i = 0; i < coordinates.size(); ++i) {
    const double c = coordinates[i];
    if (!std::isfinite(c) || std::fabs(c) > std::numeric_limits<float>::max()) {
      refuse("point " + std::to_string(i / 3) + ": coordinate " + std::to_string(i % 3) + " is not a finite float");
    }
    mesh.points[i / 3][i % 3] = static_cast<float>(c);
  }
  readPolys(piece->FirstChildElement("Polys"), enc, polyCount, pointCount, mesh);
  readLevels(piece->FirstChildElement("PointData"), enc, pointCount, mesh);
  readFieldData(polyData->FirstChildElement("FieldData"), enc, mesh);
  if (history) readHistory(piece, polyData->FirstChildElement("FieldData"), enc, pointCount, polyCount, mesh);
  return mesh;
}

}  // namespace

MeshLoad parseVtp(const std::string& bytes, const std::string& name, bool history) {
  try {
    return {parse(bytes, history), {}};
  } catch (const Refusal& r) {
    return {{}, name + ": " + r.what};
  }
}

}  // namespace view
