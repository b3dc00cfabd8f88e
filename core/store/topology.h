// Local one-to-four splitting: the neighbour and dependent lists that track T-junctions,
// the triangle list primitives, and the split itself.
#pragma once

#include "embryostate.h"

// Dependent arrays grow by this many entries at a time.
inline constexpr int dependentGrowth = 6;

// Subdivision stops creating vertices once this many exist: the last slot of the array
// stays free, and no vertex may take an index that a 16-bit index cannot name.
inline int subdivisionVertexLimit(const Embryo& e) {
  return e.capacity() - 1 < maxIndexableVertices ? e.capacity() - 1 : maxIndexableVertices;
}

// Removes values[at] from the first `count` entries by moving the tail down one place.
void removeShortElement(short* values, int at, int count);
// Makes room for one more dependent entry on v, growing both arrays by `extra` when full.
void moreShorts(Embryo& e, vertex_struct* v, int extra);
// The topology of splitting t: finds or creates the mid-points of its edges
// (*p on v0-v1, *q on v0-v2, *r on v1-v2) and links them to each other.
void addRemoveDependents(Embryo& e, triangle* t, short* p, short* q, short* r);
// The vertex next to v on the way toward its listed neighbour n (a pending mid-point, or n).
short closestDepOrNeighbor(const Embryo& e, short v, short n);

// Links t into the list right after `after`.
void addTriangle(Embryo& e, triangle* t, triangle* after);
// Unlinks t and deletes it.
void removeTriangle(Embryo& e, triangle* t);
// Replaces t by its four pieces at the tail of the list; t is deleted.
void splitTriangle(Embryo& e, triangle* t);
