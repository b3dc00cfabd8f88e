// Soak driver: grows one morphseed embryo from the seed file with a fixed random seed
// until the vertex array is full, then some cycles more, checking every store invariant
// after each cycle; writes the embryo (3DV and template) and reads both files back through
// the template loader and the viewer's reader, which must give back the same store.
//   soak_fill <seed file> <srand seed> <cycles after full> <result.3dv>
// Exit status 0 when everything held; the first problem otherwise. Progress on stdout.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "io/meshread.h"
#include "batch.h"
#include "growth.h"
#include "meshio.h"
#include "normals.h"
#include "seedfile.h"
#include "signalling.h"
#include "storecheck.h"
#include "templateload.h"
#include "topology.h"

namespace {

// The embryo grown to a full array.
Embryo E(seedRules);

int problem(const std::string& what) {
  std::printf("FAILED: %s\n", what.c_str());
  return 1;
}

// The file holds exactly what its counts state, every number finite, every corner live.
bool parsesBack(const char* path, int vertices, int triangles) {
  std::ifstream in(path);
  int v = -1, t = -1;
  if (!(in >> v >> t) || v != vertices || t != triangles) return false;
  for (int i = 0; i < 6 * v; ++i) {
    float c = NAN;
    if (!(in >> c) || !std::isfinite(c)) return false;
  }
  for (int i = 0; i < t; ++i) {
    int n = 0, a = -1, b = -1, c = -1;
    if (!(in >> n >> a >> b >> c) || n != 3) return false;
    for (int k : {a, b, c}) {
      if (k < 0 || k >= v) return false;
    }
  }
  std::string rest;
  return !(in >> rest);
}

float asWritten(float value) {
  char text[64];
  std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
  return std::strtof(text, nullptr);
}

// Positions (as six decimals give them back), neighbour lists, parents and triangles.
std::vector<float> storeAsWritten() {
  std::vector<float> s;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    s.insert(s.end(), {asWritten(v.x), asWritten(v.y), asWritten(v.z), float(v.numNeighbors), float(v.parentA),
                       float(v.parentB)});
    for (int j = 0; j < v.numNeighbors; ++j) s.push_back(v.neighbors[j]);
  }
  for (const triangle* t = E.headTriangle; t; t = t->next)
    s.insert(s.end(), {float(t->v[0]), float(t->v[1]), float(t->v[2])});
  return s;
}

// The viewer reads the 3DV file, the loader the template; both give back what was written.
std::string roundTripProblem(const char* threeDV, const std::string& templatePath) {
  const view::MeshLoad viewed = view::loadMesh(threeDV, view::MeshFormat::threeDV);
  if (!viewed.ok()) return "the viewer refuses the result: " + viewed.error;
  if (static_cast<int>(viewed.mesh.points.size()) != E.numVertices) return "the viewer reads another vertex count";
  for (int i = 0; i < E.numVertices; ++i) {
    const std::array<float, 3> p = {asWritten(E.vertex[i].x), asWritten(E.vertex[i].y), asWritten(E.vertex[i].z)};
    if (viewed.mesh.points[i] != p) return "the viewer reads vertex " + std::to_string(i) + " elsewhere";
  }
  const std::vector<float> before = storeAsWritten();
  writeTemplate(E, templatePath.c_str());
  if (const auto error = loadTemplate(E, templatePath.c_str())) return "the loader refuses the template: " + *error;
  if (storeAsWritten() != before) return "the template reads back another store";
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: soak_fill <seed file> <srand seed> <cycles after full> <result.3dv>\n");
    return 1;
  }
  const unsigned seed = static_cast<unsigned>(std::strtoul(argv[2], nullptr, 10));
  const int cyclesAfterFull = std::atoi(argv[3]);
  const auto start = std::chrono::steady_clock::now();
  auto seconds = [&] { return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(); };

  if (const auto error = loadSeed(E, argv[1])) return problem(*error);
  E.random.seed(seed);
  E.red.lifespan = E.green.lifespan = E.blue.lifespan = 0;
  E.totalCycles = 0;
  int fullAt = -1, verticesAtFull = 0;
  for (int j = 0; fullAt < 0 || j <= fullAt + cyclesAfterFull; ++j) {
    growthCycle(E);
    if (const auto problems = storeProblems(E); !problems.empty()) {
      return problem("cycle " + std::to_string(j) + ": " + problems.front());
    }
    if (E.numVertices > subdivisionVertexLimit(E)) return problem("more vertices than the array may hold");
    // A split is refused once fewer slots are left than it needs (at most three).
    if (fullAt < 0 && E.numVertices >= subdivisionVertexLimit(E) - 2) {
      fullAt = j;
      verticesAtFull = E.numVertices;
    }
    std::printf("cycle %d: %d vertices, %d triangles, %.1f s\n", j, E.numVertices, E.numTriangles, seconds());
    std::fflush(stdout);
  }
  recalcNorms(E);
  write3DV(E, argv[4]);
  if (!parsesBack(argv[4], E.numVertices, E.numTriangles)) return problem("the written file does not parse back");
  if (const std::string p = roundTripProblem(argv[4], std::string(argv[4]) + "Template"); !p.empty()) return problem(p);
  std::printf("full at cycle %d with %d vertices; ended with %d vertices, %d triangles after %.1f s\n", fullAt,
              verticesAtFull, E.numVertices, E.numTriangles, seconds());
  return 0;
}
