// The total angle defect of a triangulated surface, 2 pi times its Euler characteristic
// when the surface is closed, with pending edge mid-points (T-junctions) counted as lying
// on the unsplit edge they sit on.
#pragma once

#include "io/meshread.h"

namespace stats {

struct AngleDefect {
  double total = 0;          // sum over the points of the faces of 2 pi less their corner angles
  long long tJunctions = 0;  // points found on an edge of a face that does not use them
  bool searched = true;      // false: too many border edges meet at one point; total and count unknown
};

// A T-junction shows in the faces alone as a crack: the unsplit face's edge a-b is used by
// one face only, and so are the halves a-m, m-b on the other side. Walking the crack's
// border, m is passed going straight on, a and b by turning back; each point passed
// straight on gets the straight angle pi that the unsplit face's edge makes there.
// Takes time linear in the border edges and gives up (`searched` false) on a crafted point
// where very many border edges meet.
AngleDefect angleDefect(const view::Mesh& mesh);

}  // namespace stats
