#include "forces_detail.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <new>

#include "failure.h"
#include "mechanics.h"

using morph::vector;

namespace {

constexpr float noPairDistance = 32000;
constexpr double stepFraction = 0.1;

int liveVertices(const Embryo& e) { return std::clamp(e.numVertices, 0, e.capacity()); }
bool isLive(int k, int n) { return k >= 0 && k < n; }
bool isFree(const vertex_struct& v) { return !isDependent(v); }

}  // namespace

forceSettings forceStepSettings(Embryo& e) {
  forceSettings s;
  // Young embryos relax over a long range; later the range shrinks, more so once the
  // surface is finely split.
  if (e.totalCycles <= 499) {
    s.cutoff2 = 2.0f;
  } else if (e.numTriangles <= 999) {
    s.cutoff2 = 0.25f;
  } else {
    s.cutoff2 = 0.0625f;
  }

  int reference = 20;  // the seed icosahedron
  if (e.rules().scaledForces) reference = e.numInitialTriangles;
  // A load always leaves a positive count; with none to measure against the scale stays 1
  // rather than dividing by zero.
  if (reference > 0) {
    const double ratio = static_cast<double>(e.numTriangles) / static_cast<double>(reference);
    e.lengthScale = static_cast<float>(std::pow(ratio, 0.75));
  } else {
    e.lengthScale = 1;
  }
  s.L2 = e.lengthScale * e.lengthScale;

  if (e.rules().scaledForces) {
    s.Ka = static_cast<float>(e.forces.attraction) * e.lengthScale;
    s.Kr = static_cast<float>(e.forces.repulsion);
  } else {
    s.Ka = e.lengthScale;
    s.Kr = 1;
  }
  return s;
}

forceField emptyForceField(const Embryo& e) {
  forceField field;
  try {
    field.force.assign(liveVertices(e), vector());
  } catch (const std::bad_alloc&) {
    e.notice("Failure to allocate memory in forces.\n");
    throw runError(failure::memory, "out of memory for the forces of a relaxation step");
  }
  field.D = noPairDistance;
  field.m = 0;
  return field;
}

float forceLength(vector f) {
  const float squares = f.x * f.x + f.y * f.y + f.z * f.z;
  return static_cast<float>(std::sqrt(static_cast<double>(squares)));
}

void referencePairForces(const Embryo& e, const forceSettings& s, forceField& field) {
  const int n = static_cast<int>(field.force.size());
  const vertex_struct* vertex = e.vertex.data();
  for (int i = 0; i < n; ++i) {
    const vertex_struct& vi = vertex[i];

    const vector a = attractionOn(vertex, s, i, n);

    vector r;
    for (int k = 0; k < n; ++k) {
      if (k == i) continue;
      const vertex_struct& vk = vertex[k];
      const vector d(vi.x - vk.x, vi.y - vk.y, vi.z - vk.z);
      const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
      if (!(d2 < s.cutoff2)) continue;
      const float dist = std::sqrt(d2);
      const float den = d2 * dist * s.L2;
      // A dependent sits on its parent's edge and must not push the parent off it.
      if (vk.parentA == i || vk.parentB == i) continue;
      // Coincident vertices (or so close that den vanishes) give no direction to push.
      if (den == 0) continue;
      r.x += s.Kr * d.x / den;
      r.y += s.Kr * d.y / den;
      r.z += s.Kr * d.z / den;
      if (dist < field.D) field.D = dist;
    }

    field.force[i] = vector(a.x + r.x, a.y + r.y, a.z + r.z);
  }
  if (n > 0) field.m = forceLength(field.force[n - 1]);
}

void moveFreeVertices(Embryo& e, const forceField& field) {
  const int n = static_cast<int>(field.force.size());
  vertex_struct* vertex = e.vertex.data();
  for (int i = 0; i < n; ++i) vertex[i].updated = 0;
  // Every move is divided by the one length m; without a usable m nothing free moves.
  const bool canMove = field.m != 0 && std::isfinite(field.m);
  for (int i = 0; i < n; ++i) {
    vertex_struct& v = vertex[i];
    if (!isFree(v)) continue;
    if (canMove) {
      const vector& f = field.force[i];
      const float x = static_cast<float>(v.x + f.x * field.D * stepFraction / field.m);
      const float y = static_cast<float>(v.y + f.y * field.D * stepFraction / field.m);
      const float z = static_cast<float>(v.z + f.z * field.D * stepFraction / field.m);
      // An overflowing force must not carry the vertex off to infinity.
      if (std::isfinite(x) && std::isfinite(y) && std::isfinite(z)) {
        v.x = x;
        v.y = y;
        v.z = z;
      }
    }
    v.updated = 1;
  }
}

void placeDependents(Embryo& e) {
  const int n = liveVertices(e);
  vertex_struct* vertex = e.vertex.data();
  // A dependent may be listed before its parents, so sweep until nothing changes.
  for (bool placed = true; placed;) {
    placed = false;
    for (int i = 0; i < n; ++i) {
      vertex_struct& v = vertex[i];
      if (isFree(v) || v.updated != 0) continue;
      if (!isLive(v.parentA, n) || !isLive(v.parentB, n)) continue;
      const vertex_struct& a = vertex[v.parentA];
      const vertex_struct& b = vertex[v.parentB];
      if (a.updated != 1 || b.updated != 1) continue;
      v.x = (a.x + b.x) / 2;
      v.y = (a.y + b.y) / 2;
      v.z = (a.z + b.z) / 2;
      v.updated = 1;
      placed = true;
    }
  }
}

int forcesReference(Embryo& e) {
  const forceSettings settings = forceStepSettings(e);
  forceField field = emptyForceField(e);
  referencePairForces(e, settings, field);
  moveFreeVertices(e, field);
  placeDependents(e);
  return 1;
}
