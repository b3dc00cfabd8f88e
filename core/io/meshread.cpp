#include "io/meshread.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string_view>

#include "io/boundedread.h"
#include "io/vtpread.h"

namespace view {

namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

// A token as it may appear in a message: short, and without control or non-ASCII bytes.
std::string printable(std::string_view token) {
  std::string shown(token.substr(0, 40));
  for (char& c : shown) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
  }
  return token.size() > 40 ? shown + "..." : shown;
}

// The whole token as a float: finite, within float range, nothing left over. Values too
// small for a float become the nearest float (or zero), as any float read would.
bool toReal(std::string_view token, float& value) {
  if (token.empty() || token.size() > 200) return false;
  const std::string text(token);
  // strtof would accept hexadecimal forms and leading blanks; the programs never write them.
  if (text.find_first_of("xXpP") != std::string::npos) return false;
  char* end = nullptr;
  const float parsed = std::strtof(text.c_str(), &end);
  // Overflow comes back as infinity, so the finiteness test covers it.
  if (end != text.c_str() + text.size() || !std::isfinite(parsed)) return false;
  value = parsed;
  return true;
}

// The whole token as a decimal integer that fits a long long.
bool toInteger(std::string_view token, long long& value) {
  if (token.empty() || token.size() > 40) return false;
  const std::string text(token);
  if (!std::isdigit(static_cast<unsigned char>(text.back()))) return false;
  const char first = text[0];
  if (!(std::isdigit(static_cast<unsigned char>(first)) || first == '+' || first == '-')) return false;
  errno = 0;
  char* end = nullptr;
  const long long parsed = std::strtoll(text.c_str(), &end, 10);
  if (end != text.c_str() + text.size() || errno == ERANGE) return false;
  value = parsed;
  return true;
}

// Reads the 3DV layouts as white-space separated tokens; the first problem is kept and
// every later read fails, so a parse can run to its end and check once.
class TokenReader {
 public:
  TokenReader(const std::string& text, std::string name) : text_(text), name_(std::move(name)) {}

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  void setPlace(std::string place) { place_ = std::move(place); }

  long long integer(const char* what, long long lo, long long hi) {
    std::string_view token;
    if (!next(token, what)) return 0;
    long long value = 0;
    if (!toInteger(token, value)) {
      report(std::string(what) + " '" + printable(token) + "' is not an integer");
      return 0;
    }
    if (value < lo || value > hi) {
      report(std::string(what) + " " + std::to_string(value) + " is outside " + std::to_string(lo) + ".." +
             std::to_string(hi));
      return 0;
    }
    return value;
  }

  float real(const char* what) {
    std::string_view token;
    if (!next(token, what)) return 0;
    float value = 0;
    if (!toReal(token, value)) {
      report(std::string(what) + " '" + printable(token) + "' is not a finite real number");
      return 0;
    }
    return value;
  }

  // Anything but blanks after the last triangle means the file is not what its name says.
  void expectEnd() {
    if (failed()) return;
    skipBlanks();
    if (pos_ < text_.size()) {
      place_.clear();
      std::string_view token;
      next(token, "");
      report("unexpected text '" + printable(token) + "' after the last triangle");
    }
  }

  void report(const std::string& problem) {
    if (failed()) return;
    error_ = name_ + ": " + (place_.empty() ? "" : place_ + ": ") + problem;
  }

 private:
  void skipBlanks() {
    while (pos_ < text_.size() && isBlank(text_[pos_])) ++pos_;
  }

  bool next(std::string_view& token, const char* what) {
    if (failed()) return false;
    skipBlanks();
    if (pos_ >= text_.size()) {
      report(std::string("file ends before the ") + what);
      return false;
    }
    const std::size_t start = pos_;
    while (pos_ < text_.size() && !isBlank(text_[pos_])) ++pos_;
    token = std::string_view(text_).substr(start, pos_ - start);
    return true;
  }

  const std::string& text_;
  std::string name_;
  std::string place_;
  std::string error_;
  std::size_t pos_ = 0;
};

constexpr long long shortMin = std::numeric_limits<short>::min();
constexpr long long shortMax = std::numeric_limits<short>::max();

MeshLoad parse3DV(const std::string& text, bool withTopology, const std::string& name) {
  MeshLoad load;
  TokenReader reader(text, name);
  const long long pointCount = reader.integer("vertex count", 1, maxPoints);
  const long long faceCount = reader.integer("triangle count", 1, maxFaces);
  if (reader.failed()) return {{}, reader.error()};
  const long long lastIndex = pointCount - 1;
  // Reserve no more than the file could hold, so a wild count costs no memory before the
  // file turns out to be short: a point takes at least 12 bytes, a face at least 8.
  const long long bytes = static_cast<long long>(text.size());
  load.mesh.points.reserve(static_cast<std::size_t>(std::min(pointCount, bytes / 12 + 1)));
  load.mesh.faces.reserve(static_cast<std::size_t>(std::min(faceCount, bytes / 8 + 1)));

  for (long long i = 0; i < pointCount && !reader.failed(); ++i) {
    reader.setPlace("vertex " + std::to_string(i));
    std::array<float, 3> p{};
    p[0] = reader.real("x coordinate");
    p[1] = reader.real("y coordinate");
    p[2] = reader.real("z coordinate");
    // Normals are checked but not kept: shading uses the faces' own geometry.
    reader.real("normal x");
    reader.real("normal y");
    reader.real("normal z");
    if (withTopology) {
      const long long neighbours = reader.integer("neighbour count", 0, 6);
      for (long long j = 0; j < neighbours; ++j) reader.integer("neighbour index", 0, lastIndex);
      reader.integer("dependent count", shortMin, shortMax);
      reader.integer("dependent capacity", shortMin, shortMax);
      reader.integer("parentA", -1, lastIndex);
      reader.integer("parentB", -1, lastIndex);
    }
    load.mesh.points.push_back(p);
  }

  for (long long i = 0; i < faceCount && !reader.failed(); ++i) {
    reader.setPlace("triangle " + std::to_string(i));
    // Both programs only ever write triangles; any other count means a misread file.
    const long long corners =
        reader.integer("corner count", std::numeric_limits<long long>::min(), std::numeric_limits<long long>::max());
    if (!reader.failed() && corners != 3) reader.report("corner count " + std::to_string(corners) + " is not 3");
    std::array<int, 3> face{};
    for (int& c : face) c = static_cast<int>(reader.integer("corner index", 0, lastIndex));
    load.mesh.faces.push_back(face);
  }
  reader.expectEnd();
  if (reader.failed()) return {{}, reader.error()};
  return load;
}

std::vector<std::string_view> splitWords(std::string_view line) {
  std::vector<std::string_view> words;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && isBlank(line[i])) ++i;
    const std::size_t start = i;
    while (i < line.size() && !isBlank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// OBJ: "v" lines give points, "f" lines polygons (fanned into triangles, corners as
// "i", "i/t", "i//n" or "i/t/n", negative i counting back from the last point); every
// other statement (normals, groups, materials, smoothing) does not change the picture.
MeshLoad parseOBJ(const std::string& text, const std::string& name) {
  MeshLoad load;
  Mesh& mesh = load.mesh;
  std::size_t start = 0;
  long long lineNumber = 0;
  auto refuse = [&](const std::string& problem) {
    return MeshLoad{{}, name + ": line " + std::to_string(lineNumber) + ": " + problem};
  };
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line = std::string_view(text).substr(start, end - start);
    start = end + 1;
    ++lineNumber;
    if (const std::size_t hash = line.find('#'); hash != std::string_view::npos) line = line.substr(0, hash);
    const std::vector<std::string_view> words = splitWords(line);
    if (words.empty()) continue;

    if (words[0] == "v") {
      if (words.size() < 4) return refuse("a vertex needs three coordinates");
      std::array<float, 3> p{};
      static const char* const axes[] = {"x", "y", "z"};
      for (int k = 0; k < 3; ++k) {
        if (!toReal(words[k + 1], p[k])) {
          return refuse(std::string(axes[k]) + " coordinate '" + printable(words[k + 1]) +
                        "' is not a finite real number");
        }
      }
      if (static_cast<long long>(mesh.points.size()) >= maxPoints) {
        return refuse("more than " + std::to_string(maxPoints) + " vertices");
      }
      mesh.points.push_back(p);
    } else if (words[0] == "f") {
      if (words.size() < 4) {
        return refuse("a face has " + std::to_string(words.size() - 1) + " corners; it needs at least 3");
      }
      const long long defined = static_cast<long long>(mesh.points.size());
      std::vector<int> corners;
      for (std::size_t k = 1; k < words.size(); ++k) {
        const std::string_view word = words[k];
        const std::string_view number = word.substr(0, word.find('/'));
        long long index = 0;
        if (!toInteger(number, index)) {
          return refuse("face corner '" + printable(word) + "' is not a vertex number");
        }
        const long long resolved = index < 0 ? defined + index : index - 1;
        if (index == 0 || resolved < 0 || resolved >= defined) {
          return refuse("face corner " + std::to_string(index) + " refers to no vertex (" + std::to_string(defined) +
                        " defined so far)");
        }
        corners.push_back(static_cast<int>(resolved));
      }
      for (std::size_t k = 1; k + 1 < corners.size(); ++k) {
        if (static_cast<long long>(mesh.faces.size()) >= maxFaces) {
          return refuse("more than " + std::to_string(maxFaces) + " triangles");
        }
        mesh.faces.push_back({corners[0], corners[k], corners[k + 1]});
      }
    }
  }
  if (mesh.points.empty()) return {{}, name + ": holds no vertices"};
  if (mesh.faces.empty()) return {{}, name + ": holds no faces"};
  return load;
}

bool endsWith(const std::string& text, std::string_view tail) {
  return text.size() >= tail.size() && std::string_view(text).substr(text.size() - tail.size()) == tail;
}

}  // namespace

MeshFormat formatForName(const std::string& path) {
  std::string lower = path;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (endsWith(lower, ".obj")) return MeshFormat::obj;
  if (endsWith(lower, ".vtp")) return MeshFormat::vtp;
  if (endsWith(path, "3dvTemplate")) return MeshFormat::threeDVTemplate;
  return MeshFormat::threeDV;
}

bool parseFormatName(const std::string& name, MeshFormat& format) {
  if (name == "3dv") {
    format = MeshFormat::threeDV;
  } else if (name == "template") {
    format = MeshFormat::threeDVTemplate;
  } else if (name == "obj") {
    format = MeshFormat::obj;
  } else if (name == "vtp") {
    format = MeshFormat::vtp;
  } else {
    return false;
  }
  return true;
}

MeshLoad parseMesh(const std::string& text, MeshFormat format, const std::string& name, bool history) {
  if (format == MeshFormat::obj) return parseOBJ(text, name);
  if (format == MeshFormat::vtp) return parseVtp(text, name, history);
  const bool withTopology = format == MeshFormat::threeDVTemplate;
  MeshLoad load = parse3DV(text, withTopology, name);
  // The two layouts differ only in the topology lines, and names do not always tell them
  // apart (a template may be called *.3dv); say so when the other layout would have worked.
  if (!load.ok() && parse3DV(text, !withTopology, name).ok()) {
    load.error += withTopology ? " (it reads as a 3DV file: use --format 3dv)"
                               : " (it reads as a 3DV template: use --format template)";
  }
  return load;
}

MeshLoad loadMesh(const std::string& path, MeshFormat format, bool history) {
  const io::BoundedRead file = io::readBounded(path, maxFileBytes);
  switch (file.fault) {
    case io::ReadFault::none:
      return parseMesh(file.bytes, format, path, history);
    case io::ReadFault::folder:
      return {{}, path + ": is a folder, not a mesh file", morph::failure::open};
    case io::ReadFault::cannotOpen:
      return {{}, path + ": cannot open: " + std::strerror(file.error), morph::failure::open};
    case io::ReadFault::notRegular:
      return {{}, path + ": is not a regular file", morph::failure::open};
    case io::ReadFault::tooLarge:
      return {{}, path + ": is " + std::to_string(file.size) + " bytes, more than the " +
                      std::to_string(maxFileBytes) + " a mesh file may have"};
    case io::ReadFault::cannotRead:
      break;
  }
  return {{}, path + ": cannot read the whole file", morph::failure::read};
}

}  // namespace view
