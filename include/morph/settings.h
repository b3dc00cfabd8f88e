// What an embryo is made with, apart from the state it grows: the three morphogens'
// episode values and the two force factors. A plain value, given to an embryo when it is
// made; the core's run parameters' table says what each one means.
#pragma once

namespace morph {

// One morphogen's episode: how many cycles it still runs, the level at which a triangle
// splits, and the vertex that secretes it.
struct Morphogen {
  short lifespan = 0;             // 0 or below: the episode has run out
  unsigned char threshold = 255;  // a triangle whose average level reaches it splits (morphseed)
  short secretor = -1;            // a vertex index; one that names no live vertex secretes nothing

  bool operator==(const Morphogen&) const = default;
};

// morphsweep's command-line force factors; a morphseed embryo has none (0, unused).
struct ForceFactors {
  int attraction = 0;  // the value after -kh
  int repulsion = 0;   // the value after -kr

  bool operator==(const ForceFactors&) const = default;
};

// Default-made, it holds what every embryo starts from before its command line or its
// draws apply: no episode running, thresholds that nothing reaches, no secretor, no force
// factors.
struct GrowthSettings {
  Morphogen red, green, blue;
  ForceFactors forces;

  bool operator==(const GrowthSettings&) const = default;
};

}  // namespace morph
