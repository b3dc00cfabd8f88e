#include "pointnames.h"

#include <limits>

#include "rules.h"
#include "signalling.h"

namespace {

// Everything after the input name.
std::string nameSuffix(const SweepRun& run, short redLifespan, const char* ending) {
  SweepValues shown = run.values;
  shown.settings.red.lifespan = redLifespan;
  std::string suffix;
  for (const Parameter* p : nameRows) {
    suffix += p->nameTag;
    suffix += std::to_string(p->get(shown));
  }
  return suffix + ending;
}

long long longestNameLength(const SweepRun& run, const char* ending) {
  // No value of the red lifespan is wider than the most negative one.
  const short red = run.values.settings.red.lifespan > 0 ? run.values.settings.red.lifespan
                                                         : std::numeric_limits<short>::min();
  return static_cast<long long>(run.input.size() + nameSuffix(run, red, ending).size());
}

}  // namespace

std::string outputName(const SweepRun& run, short redLifespan, const char* ending) {
  return run.input + nameSuffix(run, redLifespan, ending);
}

long long longestOutputNameLength(const SweepRun& run) {
  return longestNameLength(run, run.values.templateSwitch ? ".3dvTemplate" : ".3dv");
}

long long longestSnapshotNameLength(const SweepRun& run) {
  return longestNameLength(run, (".c" + std::to_string(run.values.growthCycles) + ".vtp").c_str());
}

short finalRedLifespan(const SweepRun& run, long long triangles) {
  static_assert(!sweepRules.randomEpisodes, "a drawn episode cannot be foreseen in a name");
  const bool bigEnough = triangles > episodeMinTriangles || !sweepRules.redEpisodeNeedsSize;
  const Morphogen& given = run.values.settings.red;
  short red = given.lifespan;
  for (int j = 0; j < run.values.growthCycles && red <= 0 && bigEnough; ++j) {
    const short renewed = renewedRedLifespan(red, given.threshold);
    if (renewed == red) break;  // a fixed point: every later renewal keeps it
    red = renewed;
  }
  return red;
}
