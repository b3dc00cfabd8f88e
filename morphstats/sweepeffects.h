// The effects table of a sweep: for each measure and for the distance to the sweep's medoid
// shape, each swept parameter's share of the variance over the grid, with a sentence.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "measure/effects.h"
#include "sweeptable.h"

namespace stats {

// A swept parameter of this name repeats a point rather than changing it: its values are
// replicates, over which the bootstrap resamples.
inline constexpr const char* replicateParameter = "seed";

// The columns after measure and parameter.
const std::vector<std::string>& effectColumns();

struct SweepEffects {
  std::vector<std::string> factors;                  // the swept parameters, replicates left out
  std::vector<std::pair<std::string, Effects>> rows;  // per measure, then medoidDistance
};

// The effects of every measure; the fault when the points do not form a full grid of the
// swept parameters or nothing is swept. `medoidDistance` gives each ok point's distance to
// the medoid of the ok points' shapes (NaN for the others).
std::optional<std::string> sweepEffects(const SweepTable& table, const std::vector<double>& medoidDistance,
                                        SweepEffects& out);

std::string effectsCsv(const SweepEffects& e);

}  // namespace stats
