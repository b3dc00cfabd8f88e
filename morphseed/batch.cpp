#include "batch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <string>

#include "clockseed.h"
#include "commandline.h"
#include "failure.h"
#include "growth.h"
#include "meshio.h"
#include "normals.h"
#include "progress.h"
#include "seedclaim.h"
#include "seedfile.h"
#include "series.h"
#include "signalling.h"

void growEmbryo(Embryo& e, int cycles, snapshotSeries* series) {
  e.lifeSpanR = 0;
  e.lifeSpanG = 0;
  e.lifeSpanB = 0;
  e.totalCycles = 0;
  if (series) series->loaded(e);
  {
    CycleProgress progress(e, cycles);
    for (int j = 0; j < cycles; ++j) {
      progress.beforeCycle(j);
      growthCycle(e);
      if (series) series->cycleDone(e, j + 1);
    }
  }
  recalcNorms(e);
  if (series) series->finished(e, cycles);
}

std::string seedFileHint(const std::string& message) {
  if (message.rfind(seedFilePath + ": cannot open: ", 0) != 0) return "";
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::absolute(seedFilePath, error).parent_path();
  return "looked for the seed file '" + seedFilePath + "' in " + (error ? "the working folder" : folder.string()) +
         "; run where it is (the build copies one into build/run/) or give its path with --seed-file PATH";
}

std::string embryoTemplateName(int seed) { return "embryo." + std::to_string(seed) + ".3dvTemplate"; }

Embryo runBatches() {
  int seed = 0;
  int previousSeed = 0;
  // Made once before the first embryo: its start state is the first embryo's.
  Embryo embryo(seedRules);
  for (int e = 1; e <= batches; ++e) {
    std::fprintf(stderr, "Embryo %d\n", e);
    if (firstSeed) {
      // A given seed needs no clock, so a regrown batch does not wait between embryos.
      const auto given = seedOf(*firstSeed, e);
      if (!given) throw runError(exitBadCommandLine, "no seed left for embryo " + std::to_string(e));
      seed = *given;
    }
    // Taken before the embryo grows: the clock second (free in this folder) and its result
    // file, probed once the seed is read so that a full disk ends the run before the cycles.
    EmbryoClaim claim = claimEmbryo(firstSeed ? std::optional<int>(seed) : std::nullopt, previousSeed);
    seed = claim.seed;
    // A fresh embryo for each, carrying only what the last one leaves to the next.
    if (e > 1) {
      const episodeCarry carried = embryo.episodes();
      embryo = Embryo(seedRules);
      embryo.takeEpisodes(carried);
    }
    embryo.random.seed(static_cast<unsigned>(seed));
    std::fprintf(stderr, "seed: %d\n", seed);
    readSeedIntoStructs(embryo, seedFilePath.c_str());
    claim.result->probe();
    std::optional<snapshotSeries> series;
    if (snapshotInterval > 0)
      series.emplace("embryo." + std::to_string(seed), snapshotInterval, std::vector<snapshotField>{{"seed", {seed}}});
    growEmbryo(embryo, batchCycles, series ? &*series : nullptr);
    write3DV(embryo, *claim.result);
    // The store's own topology, so that a sweep starts from exactly this embryo.
    if (writeEmbryoTemplate) writeTemplate(embryo, embryoTemplateName(seed).c_str());
    std::fprintf(stderr, "done\n");
    previousSeed = seed;
  }
  return embryo;
}
