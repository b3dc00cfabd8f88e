#include "mesh.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

void vector::normalize() {
  const float length = std::sqrt(x * x + y * y + z * z);
  if (static_cast<double>(length) < 0.0001) return;
  x /= length;
  y /= length;
  z /= length;
}

vertex_struct vertex[variant::vertexCapacity];
triangle* headTriangle = nullptr;
triangle* tailTriangle = nullptr;
int numTriangles = variant::startNumTriangles;
int numVertices = variant::startNumVertices;
int numInitialTriangles = 0;
unsigned int totalCycles = 0;

void cleanup() {
  while (headTriangle) {
    triangle* t = headTriangle;
    headTriangle = t->next;
    delete t;
  }
  tailTriangle = nullptr;
}

void clearStore() {
  cleanup();
  numVertices = 0;
  numTriangles = 0;
  numInitialTriangles = 0;
}

void vertexIndexFault(long long index) {
  std::fprintf(stderr, "%s: vertex index %lld outside the %d-slot vertex array\n", variant::programName, index,
               variant::vertexCapacity);
  std::abort();
}

void storeStateFault(const char* what) {
  std::fprintf(stderr, "%s: store check failed: %s\n", variant::programName, what);
  std::abort();
}
