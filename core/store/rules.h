// The points where the two programs' models differ. Each embryo carries the rules it grows
// by; the arithmetic of each rule stays exactly as the program's own (an integer divisor
// divides a float by an int, a real one divides in double and rounds to float).
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
inline constexpr modelRules seedRules{"morphseed", 30000, 12, 20, true, true, false, 2.1, 255, false, false, false};

// morphsweep: relaxes a template under given episodes and force factors, never splitting.
// A 16-bit index still names only vertices 0..32767 of its larger array.
inline constexpr modelRules sweepRules{"morphsweep", 120000, 0, 0, false, false, true, 2, 99, true, true, true};
