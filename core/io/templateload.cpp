#include "templateload.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <sstream>

#include "coordinatelimit.h"
#include "failure.h"
#include "mesh.h"
#include "normals.h"
#include "topology.h"

namespace {

// No number of a template needs more characters; the longest a float prints to is 47.
constexpr std::size_t maxTokenLength = 256;

// Reads a template as a stream of white-space separated tokens, each of which must be
// wholly a number of the kind expected. The first problem is kept; later reads fail.
class TemplateReader {
 public:
  TemplateReader(std::istream& in, std::string path) : in_(in), path_(std::move(path)) {}

  bool failed() const { return !error_.empty(); }
  const std::string& error() const { return error_; }
  void setPlace(std::string place) { place_ = std::move(place); }

  // An integer in [lo, hi]; `what` names the field in messages.
  long long integer(const char* what, long long lo, long long hi) {
    long long value = 0;
    if (!number(value, what)) return 0;
    if (value < lo || value > hi) {
      report(std::string(what) + " " + std::to_string(value) + " is outside " + std::to_string(lo) + ".." +
             std::to_string(hi));
      return 0;
    }
    return value;
  }

  // Any value a C++ stream reads into an int (the corner count, which is ignored).
  int anyInt(const char* what) {
    int value = 0;
    number(value, what);
    return value;
  }

  float real(const char* what) {
    float value = 0;
    if (!number(value, what)) return 0;
    if (!std::isfinite(value)) {
      report(std::string(what) + " is not finite");
      return 0;
    }
    return value;
  }

  // A position: a real within the coordinate limit of the format.
  float coordinate(const char* what) {
    const float value = real(what);
    if (!failed() && std::fabs(value) > coordinateLimit) {
      report(std::string(what) + " '" + printable(lastToken_) + "' is outside " + coordinateRange());
      return 0;
    }
    return value;
  }

  void report(const std::string& problem) {
    if (failed()) return;
    error_ = path_ + ": " + (place_.empty() ? "" : place_ + ": ") + problem;
  }

 private:
  template <class T>
  bool number(T& value, const char* what) {
    if (failed()) return false;
    std::string token;
    if (!nextToken(token)) {
      report(std::string("file ends before the ") + what);
      return false;
    }
    if (token.size() > maxTokenLength) {
      report(std::string(what) + " '" + printable(token) + "' is longer than " + std::to_string(maxTokenLength) +
             " characters");
      return false;
    }
    lastToken_ = token;
    std::istringstream parse(token);
    // Out-of-range values fail the extraction, so "wholly a number of its kind" holds.
    if (!(parse >> value) || parse.peek() != std::char_traits<char>::eof()) {
      report(std::string(what) + " '" + printable(token) + "' is not " +
             (std::is_floating_point_v<T> ? "a finite real number" : "an integer in range"));
      return false;
    }
    return true;
  }

  // The next run of non-blank characters, cut off one past maxTokenLength so that an
  // input without white space (/dev/zero, an endless pipe) is refused without being read.
  bool nextToken(std::string& token) {
    std::streambuf* in = in_.rdbuf();
    if (!in) return false;
    int c = in->sbumpc();
    while (c != EOF && isBlank(c)) c = in->sbumpc();
    if (c == EOF) return false;
    while (c != EOF && !isBlank(c)) {
      token.push_back(static_cast<char>(c));
      if (token.size() > maxTokenLength) return true;
      c = in->sbumpc();
    }
    return true;
  }

  // The white space of stream extraction in the "C" locale.
  static bool isBlank(int c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

  static std::string printable(const std::string& token) {
    std::string shown = token.substr(0, 40);
    for (char& c : shown) {
      if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
    }
    return token.size() > 40 ? shown + "..." : shown;
  }

  std::istream& in_;
  std::string path_;
  std::string place_;
  std::string error_;
  std::string lastToken_;
};

constexpr long long shortMin = std::numeric_limits<short>::min();
constexpr long long shortMax = std::numeric_limits<short>::max();

// Fills the store from `in`; returns false (with the reason in `reader`) on bad input.
bool parseTemplate(Embryo& e, TemplateReader& reader) {
  const long long vertexLimit = std::min<long long>(maxIndexableVertices, e.capacity());
  const long long vertexCount = reader.integer("vertex count", 1, maxIndexableVertices);
  if (reader.failed()) return false;
  if (vertexCount > vertexLimit) {
    reader.report("vertex count " + std::to_string(vertexCount) + " exceeds the capacity of " +
                  std::to_string(vertexLimit) + " vertices");
    return false;
  }
  const long long triangleCount = reader.integer("triangle count", 1, std::numeric_limits<int>::max());
  if (reader.failed()) return false;
  e.numVertices = static_cast<int>(vertexCount);
  e.numTriangles = static_cast<int>(triangleCount);
  e.numInitialTriangles = e.numTriangles;
  const long long lastIndex = vertexCount - 1;

  for (int i = 0; i < e.numVertices; ++i) {
    reader.setPlace("vertex " + std::to_string(i));
    vertex_struct& v = e.vertexAt(i);
    v.x = reader.coordinate("x coordinate");
    v.y = reader.coordinate("y coordinate");
    v.z = reader.coordinate("z coordinate");
    v.norm.x = reader.real("normal x");
    v.norm.y = reader.real("normal y");
    v.norm.z = reader.real("normal z");
    v.numNeighbors = static_cast<short>(reader.integer("neighbour count", 0, 6));
    for (int j = 0; j < v.numNeighbors; ++j) {
      v.neighbors[j] = static_cast<short>(reader.integer("neighbour index", 0, lastIndex));
    }
    // The dependent counts of the file are read and then dropped: the load records no
    // pending mid-points, and the arrays regrow on first use.
    reader.integer("dependent count", shortMin, shortMax);
    reader.integer("dependent capacity", shortMin, shortMax);
    v.parentA = static_cast<short>(reader.integer("parentA", -1, lastIndex));
    v.parentB = static_cast<short>(reader.integer("parentB", -1, lastIndex));
    if (reader.failed()) return false;
    v.numDependents = 0;
    v.maxDependents = 0;
    v.hormoneR = 0;
    v.hormoneG = 0;
    v.hormoneB = 0;
  }

  for (int i = 0; i < e.numTriangles; ++i) {
    reader.setPlace("triangle " + std::to_string(i));
    reader.anyInt("corner count");
    short corners[3];
    for (short& c : corners) c = static_cast<short>(reader.integer("corner index", 0, lastIndex));
    if (reader.failed()) return false;
    triangle* t = new (std::nothrow) triangle();
    if (!t) {
      e.notice("Failure to allocate triangle\n");
      throw runError(failure::memory, "out of memory while loading a template");
    }
    std::copy(std::begin(corners), std::end(corners), t->v);
    t->age = 0;
    addTriangle(e, t, e.tailTriangle);
  }
  return true;
}

// loadTemplate's opening of the file, with the kind of its refusal: a file that cannot be
// opened, or one the template layout does not allow.
std::optional<refusal> templateAt(Embryo& e, const char* path) {
  const std::string name = path ? path : "";
  std::error_code ec;
  if (std::filesystem::is_directory(name, ec)) {
    return refusal{failure::open, name + ": is a folder, not a template file"};
  }
  std::ifstream in(name);
  if (!in) return refusal{failure::open, name + ": cannot open: " + std::strerror(errno)};
  if (auto error = loadTemplate(e, in, name)) return refusal{failure::malformed, std::move(*error)};
  return std::nullopt;
}

}  // namespace

std::optional<std::string> loadTemplate(Embryo& e, const char* path) {
  auto refused = templateAt(e, path);
  if (!refused) return std::nullopt;
  return std::move(refused->message);
}

std::optional<std::string> loadTemplate(Embryo& e, std::istream& in, const std::string& name) {
  e.clearStore();
  TemplateReader reader(in, name);
  if (!parseTemplate(e, reader)) {
    e.clearStore();
    return reader.error();
  }
  recalcNorms(e);
  return std::nullopt;
}

void readIntoStructs(Embryo& e, const char* path) {
  if (const auto refused = templateAt(e, path)) throw runError(refused->kind, refused->message);
}
