#include "batch.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "clockseed.h"
#include "commandline.h"
#include "failure.h"
#include "growth.h"
#include "meshio.h"
#include "normals.h"
#include "seedclaim.h"
#include "seedfile.h"
#include "series.h"
#include "signalling.h"

namespace {

constexpr int cyclesPerDot = 10;

}  // namespace

void growEmbryo(int cycles, snapshotSeries* series) {
  lifeSpanR = 0;
  lifeSpanG = 0;
  lifeSpanB = 0;
  totalCycles = 0;
  if (series) series->loaded();
  for (int j = 0; j < cycles; ++j) {
    if (j % cyclesPerDot == 0) std::fprintf(stderr, ".");
    growthCycle();
    if (series) series->cycleDone(j + 1);
  }
  recalcNorms();
  if (series) series->finished(cycles);
}

std::string embryoTemplateName(int seed) { return "embryo." + std::to_string(seed) + ".3dvTemplate"; }

void runBatches() {
  int seed = 0;
  int previousSeed = 0;
  for (int e = 1; e <= batches; ++e) {
    std::fprintf(stderr, "Embryo %d\n", e);
    if (firstSeed) {
      // A given seed needs no clock, so a regrown batch does not wait between embryos.
      const auto given = seedOf(*firstSeed, e);
      if (!given) fail(exitBadCommandLine, "no seed left for embryo " + std::to_string(e));
      seed = *given;
    }
    // Taken before the embryo grows: the clock second (free in this folder) and its result
    // file, probed once the seed is read so that a full disk ends the run before the cycles.
    EmbryoClaim claim = claimEmbryo(firstSeed ? std::optional<int>(seed) : std::nullopt, previousSeed);
    seed = claim.seed;
    std::srand(static_cast<unsigned>(seed));
    std::fprintf(stderr, "seed: %d\n", seed);
    std::string seedPath = seedFileName;
    readIntoStructs(seedPath.data());
    claim.result->probe();
    std::optional<snapshotSeries> series;
    if (snapshotInterval > 0)
      series.emplace("embryo." + std::to_string(seed), snapshotInterval, std::vector<snapshotField>{{"seed", {seed}}});
    growEmbryo(batchCycles, series ? &*series : nullptr);
    std::snprintf(outName, sizeof outName, "embryo.%d.3dv", seed);
    write3DV(*claim.result);
    // The store's own topology, so that a sweep starts from exactly this embryo.
    if (writeEmbryoTemplate) writeTemplate(embryoTemplateName(seed).c_str());
    std::fprintf(stderr, "done\n");
    previousSeed = seed;
  }
}

void batchRun() {
  runBatches();
  std::exit(0);
}
