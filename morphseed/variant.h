// The points where morphseed's core differs from morphsweep's, fixed at compile time.
#pragma once

namespace variant {

inline constexpr const char* programName = "morphseed";

// Vertex array size; subdivision fills at most vertexCapacity - 1 slots. The tests' tiny
// core sets MORPH_VERTEX_CAPACITY so that growth fills its array within a few cycles.
#ifdef MORPH_VERTEX_CAPACITY
inline constexpr int vertexCapacity = MORPH_VERTEX_CAPACITY;
#else
inline constexpr int vertexCapacity = 30000;
#endif
// The store holds the seed icosahedron's counts before anything is read.
inline constexpr int startNumVertices = 12;
inline constexpr int startNumTriangles = 20;

// vector::dot and vector::set(x, y, z) exist (the seed loader orients faces with them).
inline constexpr bool vectorExtras = true;

// hormoneGrow splits the marked triangles and counts the lifespans down.
inline constexpr bool growthSplits = true;
// New episodes draw lifespan, threshold and secretor with rand.
inline constexpr bool randomEpisodes = true;

// Diffusion divides the sum by diffusionDivisor * m; a double factor makes that a
// double division rounded to float afterwards.
inline constexpr double diffusionDivisor = 2.1;
inline constexpr int greenSecretorLevel = 255;
// A red episode may begin at any size.
inline constexpr bool redEpisodeNeedsSize = false;

// Forces carry no command-line factors and measure length against the 20-face seed.
inline constexpr bool scaledForces = false;

// write3DV writes the store as it is.
inline constexpr bool rescaleOnWrite = false;

// The result goes to outName ("embryo.%d.3dv"); no OBJ or template export.
inline constexpr bool sweepOutputs = false;

}  // namespace variant
