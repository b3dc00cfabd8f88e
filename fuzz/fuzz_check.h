// What the fuzz targets assert about the store a loader leaves: a failed check prints its
// reason and aborts, which libFuzzer records as a finding with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "mesh.h"

inline void fuzzCheck(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

inline void fuzzCheckIndex(int index, int count, const char* what) {
  if (index >= 0 && index < count) return;
  std::fprintf(stderr, "fuzz check failed: %s index %d outside 0..%d\n", what, index, count - 1);
  std::abort();
}

// The triangle list runs both ways, holds numTriangles triangles, and names live corners.
inline void fuzzCheckList(int liveVertices) {
  int length = 0;
  const triangle* previous = nullptr;
  for (const triangle* t = headTriangle; t; t = t->next) {
    fuzzCheck(t->prev == previous, "broken prev link");
    fuzzCheck(length < numTriangles, "list longer than numTriangles");
    for (short corner : t->v) fuzzCheckIndex(corner, liveVertices, "corner");
    previous = t;
    ++length;
  }
  fuzzCheck(length == numTriangles, "list shorter than numTriangles");
  fuzzCheck(tailTriangle == previous, "tailTriangle is not the last triangle");
}
