// Writes the bundled starting template: an icosahedron split one-to-four everywhere until
// it has more than 500 triangles (1280 triangles, 642 vertices), so that a sweep from it
// reaches the red episodes. Every triangle of a walk is split by the growth step's own
// split, so each edge is split from both sides and no mid-point is left pending.
//
// Usage: make_example <output template>

#include <cstdio>
#include <cstring>

#include "embryostate.h"
#include "icosahedron.h"
#include "meshio.h"
#include "normals.h"
#include "topology.h"

namespace {

constexpr int enoughTriangles = 500;

void link(Embryo& e, short a, short b) {
  vertex_struct& v = e.vertex[a];
  for (int i = 0; i < v.numNeighbors; ++i) {
    if (v.neighbors[i] == b) return;
  }
  v.neighbors[v.numNeighbors++] = b;
}

void loadIcosahedron(Embryo& e) {
  e.numVertices = 12;
  for (int i = 0; i < e.numVertices; ++i) {
    e.vertex[i].x = icosahedron::points[i][0];
    e.vertex[i].y = icosahedron::points[i][1];
    e.vertex[i].z = icosahedron::points[i][2];
    e.vertex[i].parentA = e.vertex[i].parentB = noVertex;
  }
  for (const auto& f : icosahedron::faces) {
    for (int k = 0; k < 3; ++k) {
      link(e, f[k], f[(k + 1) % 3]);
      link(e, f[(k + 1) % 3], f[k]);
    }
    auto* t = new triangle();
    std::memcpy(t->v, f, sizeof t->v);
    t->age = 0;
    addTriangle(e, t, e.tailTriangle);
  }
  e.numTriangles = 20;
  e.numInitialTriangles = e.numTriangles;
}

// Splits each triangle present at the start once; the pieces go to the tail unvisited.
void splitAll(Embryo& e) {
  const int n = e.numTriangles;
  triangle* t = e.headTriangle;
  for (int i = 0; i < n && t; ++i) {
    triangle* next = t->next;
    splitTriangle(e, t);
    t = next;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_example <output template>\n");
    return 1;
  }
  Embryo e(seedRules);
  loadIcosahedron(e);
  while (e.numTriangles <= enoughTriangles) splitAll(e);
  for (int i = 0; i < e.numVertices; ++i) {
    if (e.vertex[i].numDependents != 0) {
      std::fprintf(stderr, "make_example: vertex %d still has pending mid-points\n", i);
      return 1;
    }
  }
  recalcNorms(e);
  writeTemplate(e, argv[1]);
  std::printf("%s: %d vertices, %d triangles\n", argv[1], e.numVertices, e.numTriangles);
  return 0;
}
