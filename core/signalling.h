// The three morphogens: their episode state, hormone-driven growth and diffusion.
#pragma once

#include "mesh.h"

// Episode state. A secretor that names no live vertex secretes nothing; a lifespan of
// 0 or below means the episode has run out.
extern short secretorR, secretorG, secretorB;
extern unsigned char thresholdR, thresholdG, thresholdB;
extern short lifeSpanR, lifeSpanG, lifeSpanB;

// Green and blue episodes wait for a surface of more than this many triangles (and red
// too where variant::redEpisodeNeedsSize).
inline constexpr int episodeMinTriangles = 500;

// One growth step: marks triangles whose corner average reaches a threshold (and, in
// morphseed, splits them and counts the lifespans down); every triangle ages by one.
void hormoneGrow();
// Begin a new episode of one colour.
void newEpisodeR();
// The red lifespan a renewal without drawing gives a lifespan of `lifeSpan` at `threshold`.
short renewedRedLifespan(short lifeSpan, unsigned char threshold);
void newEpisodeG();
void newEpisodeB();
// One simultaneous diffusion step of all three colours.
void diffuse();
