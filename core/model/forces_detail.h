// The parts of one relaxation step that any way of summing its pair forces shares: the
// per-step constants before the sum, and the moves after it. A faster pair loop reuses
// them and is checked against the plain one value for value.
#pragma once

#include <algorithm>
#include <vector>

#include "embryostate.h"

// Constants of one step, fixed before any force is summed.
struct forceSettings {
  float cutoff2;  // squared cut-off distance: a pair repels only when d2 < cutoff2
  float L2;       // lengthScale squared
  float Ka;       // attraction gain per neighbour
  float Kr;       // repulsion gain
};

// What the pair sum leaves for the moves.
struct forceField {
  std::vector<morph::vector> force;  // net force on each live vertex
  float D;                    // smallest distance of a pair that repelled; 32000 when none did
  float m;                    // length of the last vertex's force; every move is divided by it
};

// The attraction on vertex i along its neighbour list, in list order; neighbours that name
// no live vertex (index outside 0 .. n-1) are skipped. Both ways of summing use this one
// expression, so their float operations cannot drift apart.
inline morph::vector attractionOn(const vertex_struct* vertex, const forceSettings& s, int i, int n) {
  const vertex_struct& vi = vertex[i];
  morph::vector a;
  const int numNeighbors = std::clamp<int>(vi.numNeighbors, 0, 6);
  for (int j = 0; j < numNeighbors; ++j) {
    const int k = vi.neighbors[j];
    if (k < 0 || k >= n) continue;
    a.x += s.Ka * (vertex[k].x - vi.x);
    a.y += s.Ka * (vertex[k].y - vi.y);
    a.z += s.Ka * (vertex[k].z - vi.z);
  }
  return a;
}

// Chooses the cut-off, writes lengthScale and derives the gains from it.
forceSettings forceStepSettings(Embryo& e);
// One zero force per live vertex, D = 32000, m = 0. Ends the run if memory runs out.
forceField emptyForceField(const Embryo& e);
// The plain all-pairs sum: attraction along neighbour lists, repulsion from every close
// vertex, D, and finally m.
void referencePairForces(const Embryo& e, const forceSettings& settings, forceField& field);
// The length of a force as the step measures it: float squares and sum, double root.
float forceLength(morph::vector f);
// Clears every updated flag, then moves each free vertex along its force and marks it.
void moveFreeVertices(Embryo& e, const forceField& field);
// Puts each dependent at the mid-point of its parents once both are placed, sweeping
// until a sweep places none.
void placeDependents(Embryo& e);
// One whole step by the plain pair loop: the yardstick for faster ones.
int forcesReference(Embryo& e);
