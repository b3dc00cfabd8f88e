// Arbitrary bytes as a template, and for every template the loader accepts one whole
// morphsweep cycle on it: whatever the loader lets through, the steps after it must run
// without a fault and keep the store's shape.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "growth.h"
#include "mechanics.h"
#include "meshio.h"
#include "signalling.h"

namespace {

// Larger meshes only slow the search down; the loader target covers them.
constexpr int largestMesh = 512;

// The store emptied and a sweep point's parameters set, as morphsweep's command line would.
void resetRun() {
  clearStore();
  totalCycles = 0;
  largest = 0;
  lifeSpanR = lifeSpanG = lifeSpanB = 40;
  thresholdR = thresholdG = thresholdB = 120;
  secretorR = 0;
  secretorG = 1;
  secretorB = 2;
  attractionFactor = 3;
  repulsionFactor = 2;
}

// What a cycle may not change: the counts, the list and every vertex's topology.
std::vector<short> topology() {
  std::vector<short> shape;
  for (int i = 0; i < numVertices; ++i) {
    const vertex_struct& v = vertex[i];
    shape.insert(shape.end(), {v.numNeighbors, v.parentA, v.parentB, v.numDependents});
    shape.insert(shape.end(), v.neighbors, v.neighbors + v.numNeighbors);
  }
  return shape;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetRun();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  if (loadTemplate(in, "fuzz.3dvTemplate") || numVertices > largestMesh) {
    resetRun();
    return 0;
  }
  const int vertices = numVertices, triangles = numTriangles;
  const std::vector<short> before = topology();
  growthCycle();
  recalcNorms();
  fuzzCheck(numVertices == vertices && numTriangles == triangles, "a cycle changed the counts");
  fuzzCheckStore(PendingMidpoints::parentsOnly);
  fuzzCheck(topology() == before, "a cycle changed the topology");
  resetRun();
  return 0;
}
