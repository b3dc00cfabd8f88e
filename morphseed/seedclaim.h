// The seed and the result file of one embryo, claimed before the embryo grows. Runs that
// seed by the clock in one folder at the same time take distinct seconds: a run picks its
// second under a lock on the folder and skips every second whose result exists or is being
// written by another live run, whose temporary holds the claim until its result is in place.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "outfile.h"

struct EmbryoClaim {
  int seed = 0;
  std::unique_ptr<OutputFile> result;  // embryo.<seed>.3dv's temporary
};

// "embryo.<seed>.3dv", with the chosen episode values' tag after the seed.
std::string embryoResultName(int seed, const std::string& tag = "");

// With `givenSeed`, that seed; otherwise the first clock second other than `previousSeed`
// that is free in the working folder. Ends the run as a failed write when the result's
// temporary cannot be created.
EmbryoClaim claimEmbryo(std::optional<int> givenSeed, int previousSeed, const std::string& tag = "");
