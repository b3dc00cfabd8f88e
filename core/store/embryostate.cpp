#include "embryostate.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

void standardErrorSink(const std::string& text) { std::fputs(text.c_str(), stderr); }
void standardOutputSink(const std::string& text) { std::fputs(text.c_str(), stdout); }

Embryo::Embryo(const modelRules& rules, const GrowthSettings& settings, int capacity)
    : red(settings.red), green(settings.green), blue(settings.blue), forces(settings.forces), rules_(&rules) {
  vertex.resize(static_cast<std::size_t>(capacity > 0 ? capacity : rules.vertexCapacity));
  numVertices = rules.startNumVertices;
  numTriangles = rules.startNumTriangles;
}

Embryo::~Embryo() {
  freeTriangles();
  freeDependentArrays();
}

Embryo::Embryo(const Embryo& other) : rules_(other.rules_) { copyFrom(other); }

Embryo& Embryo::operator=(const Embryo& other) {
  if (this == &other) return *this;
  freeTriangles();
  freeDependentArrays();
  copyFrom(other);
  return *this;
}

Embryo::Embryo(Embryo&& other) noexcept : rules_(other.rules_) { takeFrom(other); }

Embryo& Embryo::operator=(Embryo&& other) noexcept {
  if (this == &other) return *this;
  freeTriangles();
  freeDependentArrays();
  takeFrom(other);
  return *this;
}

void Embryo::takeFrom(Embryo& other) noexcept {
  vertex = std::move(other.vertex);
  headTriangle = std::exchange(other.headTriangle, nullptr);
  tailTriangle = std::exchange(other.tailTriangle, nullptr);
  sink = std::move(other.sink);
  outputSink = std::move(other.outputSink);
  kernel_ = std::move(other.kernel_);
  copyState(other);
  // The moved-from embryo is left empty, so nothing is freed twice.
  other.vertex.clear();
  other.numTriangles = other.numVertices = 0;
}

void Embryo::copyState(const Embryo& other) {
  rules_ = other.rules_;
  numTriangles = other.numTriangles;
  numVertices = other.numVertices;
  numInitialTriangles = other.numInitialTriangles;
  totalCycles = other.totalCycles;
  red = other.red;
  green = other.green;
  blue = other.blue;
  chosenEpisodes = other.chosenEpisodes;
  episodeHook = other.episodeHook;
  secretorNoticed = other.secretorNoticed;
  lengthScale = other.lengthScale;
  forces = other.forces;
  writer = other.writer;
  random = other.random;
  forceOptions = other.forceOptions;
  lastFastForces = other.lastFastForces;
}

void Embryo::copyFrom(const Embryo& other) {
  vertex = other.vertex;
  // Each slot's dependent arrays are its own: a copy gets copies, never the same memory.
  for (vertex_struct& v : vertex) {
    short* arrays[2] = {v.dependents, v.spouses};
    v.dependents = v.spouses = nullptr;
    if (v.maxDependents <= 0) continue;
    const std::size_t bytes = sizeof(short) * static_cast<std::size_t>(v.maxDependents);
    for (int a = 0; a < 2; ++a) {
      auto* copy = static_cast<short*>(std::malloc(bytes));
      if (!copy) throw std::bad_alloc();
      if (arrays[a]) std::memcpy(copy, arrays[a], bytes);
      (a == 0 ? v.dependents : v.spouses) = copy;
    }
  }
  headTriangle = tailTriangle = nullptr;
  for (const triangle* t = other.headTriangle; t; t = t->next) {
    auto* piece = new triangle(*t);
    piece->next = nullptr;
    piece->prev = tailTriangle;
    (tailTriangle ? tailTriangle->next : headTriangle) = piece;
    tailTriangle = piece;
  }
  copyState(other);
  sink = other.sink;
  outputSink = other.outputSink;
  kernel_.reset();
}

namespace {

// One slot as `from` holds it, in dependent arrays of `to`'s own (reused when of the same
// size). On failure the slot is left without arrays and the allocation failure raised.
void copySlot(vertex_struct& to, const vertex_struct& from) {
  short* own[2] = {to.dependents, to.spouses};
  const bool reuse = to.maxDependents == from.maxDependents && from.maxDependents > 0 && own[0] && own[1];
  if (!reuse) {
    std::free(own[0]);
    std::free(own[1]);
    own[0] = own[1] = nullptr;
  }
  to = from;
  to.dependents = to.spouses = nullptr;
  if (from.maxDependents <= 0) return;
  const std::size_t bytes = sizeof(short) * static_cast<std::size_t>(from.maxDependents);
  const short* source[2] = {from.dependents, from.spouses};
  for (int a = 0; a < 2; ++a) {
    if (!own[a]) own[a] = static_cast<short*>(std::malloc(bytes));
    if (!own[a]) {
      std::free(own[0]);
      std::free(own[1]);
      to.numDependents = to.maxDependents = 0;
      throw std::bad_alloc();
    }
    if (source[a]) std::memcpy(own[a], source[a], bytes);
  }
  to.dependents = own[0];
  to.spouses = own[1];
}

}  // namespace

void Embryo::copyInUse(const Embryo& other) {
  if (this == &other) return;
  const int slots = std::min({std::max(numVertices, other.numVertices) + 1, capacity(), other.capacity()});
  for (int i = 0; i < slots; ++i) copySlot(vertex[static_cast<std::size_t>(i)], other.vertex[static_cast<std::size_t>(i)]);
  triangle* spare = headTriangle;
  headTriangle = tailTriangle = nullptr;
  try {
    for (const triangle* t = other.headTriangle; t; t = t->next) {
      triangle* piece = spare;
      if (piece) {
        spare = spare->next;
      } else {
        piece = new triangle;
      }
      *piece = *t;
      piece->next = nullptr;
      piece->prev = tailTriangle;
      (tailTriangle ? tailTriangle->next : headTriangle) = piece;
      tailTriangle = piece;
    }
  } catch (...) {
    while (spare) delete std::exchange(spare, spare->next);
    throw;
  }
  while (spare) delete std::exchange(spare, spare->next);
  copyState(other);
}

void Embryo::freeTriangles() {
  while (headTriangle) {
    triangle* t = headTriangle;
    headTriangle = t->next;
    delete t;
  }
  tailTriangle = nullptr;
}

void Embryo::freeDependentArrays() {
  for (vertex_struct& v : vertex) {
    std::free(v.dependents);
    std::free(v.spouses);
    v.dependents = v.spouses = nullptr;
    v.numDependents = v.maxDependents = 0;
  }
}

void Embryo::clearStore() {
  freeTriangles();
  numVertices = 0;
  numTriangles = 0;
  numInitialTriangles = 0;
}

GrowthSettings Embryo::handOver() const {
  GrowthSettings next = settings();
  for (Morphogen* m : {&next.red, &next.green, &next.blue}) m->lifespan = 0;
  return next;
}

void Embryo::indexFault(long long index) const {
  std::fprintf(stderr, "%s: vertex index %lld outside the %d-slot vertex array\n", rules_->programName, index,
               capacity());
  std::abort();
}

void storeStateFault(const Embryo& e, const char* what) {
  std::fprintf(stderr, "%s: store check failed: %s\n", e.rules().programName, what);
  std::abort();
}
