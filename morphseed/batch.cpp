#include "batch.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <system_error>
#include <string>
#include <vector>

#include "checkpoint.h"
#include "clockseed.h"
#include "commandline.h"
#include "episodewords.h"
#include "failure.h"
#include "growth.h"
#include "meshio.h"
#include "normals.h"
#include "parameters.h"
#include "progress.h"
#include "seedclaim.h"
#include "seedfile.h"
#include "series.h"
#include "signalling.h"

void growEmbryo(Embryo& e, int cycles, snapshotSeries* series, int done, checkpointKeeper* keeper) {
  if (done == 0) {
    e.red.lifespan = 0;
    e.green.lifespan = 0;
    e.blue.lifespan = 0;
    e.totalCycles = 0;
    if (series) series->loaded(e);
  }
  {
    CycleProgress progress(e, cycles);
    for (int j = done; j < cycles; ++j) {
      progress.beforeCycle(j);
      growthCycle(e);
      if (series) series->cycleDone(e, j + 1);
      if (keeper) keeper->cycleDone(e, j + 1, cycles, series);
    }
  }
  recalcNorms(e);
  if (series) series->finished(e, cycles);
}

std::string seedFileHint(const std::string& seedFilePath, const std::string& message) {
  if (message.rfind(seedFilePath + ": cannot open: ", 0) != 0) return "";
  std::error_code error;
  const std::filesystem::path folder = std::filesystem::absolute(seedFilePath, error).parent_path();
  return "looked for the seed file '" + seedFilePath + "' in " + (error ? "the working folder" : folder.string()) +
         "; run where it is (the build copies one into build/run/) or give its path with --seed-file PATH";
}

std::string embryoTemplateName(int seed, const std::string& tag) {
  return "embryo." + std::to_string(seed) + tag + ".3dvTemplate";
}

std::string embryoCheckpointName(int seed, const std::string& tag) {
  return "embryo." + std::to_string(seed) + tag + ".ckpt";
}

namespace {

// The results of embryo `e` of this command line, the last one written last.
std::vector<std::string> embryoResults(const SeedRun& r, int seed) {
  std::vector<std::string> results{embryoResultName(seed, r.nameTag())};
  if (r.writeEmbryoTemplate) results.push_back(embryoTemplateName(seed, r.nameTag()));
  return results;
}

// Where a resumed run goes on: its checkpoint read into `embryo` and checked against this
// command line, before anything is written.
checkpointRun resumeFrom(const SeedRun& r, const std::string& file, Embryo& embryo) {
  checkpointRun run = readCheckpoint(file, embryo);
  // The words may spell the run otherwise (its flags in another order) if they mean it.
  std::vector<std::string> recorded{seedRules.programName};
  recorded.insert(recorded.end(), run.words.begin(), run.words.end());
  std::vector<char*> argv = argvOf(recorded);
  SeedRun was;
  const bool same = parseCommandLine(static_cast<int>(recorded.size()), argv.data(), was, false) == 0 && sameRun(was, r);
  checkResumedWords(file, run, same ? run.words : r.checkpoints.words);
  if (run.embryoNumber > r.batches || run.cyclesDone > r.batchCycles || run.series != (r.snapshotInterval > 0)) {
    throw runError(failure::malformed, file + ": its position (embryo " + std::to_string(run.embryoNumber) +
                                           ", cycle " + std::to_string(run.cyclesDone) + ") lies outside this run");
  }
  if (r.firstSeed && seedOf(*r.firstSeed, run.embryoNumber) != run.seed) {
    throw runError(failure::malformed, file + ": embryo " + std::to_string(run.embryoNumber) + " has seed " +
                                           std::to_string(run.seed) + ", not the seed -s gives it");
  }
  refuseFinishedRun(file, embryoResults(r, run.seed));
  return run;
}

}  // namespace

Embryo runBatches(const SeedRun& run) {
  const checkpointSettings& checkpoints = run.checkpoints;
  const std::optional<int>& firstSeed = run.firstSeed;
  const std::string tag = run.nameTag();
  int seed = 0;
  int previousSeed = 0;
  // Made once before the first embryo: its start state is the first embryo's.
  Embryo embryo(seedRules);
  std::optional<checkpointRun> resumed;
  if (!checkpoints.resumeFile.empty()) {
    resumed = resumeFrom(run, checkpoints.resumeFile, embryo);
    previousSeed = resumed->previousSeed;
  }
  for (int e = resumed ? resumed->embryoNumber : 1; e <= run.batches; ++e) {
    std::fprintf(stderr, "Embryo %d\n", e);
    const bool resuming = resumed && e == resumed->embryoNumber;
    if (resuming) {
      seed = resumed->seed;
    } else if (firstSeed) {
      // A given seed needs no clock, so a regrown batch does not wait between embryos.
      const auto given = seedOf(*firstSeed, e);
      if (!given) throw runError(failure::commandLine, "no seed left for embryo " + std::to_string(e));
      seed = *given;
    }
    // Taken before the embryo grows: the clock second (free in this folder) and its result
    // file, probed once the seed is read so that a full disk ends the run before the cycles.
    EmbryoClaim claim = claimEmbryo(firstSeed || resuming ? std::optional<int>(seed) : std::nullopt, previousSeed, tag);
    seed = claim.seed;
    if (resuming) {
      std::fprintf(stderr, "seed: %d\n", seed);
      std::fprintf(stderr, "resuming after cycle %d from %s\n", resumed->cyclesDone, checkpoints.resumeFile.c_str());
    } else {
      // A fresh embryo for each, carrying only what the last one leaves to the next.
      if (e > 1) embryo = Embryo(seedRules, embryo.handOver());
      embryo.random.seed(static_cast<unsigned>(seed));
      std::fprintf(stderr, "seed: %d\n", seed);
      readSeedIntoStructs(embryo, run.seedFilePath.c_str());
    }
    // Taken up as the embryo's next episode begins; the state handed over stands till then.
    embryo.chosenEpisodes = run.episodes;
    claim.result->probe();
    std::optional<snapshotSeries> series;
    if (run.snapshotInterval > 0) {
      std::vector<snapshotField> facts{{std::string(findParameter("seed")->name), {seed}}};
      // The chosen values, as --episodes took them, so a snapshot says how it was grown.
      if (std::string chosen = episodeChoicesText(run.episodes); !chosen.empty()) {
        facts.push_back({"episodes", {}, std::move(chosen)});
      }
      series.emplace("embryo." + std::to_string(seed) + tag, run.snapshotInterval, std::move(facts));
      if (resuming) series->resume(checkpoints.resumeFile, resumed->born, resumed->written);
    }
    checkpointRun position;
    position.program = seedRules.programName;
    position.embryoNumber = e;
    position.seed = seed;
    position.previousSeed = previousSeed;
    checkpointKeeper keeper(checkpoints, embryoCheckpointName(seed, tag), position);
    growEmbryo(embryo, run.batchCycles, series ? &*series : nullptr, resuming ? resumed->cyclesDone : 0, &keeper);
    write3DV(embryo, *claim.result);
    // The store's own topology, so that a sweep starts from exactly this embryo.
    if (run.writeEmbryoTemplate) writeTemplate(embryo, embryoTemplateName(seed, tag).c_str());
    keeper.resultWritten();
    std::fprintf(stderr, "done\n");
    previousSeed = seed;
  }
  return embryo;
}
