#include "normals.h"

void recalcNorms(Embryo& e) {
  vertex_struct* vertex = e.vertex.data();
  for (int i = 0; i < e.numVertices; ++i) vertex[i].clearNorm();
  for (triangle* t = e.headTriangle; t; t = t->next) {
    t->norm.set(faceNormal(vertex[t->v[0]], vertex[t->v[1]], vertex[t->v[2]]));
    for (const short corner : t->v) vertex[corner].addTri(t->norm);
  }
  for (int i = 0; i < e.numVertices; ++i) vertex[i].normalize();
}
