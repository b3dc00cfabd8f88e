// The surface normals: one per triangle from its corners, one per vertex from the triangles
// around it. The loaders, the writers and the snapshots need them; the relaxation step does not.
#pragma once

#include "embryostate.h"

// The unit normal of the triangle p0 p1 p2, from its two edges p0-p1 and p1-p2 each made
// unit first; a degenerate triangle keeps a (near) zero normal.
inline morph::vector faceNormal(const vertex_struct& p0, const vertex_struct& p1, const vertex_struct& p2) {
  morph::vector e1(p0.x - p1.x, p0.y - p1.y, p0.z - p1.z);
  morph::vector e2(p1.x - p2.x, p1.y - p2.y, p1.z - p2.z);
  e1.normalize();
  e2.normalize();
  morph::vector n = e1.cross(e2);
  n.normalize();
  return n;
}

// Recomputes every face normal and every vertex normal (the normalised sum of the normals
// of the triangles it is a corner of) from the positions.
void recalcNorms(Embryo& e);
