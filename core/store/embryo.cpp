#include "embryo.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

#include "failure.h"

void standardErrorSink(const std::string& text) { std::fputs(text.c_str(), stderr); }
void standardOutputSink(const std::string& text) { std::fputs(text.c_str(), stdout); }

Embryo::Embryo(const modelRules& rules, int capacity) : rules_(&rules) {
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
  rules_ = other.rules_;
  copyFrom(other);
  return *this;
}

Embryo::Embryo(Embryo&& other) noexcept
    : vertex(std::move(other.vertex)),
      headTriangle(std::exchange(other.headTriangle, nullptr)),
      tailTriangle(std::exchange(other.tailTriangle, nullptr)),
      numTriangles(other.numTriangles),
      numVertices(other.numVertices),
      numInitialTriangles(other.numInitialTriangles),
      totalCycles(other.totalCycles),
      secretorR(other.secretorR),
      secretorG(other.secretorG),
      secretorB(other.secretorB),
      thresholdR(other.thresholdR),
      thresholdG(other.thresholdG),
      thresholdB(other.thresholdB),
      lifeSpanR(other.lifeSpanR),
      lifeSpanG(other.lifeSpanG),
      lifeSpanB(other.lifeSpanB),
      lengthScale(other.lengthScale),
      attractionFactor(other.attractionFactor),
      repulsionFactor(other.repulsionFactor),
      largest(other.largest),
      random(other.random),
      forceOptions(other.forceOptions),
      lastFastForces(other.lastFastForces),
      sink(std::move(other.sink)),
      outputSink(std::move(other.outputSink)),
      rules_(other.rules_),
      kernel_(std::move(other.kernel_)) {
  other.vertex.clear();
  other.numTriangles = other.numVertices = 0;
}

Embryo& Embryo::operator=(Embryo&& other) noexcept {
  if (this == &other) return *this;
  freeTriangles();
  freeDependentArrays();
  // The moved-from embryo is left empty, so the swap hands nothing back twice.
  Embryo moved(std::move(other));
  std::swap(vertex, moved.vertex);
  std::swap(headTriangle, moved.headTriangle);
  std::swap(tailTriangle, moved.tailTriangle);
  numTriangles = moved.numTriangles;
  numVertices = moved.numVertices;
  numInitialTriangles = moved.numInitialTriangles;
  totalCycles = moved.totalCycles;
  takeEpisodes(moved.episodes());
  lifeSpanR = moved.lifeSpanR;
  lifeSpanG = moved.lifeSpanG;
  lifeSpanB = moved.lifeSpanB;
  lengthScale = moved.lengthScale;
  attractionFactor = moved.attractionFactor;
  repulsionFactor = moved.repulsionFactor;
  largest = moved.largest;
  random = moved.random;
  forceOptions = moved.forceOptions;
  lastFastForces = moved.lastFastForces;
  sink = std::move(moved.sink);
  outputSink = std::move(moved.outputSink);
  rules_ = moved.rules_;
  std::swap(kernel_, moved.kernel_);
  return *this;
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
  numTriangles = other.numTriangles;
  numVertices = other.numVertices;
  numInitialTriangles = other.numInitialTriangles;
  totalCycles = other.totalCycles;
  takeEpisodes(other.episodes());
  lifeSpanR = other.lifeSpanR;
  lifeSpanG = other.lifeSpanG;
  lifeSpanB = other.lifeSpanB;
  lengthScale = other.lengthScale;
  attractionFactor = other.attractionFactor;
  repulsionFactor = other.repulsionFactor;
  largest = other.largest;
  random = other.random;
  forceOptions = other.forceOptions;
  lastFastForces = other.lastFastForces;
  sink = other.sink;
  outputSink = other.outputSink;
  kernel_.reset();
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

episodeCarry Embryo::episodes() const {
  return {secretorR, secretorG, secretorB, thresholdR, thresholdG, thresholdB};
}

void Embryo::takeEpisodes(const episodeCarry& carry) {
  secretorR = carry.secretorR;
  secretorG = carry.secretorG;
  secretorB = carry.secretorB;
  thresholdR = carry.thresholdR;
  thresholdG = carry.thresholdG;
  thresholdB = carry.thresholdB;
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
