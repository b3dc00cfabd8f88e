// Writes the bundled starting template: an icosahedron split one-to-four everywhere until
// it has more than 500 triangles (1280 triangles, 642 vertices), so that a sweep from it
// reaches the red episodes. Every triangle of a walk is split by the growth step's own
// split, so each edge is split from both sides and no mid-point is left pending.
//
// Usage: make_example <output template>

#include <cstdio>
#include <cstring>

#include "icosahedron.h"
#include "meshio.h"
#include "normals.h"
#include "topology.h"

namespace {

constexpr int enoughTriangles = 500;

void link(short a, short b) {
  vertex_struct& v = vertex[a];
  for (int i = 0; i < v.numNeighbors; ++i) {
    if (v.neighbors[i] == b) return;
  }
  v.neighbors[v.numNeighbors++] = b;
}

void loadIcosahedron() {
  numVertices = 12;
  for (int i = 0; i < numVertices; ++i) {
    vertex[i].x = icosahedron::points[i][0];
    vertex[i].y = icosahedron::points[i][1];
    vertex[i].z = icosahedron::points[i][2];
    vertex[i].parentA = vertex[i].parentB = noVertex;
  }
  for (const auto& f : icosahedron::faces) {
    for (int e = 0; e < 3; ++e) {
      link(f[e], f[(e + 1) % 3]);
      link(f[(e + 1) % 3], f[e]);
    }
    auto* t = new triangle();
    std::memcpy(t->v, f, sizeof t->v);
    t->age = 0;
    addTriangle(t, tailTriangle);
  }
  numTriangles = 20;
  numInitialTriangles = numTriangles;
}

// Splits each triangle present at the start once; the pieces go to the tail unvisited.
void splitAll() {
  const int n = numTriangles;
  triangle* t = headTriangle;
  for (int i = 0; i < n && t; ++i) {
    triangle* next = t->next;
    splitTriangle(t);
    t = next;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_example <output template>\n");
    return 1;
  }
  loadIcosahedron();
  while (numTriangles <= enoughTriangles) splitAll();
  for (int i = 0; i < numVertices; ++i) {
    if (vertex[i].numDependents != 0) {
      std::fprintf(stderr, "make_example: vertex %d still has pending mid-points\n", i);
      return 1;
    }
  }
  recalcNorms();
  writeTemplate(argv[1]);
  std::printf("%s: %d vertices, %d triangles\n", argv[1], numVertices, numTriangles);
  return 0;
}
