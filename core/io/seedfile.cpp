#include "seedfile.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "coordinatelimit.h"
#include "failure.h"
#include "normals.h"
#include "topology.h"

using morph::vector;

namespace {

constexpr int seedVertices = 12;
constexpr int seedTriangles = 20;
constexpr int seedNeighbours = 5;
constexpr int headerLines = 4;
constexpr int separatorLines = 3;
constexpr int separatorWords = 2;
// One line or word read takes at most 63 characters; longer lines take several reads.
constexpr int lineBufferSize = 64;

// No number of the seed needs more characters; scanf gathers a number's characters in
// memory, so an endless one must be cut off. The width is one more, to tell "longer" apart.
constexpr int maxNumberLength = 256;
#define SEED_NUMBER_WIDTH "%257"
static_assert(maxNumberLength == 256, "SEED_NUMBER_WIDTH is maxNumberLength + 1");
constexpr int tooLongNumber = -2;
std::string tooLong() { return " is longer than " + std::to_string(maxNumberLength) + " characters"; }

struct CloseFile {
  void operator()(FILE* f) const { std::fclose(f); }
};

// Reads the seed file with stdio exactly as its layout is defined, keeping the first
// problem met as "<file>: <record>: <fault>".
class SeedReader {
 public:
  SeedReader(FILE* f, std::string path) : f_(f), path_(std::move(path)) {}

  const std::optional<refusal>& error() const { return error_; }
  void setPlace(std::string place) { place_ = std::move(place); }

  bool refuse(const std::string& problem) {
    if (!error_) error_ = refusal{failure::malformed, path_ + ": " + place_ + ": " + problem};
    return false;
  }

  // A read came up short: the file ended, or the system could not read it at all.
  bool ended(const std::string& what) {
    const int error = errno;
    if (std::ferror(f_)) {
      if (!error_) error_ = refusal{failure::read, path_ + ": cannot read: " + std::strerror(error)};
      return false;
    }
    return refuse("file ends before " + what);
  }

  bool skipLine(const std::string& what) {
    char line[lineBufferSize];
    if (!std::fgets(line, sizeof line, f_)) return ended(what);
    return true;
  }

  // A run of non-blank characters, white space skipped first; `thenSkipBlanks` also
  // consumes the white space after it, line breaks included.
  bool skipWord(const std::string& what, bool thenSkipBlanks) {
    char word[lineBufferSize];
    static_assert(lineBufferSize == 64, "the width in the format below is lineBufferSize - 1");
    if (std::fscanf(f_, " %63s", word) != 1) return ended(what);
    const int next = std::fgetc(f_);
    if (next != EOF) {
      std::ungetc(next, f_);
      if (!std::isspace(next)) return refuse("a word is longer than 63 characters");
    }
    if (thenSkipBlanks) std::fscanf(f_, " ");
    return true;
  }

  bool coordinate(float& value, const std::string& what) {
    int start = 0, end = 0;
    const int converted = std::fscanf(f_, " %n" SEED_NUMBER_WIDTH "f%n", &start, &value, &end);
    if (converted != 1 && (converted == EOF || std::feof(f_) || std::ferror(f_))) return ended("the " + what);
    if (converted != 1) return refuse(what + " is not a number");
    if (end - start > maxNumberLength) return refuse(what + tooLong());
    if (!std::isfinite(value)) return refuse(what + " is not finite");
    if (std::fabs(value) > coordinateLimit) {
      char shown[32];
      std::snprintf(shown, sizeof shown, "%g", static_cast<double>(value));
      return refuse(what + " " + shown + " is outside " + coordinateRange());
    }
    return true;
  }

  // Indices are scanned as long: a number past the int range would otherwise wrap into
  // an index that looks valid.
  bool neighbours(long (&values)[seedNeighbours]) {
    int converted = 0;
    while (converted < seedNeighbours) {
      const int read = integer(values[converted]);
      if (read == tooLongNumber) {
        return refuse("neighbour " + std::to_string(converted + 1) + " of " + std::to_string(seedNeighbours) + tooLong());
      }
      if (read != 1) break;
      ++converted;
    }
    if (converted == seedNeighbours) {
      std::fscanf(f_, " ");
      return true;
    }
    if (converted == EOF || std::feof(f_) || std::ferror(f_)) {
      return ended(converted > 0 ? "the end of the neighbour list" : "the neighbour list");
    }
    return refuse("neighbour " + std::to_string(converted + 1) + " of " + std::to_string(seedNeighbours) +
                  " is not an integer");
  }

  // One face record; the numbers not converted keep the values of the record before.
  // Returns how many were converted.
  // Each number must be followed directly by a comma. A number too long to be one ends
  // the record there, like a missing comma.
  int faceRecord(long& a, long& b, long& c, long& d) {
    int converted = 0;
    for (long* value : {&a, &b, &c, &d}) {
      if (integer(*value) != 1) break;
      ++converted;
      const int next = std::fgetc(f_);
      if (next != ',') {
        if (next != EOF) std::ungetc(next, f_);
        break;
      }
    }
    return converted;
  }

  // One decimal integer after white space, as "%ld" reads it but at most maxNumberLength
  // characters long, so that an endless run of digits is not gathered in memory. Returns
  // the fscanf result, or tooLongNumber.
  int integer(long& value) {
    int start = 0, end = 0;
    const int read = std::fscanf(f_, " %n" SEED_NUMBER_WIDTH "ld%n", &start, &value, &end);
    if (read == 1 && end - start > maxNumberLength) return tooLongNumber;
    return read;
  }

  bool atEnd() const { return std::feof(f_) || std::ferror(f_); }

 private:
  FILE* f_;
  std::string path_;
  std::string place_;
  std::optional<refusal> error_;
};

bool vertexIndex(SeedReader& reader, long index, const char* what) {
  if (index >= 0 && index < seedVertices) return true;
  return reader.refuse(std::string(what) + " " + std::to_string(index) + " is outside 0.." +
                       std::to_string(seedVertices - 1));
}

bool readVertex(SeedReader& reader, vertex_struct& v) {
  long neighbours[seedNeighbours];
  if (!reader.coordinate(v.x, "x coordinate") || !reader.coordinate(v.y, "y coordinate") ||
      !reader.coordinate(v.z, "z coordinate") || !reader.skipLine("the end of the coordinate line") ||
      !reader.skipWord("the word ahead of the neighbour list", false) || !reader.neighbours(neighbours)) {
    return false;
  }
  for (int j = 0; j < seedNeighbours; ++j) {
    if (!vertexIndex(reader, neighbours[j], "neighbour index")) return false;
    v.neighbors[j] = static_cast<short>(neighbours[j]);
  }
  v.numNeighbors = seedNeighbours;
  v.numDependents = 0;
  v.maxDependents = 0;
  v.parentA = noVertex;
  v.parentB = noVertex;
  v.hormoneR = 0;
  v.hormoneG = 0;
  v.hormoneB = 0;
  return true;
}

vector position(const Embryo& e, int index) {
  vector p;
  p.set(e.vertexAt(index).x, e.vertexAt(index).y, e.vertexAt(index).z);
  return p;
}

// The corners in the order whose right-handed normal does not point toward the origin;
// the first corner stays first.
void orientFace(const Embryo& e, triangle* t, short a, short b, short c) {
  const vector A = position(e, a), B = position(e, b), C = position(e, c);
  vector e1, e2;
  e1.set(A.x - B.x, A.y - B.y, A.z - B.z);
  e2.set(B.x - C.x, B.y - C.y, B.z - C.z);
  e1.normalize();
  e2.normalize();
  const vector m = e1.cross(e2);
  vector p = A;
  p.normalize();
  t->v[0] = a;
  if (p.dot(m) < 0) {
    t->v[1] = c;
    t->v[2] = b;
  } else {
    t->v[1] = b;
    t->v[2] = c;
  }
}

bool readFaces(Embryo& e, SeedReader& reader) {
  long a = 0, b = 0, c = 0, d = 0;
  for (int i = 0; i < seedTriangles; ++i) {
    reader.setPlace("face " + std::to_string(i));
    const int converted = reader.faceRecord(a, b, c, d);
    if (converted <= 3) {
      char line[160];
      std::snprintf(line, sizeof line, "Failure to read indices.%d %ld %ld %ld %ld\n", converted, a, b, c, d);
      e.notice(line);
      if (reader.atEnd()) return reader.ended(converted > 0 ? "the end of the face record" : "the face record");
      return reader.refuse("only " + std::to_string(converted) +
                           " of the 4 numbers could be read (each must be followed directly by a comma)");
    }
    if (!vertexIndex(reader, a, "corner index") || !vertexIndex(reader, b, "corner index") ||
        !vertexIndex(reader, c, "corner index")) {
      return false;
    }
    auto* t = new (std::nothrow) triangle();
    if (!t) {
      e.notice("Failure to allocate triangle\n");
      throw runError(failure::memory, "out of memory while loading the seed");
    }
    orientFace(e, t, static_cast<short>(a), static_cast<short>(b), static_cast<short>(c));
    t->age = 0;
    addTriangle(e, t, e.tailTriangle);
  }
  return true;
}

bool readSeed(Embryo& e, SeedReader& reader) {
  reader.setPlace("header");
  for (int i = 0; i < headerLines; ++i) {
    if (!reader.skipLine("header line " + std::to_string(i + 1) + " of " + std::to_string(headerLines))) {
      return false;
    }
  }
  for (int i = 0; i < seedVertices; ++i) {
    reader.setPlace("vertex " + std::to_string(i));
    if (!readVertex(reader, e.vertexAt(i))) return false;
  }
  reader.setPlace("separator");
  for (int i = 0; i < separatorLines; ++i) {
    if (!reader.skipLine("separator line " + std::to_string(i + 1) + " of " + std::to_string(separatorLines))) {
      return false;
    }
  }
  for (int i = 0; i < separatorWords; ++i) {
    if (!reader.skipWord("separator word " + std::to_string(i + 1) + " of " + std::to_string(separatorWords), true)) {
      return false;
    }
  }
  return readFaces(e, reader);
}

// loadSeed's work, with the kind of its refusal.
std::optional<refusal> seedFrom(Embryo& e, FILE* f, const char* name) {
  e.clearStore();
  e.numTriangles = seedTriangles;
  e.numVertices = seedVertices;
  SeedReader reader(f, name ? name : "");
  if (!readSeed(e, reader)) {
    e.clearStore();
    return reader.error();
  }
  recalcNorms(e);
  return std::nullopt;
}

std::optional<refusal> seedAt(Embryo& e, const char* path) {
  const std::string name = path ? path : "";
  const std::unique_ptr<FILE, CloseFile> f(std::fopen(name.c_str(), "r"));
  if (!f) {
    const int error = errno;
    // A refused seed leaves nothing behind that a later load or check could trip over.
    e.clearStore();
    return refusal{failure::open, name + ": cannot open: " + std::strerror(error)};
  }
  return seedFrom(e, f.get(), name.c_str());
}

std::optional<std::string> messageOf(const std::optional<refusal>& refused) {
  if (!refused) return std::nullopt;
  return refused->message;
}

}  // namespace

std::optional<std::string> loadSeed(Embryo& e, const char* path) { return messageOf(seedAt(e, path)); }

std::optional<std::string> loadSeed(Embryo& e, FILE* f, const char* name) { return messageOf(seedFrom(e, f, name)); }

void readSeedIntoStructs(Embryo& e, const char* path) {
  if (const auto refused = seedAt(e, path)) throw runError(refused->kind, refused->message);
}
