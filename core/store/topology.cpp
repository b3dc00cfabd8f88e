#include "topology.h"

#include <cstdlib>
#include <functional>
#include <sstream>
#include <string>

#include "failure.h"
#include "storecheck.h"

namespace {

inline constexpr int maxNeighbors = 6;
// The dependent counts are 16-bit; their arrays may not grow past what the count can hold.
inline constexpr int maxDependentEntries = 32767;

std::string describe(const Embryo& e, const vertex_struct* v) {
  const std::less<const vertex_struct*> before;
  const vertex_struct* first = e.vertex.data();
  if (!before(v, first) && before(v, first + e.capacity())) {
    return "vertex " + std::to_string(v - first);
  }
  return "a vertex outside the store";
}

// A seventh neighbour cannot arise from splits of a valid surface; refusing it keeps the
// inline list from being written past its end.
void appendNeighbor(Embryo& e, short at, short n) {
  vertex_struct& v = e.vertexAt(at);
  if (v.numNeighbors < 0 || v.numNeighbors >= maxNeighbors) {
    throw runError(failure::capacity, "vertex " + std::to_string(at) + " already has " +
                                          std::to_string(v.numNeighbors) +
                                          " neighbours; the mesh is not a valid surface");
  }
  v.neighbors[v.numNeighbors++] = n;
}

// A resolved mid-point takes the slot of the far corner, so the list keeps its order.
void replaceNeighbor(Embryo& e, short at, short from, short to) {
  vertex_struct& v = e.vertexAt(at);
  for (int i = 0; i < v.numNeighbors && i < maxNeighbors; ++i) {
    if (v.neighbors[i] == from) {
      v.neighbors[i] = to;
      return;
    }
  }
  e.notice("Spouse should be in neighbor list.\n");
}

void appendDependent(Embryo& e, short holder, short dependent, short spouse) {
  vertex_struct& v = e.vertexAt(holder);
  moreShorts(e, &v, dependentGrowth);
  v.dependents[v.numDependents] = dependent;
  v.spouses[v.numDependents] = spouse;
  ++v.numDependents;
}

// What one corner's pass does with a pending mid-point whose spouse is `spouse`.
struct Resolution {
  short spouse;
  bool gainsEnds;      // the mid-point gets this corner and the spouse as neighbours
  bool clearsParents;  // the mid-point stops being a dependent
  short* out;          // receives the mid-point, or null
  bool* found;         // set when the mid-point is met, or null
};

// Resolves the corner's entries that lie on the split triangle's edges. The count is read
// when the pass begins, so a corner named twice sees what the earlier pass left.
void resolvePass(Embryo& e, short corner, const Resolution& first, const Resolution& second) {
  vertex_struct& c = e.vertexAt(corner);
  int count = c.numDependents;
  int i = 0;
  while (i < count) {
    const short s = c.spouses[i];
    const short d = c.dependents[i];
    const Resolution* hit = s == first.spouse ? &first : s == second.spouse ? &second : nullptr;
    if (!hit) {
      ++i;
      continue;
    }
    if (hit->gainsEnds) {
      appendNeighbor(e, d, corner);
      appendNeighbor(e, d, s);
    }
    replaceNeighbor(e, corner, s, d);
    if (hit->clearsParents) {
      e.vertexAt(d).parentA = noVertex;
      e.vertexAt(d).parentB = noVertex;
    }
    removeShortElement(c.spouses, i, count);
    removeShortElement(c.dependents, i, count);
    --count;
    if (hit->out) *hit->out = d;
    if (hit->found) *hit->found = true;
  }
  c.numDependents = static_cast<short>(count);
}

// A new dependent at the middle of first-second; `first` gets its entry first. Returns
// false, leaving *out alone, when there is no room for it.
bool createMidpoint(Embryo& e, short first, short second, short parentA, short parentB, bool reportLargeX, short* out) {
  if (e.numVertices + 1 > subdivisionVertexLimit(e)) return false;
  const short n = static_cast<short>(e.numVertices);
  vertex_struct& m = e.vertexAt(n);
  const vertex_struct& a = e.vertexAt(first);
  const vertex_struct& b = e.vertexAt(second);
  m.x = static_cast<float>((a.x + b.x) / 2.0);
  if (reportLargeX && m.x > 100.0) {
    std::ostringstream line;
    line << "large vertex x " << m.x << '\n';
    e.notice(line.str());
  }
  m.y = static_cast<float>((a.y + b.y) / 2.0);
  m.z = static_cast<float>((a.z + b.z) / 2.0);
  m.numNeighbors = 0;
  m.numDependents = 0;
  m.maxDependents = 0;
  m.hormoneR = m.hormoneG = m.hormoneB = 0;
  m.parentA = parentA;
  m.parentB = parentB;
  appendDependent(e, first, n, second);
  appendDependent(e, second, n, first);
  *out = n;
  e.numVertices += 1;
  return true;
}

bool hasSpouse(const Embryo& e, short holder, short spouse) {
  const vertex_struct& v = e.vertexAt(holder);
  for (int i = 0; i < v.numDependents; ++i) {
    if (v.spouses[i] == spouse) return true;
  }
  return false;
}

// How many vertices a split of t will create. A triangle that names a corner twice is
// counted as needing all three, since its passes read lists an earlier pass has changed.
int midpointsToCreate(const Embryo& e, const triangle* t) {
  const short v0 = t->v[0], v1 = t->v[1], v2 = t->v[2];
  if (v0 == v1 || v0 == v2 || v1 == v2) return 3;
  return !hasSpouse(e, v0, v1) + !hasSpouse(e, v0, v2) + !hasSpouse(e, v1, v2);
}

}  // namespace

void removeShortElement(short* values, int at, int count) {
  for (int i = at; i < count - 1; ++i) values[i] = values[i + 1];
}

void moreShorts(Embryo& e, vertex_struct* v, int extra) {
  if (v->numDependents < v->maxDependents) return;
  // The call exists to make room for one more entry, so it always grows by at least one.
  const int size = v->numDependents + (extra > 0 ? extra : 1);
  if (size > maxDependentEntries) {
    throw runError(failure::capacity, describe(e, v) + " has more dependents than its 16-bit count can hold");
  }
  const std::size_t bytes = static_cast<std::size_t>(size) * sizeof(short);
  for (short** array : {&v->dependents, &v->spouses}) {
    auto* grown = static_cast<short*>(std::realloc(*array, bytes));
    if (!grown) {
      e.notice("out of memory in moreShorts\n");
      throw runError(failure::memory, "no memory to grow the dependent lists of " + describe(e, v));
    }
    *array = grown;
  }
  v->maxDependents = static_cast<short>(size);
}

void addRemoveDependents(Embryo& e, triangle* t, short* p, short* q, short* r) {
  const short v0 = t->v[0], v1 = t->v[1], v2 = t->v[2];
  bool foundP = false, foundQ = false, foundR = false;

  resolvePass(e, v0, {v1, true, true, p, &foundP}, {v2, true, true, q, &foundQ});
  // The v0-v1 mid-point was completed by the first pass; here it only replaces v0.
  resolvePass(e, v1, {v0, false, true, nullptr, nullptr}, {v2, true, true, r, &foundR});
  resolvePass(e, v2, {v1, false, false, nullptr, nullptr}, {v0, false, false, nullptr, nullptr});

  const bool madeP = !foundP && createMidpoint(e, v0, v1, v1, v0, false, p);
  const bool madeQ = !foundQ && createMidpoint(e, v0, v2, v0, v2, true, q);
  const bool madeR = !foundR && createMidpoint(e, v2, v1, v2, v1, false, r);

  if (e.numVertices == subdivisionVertexLimit(e)) e.notice("Vertex array is full.\n");

  // A mid-point that could not be made has no index to link; the others are linked as usual.
  const bool hasP = foundP || madeP, hasQ = foundQ || madeQ, hasR = foundR || madeR;
  if (hasP) {
    if (hasQ) appendNeighbor(e, *p, *q);
    if (hasR) appendNeighbor(e, *p, *r);
  }
  if (hasQ) {
    if (hasR) appendNeighbor(e, *q, *r);
    if (hasP) appendNeighbor(e, *q, *p);
  }
  if (hasR) {
    if (hasP) appendNeighbor(e, *r, *p);
    if (hasQ) appendNeighbor(e, *r, *q);
  }
}

short closestDepOrNeighbor(const Embryo& e, short v, short n) {
  short result = n;
  const vertex_struct& w = e.vertexAt(v);
  const int count = w.numDependents;
  // Each change moves one nested mid-point closer, so count + 1 sweeps reach the answer;
  // the bound only matters if the lists were to name each other in a circle.
  for (int sweep = 0; sweep <= count; ++sweep) {
    bool changed = false;
    for (int i = 0; i < count; ++i) {
      if (w.spouses[i] == result) {
        result = w.dependents[i];
        changed = true;
      }
    }
    if (!changed) break;
  }
  return result;
}

void addTriangle(Embryo& e, triangle* t, triangle* after) {
  // With no predecessor given, t goes in front of the list.
  triangle* successor = after ? after->next : e.headTriangle;
  t->prev = after;
  t->next = successor;
  if (successor) {
    successor->prev = t;
  } else {
    e.tailTriangle = t;
  }
  if (after) {
    after->next = t;
  } else {
    e.headTriangle = t;
  }
}

void removeTriangle(Embryo& e, triangle* t) {
  if (t == e.tailTriangle) e.tailTriangle = t->prev;
  if (t->prev) {
    t->prev->next = t->next;
  } else {
    e.headTriangle = t->next;
  }
  if (t->next) t->next->prev = t->prev;
  delete t;
}

void splitTriangle(Embryo& e, triangle* t) {
  const short v0 = t->v[0], v1 = t->v[1], v2 = t->v[2];
  if (v0 == v1 || v0 == v2 || v1 == v2) {
    e.notice("Error: duplicate verts!\n" + std::to_string(v0) + "\n" + std::to_string(v1) + "\n" + std::to_string(v2) + "\n");
  }
  // Pieces must never be built from a mid-point that could not be made, so a split that
  // does not fit is refused whole and the triangle stays as it is.
  if (e.numVertices + midpointsToCreate(e, t) > subdivisionVertexLimit(e)) {
    e.notice("Vertex array is full.\n");
    return;
  }

  short a = noVertex, b = noVertex, c = noVertex;
  addRemoveDependents(e, t, &a, &b, &c);

  const short pieces[4][3] = {{a, c, b}, {a, b, v0}, {v1, c, a}, {c, v2, b}};
  for (const auto& corners : pieces) {
    auto* piece = new triangle();
    piece->v[0] = corners[0];
    piece->v[1] = corners[1];
    piece->v[2] = corners[2];
    piece->age = 0;
    addTriangle(e, piece, e.tailTriangle);
  }
  removeTriangle(e, t);
  e.numTriangles += 3;
  if constexpr (validateBuild) validateStore(e, "a split");
}
