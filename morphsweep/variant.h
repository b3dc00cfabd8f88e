// The points where morphsweep's core differs from morphseed's, fixed at compile time.
#pragma once

namespace variant {

inline constexpr const char* programName = "morphsweep";

// Vertex array size; a 16-bit index still names only vertices 0..32767.
inline constexpr int vertexCapacity = 120000;
inline constexpr int startNumVertices = 0;
inline constexpr int startNumTriangles = 0;

inline constexpr bool vectorExtras = false;

// hormoneGrow only ages triangles: its marks are computed and dropped.
inline constexpr bool growthSplits = false;
// Only the red lifespan is rescaled; nothing random.
inline constexpr bool randomEpisodes = false;

// An int factor makes sum / (diffusionDivisor * m) a float division by the int 2m.
inline constexpr int diffusionDivisor = 2;
inline constexpr int greenSecretorLevel = 99;
inline constexpr bool redEpisodeNeedsSize = true;

// Forces are scaled by attractionFactor and repulsionFactor and measure length
// against numInitialTriangles.
inline constexpr bool scaledForces = true;

// write3DV divides the store by the largest coordinate seen in the process.
inline constexpr bool rescaleOnWrite = true;

// Results go to outName_3dvFile, then OBJ and, on request, a template beside it.
inline constexpr bool sweepOutputs = true;

}  // namespace variant
