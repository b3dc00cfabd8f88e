// The points where the two programs' models differ. Kept with the store: every embryo
// carries the rules it grows by, and the store itself reads its capacity and start counts
// from them, so the store needs no header of the model. The arithmetic of each rule stays
// exactly as the program's own (an integer divisor divides a float by an int, a real one
// divides in double and rounds to float).
#pragma once

struct modelRules {
  const char* programName;  // names the program in messages and snapshots
  int vertexCapacity;       // default size of the vertex array
  int startNumVertices;     // the counts of a store before anything is read
  int startNumTriangles;
  bool growthSplits;         // hormoneGrow splits marked triangles and counts lifespans down
  bool randomEpisodes;       // new episodes draw lifespan, threshold and secretor
  bool integerDiffusionDivisor;  // sum / (divisor * m) as float / int, else double rounded to float
  double diffusionDivisor;
  unsigned char greenSecretorLevel;
  bool redEpisodeNeedsSize;  // a red episode waits for a surface as large as the others do
  bool scaledForces;         // command-line force factors, length against the loaded surface
  bool rescaleOnWrite;       // the 3DV writer divides by the largest coordinate seen
};

// morphseed: grows a seed icosahedron by random episodes, splitting as it goes.
inline constexpr modelRules seedRules{
    .programName = "morphseed",
    .vertexCapacity = 30000,
    .startNumVertices = 12,
    .startNumTriangles = 20,
    .growthSplits = true,
    .randomEpisodes = true,
    .integerDiffusionDivisor = false,
    .diffusionDivisor = 2.1,
    .greenSecretorLevel = 255,
    .redEpisodeNeedsSize = false,
    .scaledForces = false,
    .rescaleOnWrite = false,
};

// morphsweep: relaxes a template under given episodes and force factors, never splitting.
// A 16-bit index still names only vertices 0..32767 of its larger array.
inline constexpr modelRules sweepRules{
    .programName = "morphsweep",
    .vertexCapacity = 120000,
    .startNumVertices = 0,
    .startNumTriangles = 0,
    .growthSplits = false,
    .randomEpisodes = false,
    .integerDiffusionDivisor = true,
    .diffusionDivisor = 2,
    .greenSecretorLevel = 99,
    .redEpisodeNeedsSize = true,
    .scaledForces = true,
    .rescaleOnWrite = true,
};
