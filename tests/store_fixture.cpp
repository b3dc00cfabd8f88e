#include "store_fixture.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <set>
#include <sstream>

#include "icosahedron.h"
#include "mechanics.h"
#include "meshio.h"
#include "normals.h"
#include "signalling.h"
#include "topology.h"

Embryo& testEmbryo() {
  static Embryo embryo(testRules, testCapacity);
  return embryo;
}

void resetStore(const GrowthSettings& settings) {
  // The kernel choices a test forces outlast the reset, as the test's own settings.
  const fastForceOptions options = testEmbryo().forceOptions;
  testEmbryo() = Embryo(testRules, settings, testCapacity);
  testEmbryo().forceOptions = options;
  testEmbryo().clearStore();
  // Tests build their meshes slot by slot: an unset parent names no vertex.
  for (vertex_struct& v : testEmbryo().vertex) v.parentA = v.parentB = noVertex;
}

void buildMesh(const std::vector<Point>& positions, const std::vector<Face>& faces) {
  // A mesh larger than this build's array (the tiny test variant's, say) would be written
  // past its end; stop the test instead.
  if (positions.size() > static_cast<size_t>(variant::vertexCapacity)) {
    std::fprintf(stderr, "buildMesh: %zu vertices do not fit the %d-slot vertex array\n", positions.size(),
                 variant::vertexCapacity);
    std::abort();
  }
  resetStore();
  E.numVertices = static_cast<int>(positions.size());
  for (int i = 0; i < E.numVertices; ++i) {
    E.vertex[i].x = positions[i][0];
    E.vertex[i].y = positions[i][1];
    E.vertex[i].z = positions[i][2];
  }
  auto link = [](short a, short b) {
    vertex_struct& v = E.vertex[a];
    if (std::find(v.neighbors, v.neighbors + v.numNeighbors, b) == v.neighbors + v.numNeighbors) {
      v.neighbors[v.numNeighbors++] = b;
    }
  };
  for (const Face& f : faces) {
    for (int e = 0; e < 3; ++e) {
      link(f[e], f[(e + 1) % 3]);
      link(f[(e + 1) % 3], f[e]);
    }
    auto* t = new triangle();
    std::copy(f.begin(), f.end(), t->v);
    t->age = 0;
    addTriangle(E, t, E.tailTriangle);
  }
  E.numTriangles = static_cast<int>(faces.size());
  E.numInitialTriangles = E.numTriangles;
  recalcNorms(E);
}

std::vector<Point> icosahedronPoints() {
  std::vector<Point> points;
  for (const auto& p : icosahedron::points) points.push_back({p[0], p[1], p[2]});
  return points;
}

std::vector<Face> icosahedronFaces() {
  std::vector<Face> faces;
  for (const auto& f : icosahedron::faces) faces.push_back({f[0], f[1], f[2]});
  return faces;
}

void buildIcosahedron() { buildMesh(icosahedronPoints(), icosahedronFaces()); }

void buildSubdividedIcosahedron(int levels) {
  std::vector<Point> points = icosahedronPoints();
  std::vector<Face> faces = icosahedronFaces();
  for (int level = 0; level < levels; ++level) {
    std::map<std::pair<short, short>, short> midpoints;
    auto midpoint = [&](short a, short b) {
      const std::pair<short, short> key = std::minmax(a, b);
      if (const auto found = midpoints.find(key); found != midpoints.end()) return found->second;
      Point p;
      for (int c = 0; c < 3; ++c) p[c] = (points[a][c] + points[b][c]) / 2;
      const float length = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
      for (float& c : p) c /= length;
      points.push_back(p);
      return midpoints[key] = static_cast<short>(points.size() - 1);
    };
    std::vector<Face> finer;
    for (const Face& f : faces) {
      const short a = midpoint(f[0], f[1]), b = midpoint(f[0], f[2]), c = midpoint(f[1], f[2]);
      finer.insert(finer.end(), {{a, c, b}, {a, b, f[0]}, {f[1], c, a}, {c, f[2], b}});
    }
    faces = std::move(finer);
  }
  buildMesh(points, faces);
}

std::vector<Face> triangleList() {
  std::vector<Face> faces;
  for (const triangle* t = E.headTriangle; t; t = t->next) faces.push_back({t->v[0], t->v[1], t->v[2]});
  return faces;
}
