#include "mechanics.h"

#include "fastforces.h"
#include "forces_detail.h"

void recalcNorms() {
  for (int i = 0; i < numVertices; ++i) vertex[i].clearNorm();
  for (triangle* t = headTriangle; t; t = t->next) {
    const vertex_struct& p0 = vertex[t->v[0]];
    const vertex_struct& p1 = vertex[t->v[1]];
    const vertex_struct& p2 = vertex[t->v[2]];
    vector e1(p0.x - p1.x, p0.y - p1.y, p0.z - p1.z);
    vector e2(p1.x - p2.x, p1.y - p2.y, p1.z - p2.z);
    e1.normalize();
    e2.normalize();
    t->norm.set(e1.cross(e2));
    t->norm.normalize();
    for (const short corner : t->v) vertex[corner].addTri(t->norm);
  }
  for (int i = 0; i < numVertices; ++i) vertex[i].normalize();
}

int forces() { return forceOptions.reference ? forcesReference() : forcesFast(); }
