// The total angle defect of a triangulated surface, 2 pi times its Euler characteristic
// when the surface is closed, with pending edge mid-points (T-junctions) counted as lying
// on the unsplit edge they sit on, and the faults of the surface that leave angles or the
// surface itself undefined.
#pragma once

#include "io/meshread.h"

namespace stats {

// Elements where the surface is not a sound triangulated surface. Faulty triangles (the
// degenerate ones, and those on a non-manifold edge) are left out of the angle defect.
struct SurfaceFaults {
  long long degenerateTriangles = 0;  // zero area from the file's positions, or a corner repeated
  long long nonManifoldEdges = 0;     // used by more than two triangles, or by two the same way
  long long coincidentPoints = 0;     // points at exactly the position of another point in use
  long long nonManifoldPoints = 0;    // points whose triangles do not close up around them once
  long long total() const { return degenerateTriangles + nonManifoldEdges + coincidentPoints + nonManifoldPoints; }
};

struct AngleDefect {
  double total = 0;           // sum over the points of the sound triangles of 2 pi less their corner angles
  double characteristic = 0;  // total / (2 pi), exactly: a whole or half number
  long long tJunctions = 0;   // points found on an edge of a triangle that does not use them
  SurfaceFaults faults;
};

// A T-junction shows in the triangles alone as a crack: the unsplit triangle's edge a-b is
// used by that triangle only, and so are the halves b-m, m-a (or a longer chain, splits
// several levels deep) on the other side. The cracks are found from the triangles'
// combinatorics, not from positions a file may have rounded: each point's triangles form
// fans between border edges, and a crack leads from the end of one fan to the start of the
// next around the point. Where a point has one or two fans that order is the only one; where
// it has more, a chain of border edges that returns to the point it left closes its crack,
// and a chain from u to v closes with the only one from v back to u (two cracks share at
// most one point). A closed chain is a crack when its points lie on its longest edge (a
// hole does not); all but that edge's ends are T-junctions and get the straight angle pi
// of the unsplit triangle's edge.
// A triangle's angles add up to pi, so the total is exactly 2 pi V - pi F - pi T over the
// V points of the F sound triangles and their T T-junctions: 4 pi for a sound closed
// surface. Linear in the triangles but for sorting.
AngleDefect angleDefect(const view::Mesh& mesh);

}  // namespace stats
