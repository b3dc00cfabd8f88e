// Episode values the user chooses instead of the draws: per colour, each of lifespan,
// threshold and secretor may be fixed or a range that its draw is mapped onto. An embryo
// carries them and consults them as each episode begins; nothing chosen, nothing changes.
#pragma once

#include <array>
#include <functional>

#include "morph/settings.h"

// One field of an episode: drawn (not chosen), or the values lo..hi (lo == hi: fixed).
struct EpisodeField {
  bool chosen = false;
  int lo = 0, hi = 0;

  // The value for a draw `r` (rand()'s, never negative): the draw's own when not chosen,
  // else lo + r % (hi - lo + 1), so a fixed field discards its draw.
  long long pick(int r, long long drawnValue) const {
    if (!chosen) return drawnValue;
    return lo + static_cast<long long>(r) % (static_cast<long long>(hi) - lo + 1);
  }
  bool operator==(const EpisodeField&) const = default;
};

struct EpisodeFields {
  EpisodeField lifespan, threshold, secretor;
  bool operator==(const EpisodeFields&) const = default;
};

// Colours in the order red, green, blue.
struct EpisodeChoices {
  std::array<EpisodeFields, 3> colours;

  bool any() const {
    for (const EpisodeFields& c : colours) {
      if (c.lifespan.chosen || c.threshold.chosen || c.secretor.chosen) return true;
    }
    return false;
  }
  bool operator==(const EpisodeChoices&) const = default;
};

class Embryo;
// Called as an episode of `colour` (0 red, 1 green, 2 blue) begins, with the values it would
// begin with; it may change them. The secretor it leaves is checked like a chosen one.
using episodeRule = std::function<void(Embryo& embryo, int colour, morph::Morphogen& values)>;
