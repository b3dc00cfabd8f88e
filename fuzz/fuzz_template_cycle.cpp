// Arbitrary bytes as a template, and for every template the loader accepts one whole
// morphsweep cycle on it: whatever the loader lets through, the steps after it must run
// without a fault and keep the store's shape. The grown store, written as template and as
// 3DV, must then read back through the loader and the viewer's reader as it was.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "io/meshread.h"
#include "fuzz_check.h"
#include "growth.h"
#include "mechanics.h"
#include "meshio.h"
#include "normals.h"
#include "signalling.h"
#include "templateload.h"

namespace {

// The embryo every input is loaded into.
Embryo E(sweepRules);

// Larger meshes only slow the search down; the loader target covers them.
constexpr int largestMesh = 512;

// The store emptied and a sweep point's parameters set, as morphsweep's command line would.
void resetRun() {
  E.clearStore();
  E.totalCycles = 0;
  E.writer.largest = 0;
  E.red.lifespan = E.green.lifespan = E.blue.lifespan = 40;
  E.red.threshold = E.green.threshold = E.blue.threshold = 120;
  E.red.secretor = 0;
  E.green.secretor = 1;
  E.blue.secretor = 2;
  E.forces.attraction = 3;
  E.forces.repulsion = 2;
}

// What a cycle may not change: the counts, the list and every vertex's topology.
std::vector<short> topology() {
  std::vector<short> shape;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    shape.insert(shape.end(), {v.numNeighbors, v.parentA, v.parentB, v.numDependents});
    shape.insert(shape.end(), v.neighbors, v.neighbors + v.numNeighbors);
  }
  return shape;
}

// The text a writer gives for the store as it stands.
std::string written(void (*writer)(const Embryo&, FILE*)) {
  char* buffer = nullptr;
  std::size_t size = 0;
  FILE* f = open_memstream(&buffer, &size);
  fuzzCheck(f != nullptr, "no memory stream");
  writer(E, f);
  std::fclose(f);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// A position as six decimals give it back.
float asWritten(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
  return std::strtof(text, nullptr);
}

struct Written {
  std::vector<float> positions;
  std::vector<short> shape;
  std::vector<short> corners;
};

Written asFilesHoldIt() {
  Written w;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    for (const float c : {v.x, v.y, v.z}) w.positions.push_back(asWritten(c));
    w.shape.insert(w.shape.end(), {v.numNeighbors, v.parentA, v.parentB});
    w.shape.insert(w.shape.end(), v.neighbors, v.neighbors + v.numNeighbors);
  }
  for (const triangle* t = E.headTriangle; t; t = t->next) w.corners.insert(w.corners.end(), t->v, t->v + 3);
  return w;
}

// Every file the run would write reads back: a store the writers refuse stops the run with
// a message instead, which is no fault.
void checkRoundTrip() {
  if (unwritableVertex(E)) return;
  const Written before = asFilesHoldIt();
  const std::string threeDV = written(write3DVText);
  const std::string templateText = written(writeTemplateText);

  const view::MeshLoad viewed = view::parseMesh(threeDV, view::MeshFormat::threeDV, "r.3dv");
  fuzzCheck(viewed.ok(), "the viewer refuses a written 3DV file");
  fuzzCheck(viewed.mesh.points.size() * 3 == before.positions.size(), "the viewer reads another vertex count");
  for (std::size_t i = 0; i < viewed.mesh.points.size(); ++i) {
    for (int a = 0; a < 3; ++a) {
      fuzzCheck(viewed.mesh.points[i][a] == before.positions[3 * i + a], "the viewer reads another position");
    }
  }
  fuzzCheck(viewed.mesh.faces.size() * 3 == before.corners.size(), "the viewer reads another triangle count");
  for (std::size_t i = 0; i < viewed.mesh.faces.size(); ++i) {
    for (int a = 0; a < 3; ++a) fuzzCheck(viewed.mesh.faces[i][a] == before.corners[3 * i + a], "another corner");
  }

  std::istringstream in(templateText);
  const auto error = loadTemplate(E, in, "r.3dvTemplate");
  if (error) std::fprintf(stderr, "%s\n", error->c_str());
  fuzzCheck(!error, "the loader refuses a written template");
  const Written after = asFilesHoldIt();
  fuzzCheck(after.positions == before.positions, "a written template reads back other positions");
  fuzzCheck(after.shape == before.shape, "a written template reads back another topology");
  fuzzCheck(after.corners == before.corners, "a written template reads back other triangles");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetRun();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  if (loadTemplate(E, in, "fuzz.3dvTemplate") || E.numVertices > largestMesh) {
    resetRun();
    return 0;
  }
  const int vertices = E.numVertices, triangles = E.numTriangles;
  const std::vector<short> before = topology();
  growthCycle(E);
  recalcNorms(E);
  fuzzCheck(E.numVertices == vertices && E.numTriangles == triangles, "a cycle changed the counts");
  fuzzCheckStore(E, PendingMidpoints::parentsOnly);
  fuzzCheck(topology() == before, "a cycle changed the topology");
  checkRoundTrip();
  resetRun();
  return 0;
}
