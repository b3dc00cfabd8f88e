// The total angle defect of a triangulated surface, 2 pi times its Euler characteristic
// when the surface is closed, with pending edge mid-points (T-junctions) counted as lying
// on the unsplit edge they sit on.
#pragma once

#include "io/meshread.h"

namespace stats {

struct AngleDefect {
  double total = 0;          // sum over the points of the faces of 2 pi less their corner angles
  long long tJunctions = 0;  // points found on an edge of a face that does not use them
};

// A T-junction shows in the faces alone as a crack: the unsplit face's edge a-b is used by
// one face only, and so are the halves a-m, m-b on the other side. Walking the crack's
// border, m is passed going straight on, a and b by turning back; each point passed
// straight on gets the straight angle pi that the unsplit face's edge makes there.
AngleDefect angleDefect(const view::Mesh& mesh);

}  // namespace stats
