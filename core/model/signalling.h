// The three morphogens: their episode state, hormone-driven growth and diffusion.
#pragma once

#include <vector>

#include "embryostate.h"

// Green and blue episodes wait for a surface of more than this many triangles (and red
// too where the rules say redEpisodeNeedsSize).
inline constexpr int episodeMinTriangles = 500;

// One growth step: marks triangles whose corner average reaches a threshold (and, in
// morphseed, splits them and counts the lifespans down); every triangle ages by one.
void hormoneGrow(Embryo& e);
// Begin a new episode of one colour.
void newEpisodeR(Embryo& e);
// The red lifespan a renewal without drawing gives a lifespan of `lifeSpan` at `threshold`.
short renewedRedLifespan(short lifeSpan, unsigned char threshold);
void newEpisodeG(Embryo& e);
void newEpisodeB(Embryo& e);
// Whom each vertex averages with when a morphogen diffuses: its neighbours, each resolved
// to the nearest mid-point on that edge, then a dependent's two parents. Only a change of
// the surface changes it, so a cycle's run of diffusion steps works it out once.
struct diffusionPlan {
  std::vector<int> start;            // vertex i averages with others[start[i] .. start[i + 1])
  std::vector<int> others;           // -1 where an index names no live vertex (adds nothing)
  std::vector<unsigned char> terms;  // the count the sum is divided by
};
diffusionPlan planDiffusion(const Embryo& e);
// One simultaneous diffusion step of all three colours, by a plan of the surface as it is.
void diffuse(Embryo& e, const diffusionPlan& plan);
// The same, working the plan out first.
void diffuse(Embryo& e);
