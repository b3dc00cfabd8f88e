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

void resetStore() {
  clearStore();
  for (int i = 0; i < variant::vertexCapacity; ++i) {
    vertex_struct& v = vertex[i];
    v.x = v.y = v.z = 0;
    v.norm = vector();
    v.numNeighbors = 0;
    std::fill(std::begin(v.neighbors), std::end(v.neighbors), 0);
    v.parentA = v.parentB = -1;
    v.numDependents = v.maxDependents = 0;  // arrays stay owned by the slot, as in a run
    v.hormoneR = v.hormoneG = v.hormoneB = 0;
    v.updated = 0;
  }
  totalCycles = 0;
  secretorR = secretorG = secretorB = -1;
  thresholdR = thresholdG = thresholdB = 255;
  lifeSpanR = lifeSpanG = lifeSpanB = 0;
  lengthScale = 1;
  attractionFactor = repulsionFactor = 0;
  largest = 0;
  writeTemplateFile = 1;
  inputFile = nullptr;
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
  numVertices = static_cast<int>(positions.size());
  for (int i = 0; i < numVertices; ++i) {
    vertex[i].x = positions[i][0];
    vertex[i].y = positions[i][1];
    vertex[i].z = positions[i][2];
  }
  auto link = [](short a, short b) {
    vertex_struct& v = vertex[a];
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
    addTriangle(t, tailTriangle);
  }
  numTriangles = static_cast<int>(faces.size());
  numInitialTriangles = numTriangles;
  recalcNorms();
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
  for (const triangle* t = headTriangle; t; t = t->next) faces.push_back({t->v[0], t->v[1], t->v[2]});
  return faces;
}
