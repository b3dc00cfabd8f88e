#include "batch.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "checkpoint.h"
#include "checkpointing.h"
#include "clockseed.h"
#include "failure.h"
#include "filedigest.h"
#include "growth.h"
#include "meshio.h"
#include "normals.h"
#include "pointnames.h"
#include "progress.h"
#include "resultfolder.h"
#include "rules.h"
#include "series.h"
#include "signalling.h"
#include "sweepwords.h"
#include "templateload.h"

namespace {

// A run grows one embryo: no word of the command line asks for more.
constexpr int embryosPerRun = 1;

// Every number of the command line, named as in a sweep definition, then the input
// template as named and the SHA-256 of its bytes, read once per run; a resumed run names
// the template as it finds it then. A template that can no longer be read (a resume after
// it was removed) is named without a digest.
std::vector<snapshotField> snapshotFacts(const SweepRun& run) {
  std::vector<snapshotField> facts;
  for (const Parameter& p : runParameters) {
    if (p.number()) facts.push_back({std::string(p.name), {static_cast<int>(p.get(run.values))}});
  }
  facts.push_back({std::string(inputTemplateName), {}, run.input});
  if (const std::optional<std::string> digest = fileSha256(run.input.c_str())) {
    facts.push_back({"inputTemplateSha256", {}, *digest});
  }
  return facts;
}

// The result name with `ending`, showing the red lifespan the run ended with. Refused
// rather than cut when it does not fit.
std::string resultName(const SweepRun& run, const Embryo& e, const char* ending) {
  const std::string name = outputName(run, e.red.lifespan, ending);
  if (name.size() >= static_cast<std::size_t>(outNameSize)) {
    throw runError(failure::commandLine, "output name '" + name + "' is too long: " + std::to_string(name.size()) +
                                             " characters, at most " + std::to_string(outNameSize - 1) + " fit");
  }
  return name;
}

}  // namespace

void growEmbryo(Embryo& e, const SweepRun& run) {
  const int cycles = run.values.growthCycles;
  const checkpointSettings& checkpoints = run.checkpoints;
  std::optional<checkpointRun> resumed;
  if (checkpoints.resumeFile.empty()) {
    readIntoStructs(e, run.input.c_str());
  } else {
    resumed = readCheckpoint(checkpoints.resumeFile, e);
    // The words may spell the run otherwise (a flag in the other case) if they mean it.
    std::vector<std::string> recorded{sweepRules.programName};
    recorded.insert(recorded.end(), resumed->words.begin(), resumed->words.end());
    std::vector<char*> argv = argvOf(recorded);
    SweepRun was;
    const bool same =
        parseCommandLine(static_cast<int>(recorded.size()), argv.data(), was, false) == 0 && sameRun(was, run);
    checkResumedWords(checkpoints.resumeFile, *resumed, same ? resumed->words : checkpoints.words);
    if (resumed->embryoNumber != 1 || resumed->cyclesDone > cycles || resumed->series != (run.snapshotInterval > 0)) {
      throw runError(failure::malformed, checkpoints.resumeFile + ": its position (cycle " +
                                             std::to_string(resumed->cyclesDone) + ") lies outside this run");
    }
  }
  const std::string stem = outputName(run, finalRedLifespan(run, e.numTriangles), "");
  if (resumed) {
    std::vector<std::string> results{stem + ".3dv", stem + ".obj"};
    if (run.values.templateSwitch) results.push_back(stem + ".3dvTemplate");
    refuseFinishedRun(checkpoints.resumeFile, results);
  }
  std::printf("attractionFactor %d\n", e.forces.attraction);
  std::printf("repulsionFactor %d\n", e.forces.repulsion);
  if (!resumed) e.totalCycles = 0;
  // The results go beside the input; a folder that takes none is found before the cycles.
  checkResultFolder(outputName(run, run.settings().red.lifespan, ".3dv"));
  std::optional<snapshotSeries> series;
  if (run.snapshotInterval > 0) series.emplace(stem, run.snapshotInterval, snapshotFacts(run));
  if (resumed) {
    std::fprintf(stderr, "resuming after cycle %d from %s\n", resumed->cyclesDone, checkpoints.resumeFile.c_str());
    if (series) series->resume(checkpoints.resumeFile, resumed->born, resumed->written);
  } else if (series) {
    series->loaded(e);
  }
  checkpointRun position;
  position.program = sweepRules.programName;
  checkpointKeeper keeper(checkpoints, stem + ".ckpt", position);
  {
    CycleProgress progress(e, cycles);
    for (int j = resumed ? resumed->cyclesDone : 0; j < cycles; ++j) {
      progress.beforeCycle(j);
      growthCycle(e);
      if (series) series->cycleDone(e, j + 1);
      keeper.cycleDone(e, j + 1, cycles, series ? &*series : nullptr);
    }
  }
  recalcNorms(e);
  // Before write3DV, which rescales the store: snapshots show it unscaled.
  if (series) series->finished(e, cycles);
  // The names carry the red lifespan the run ended with, formed before anything is written.
  const std::string objName = resultName(run, e, ".obj");
  const std::string resultName3dv = resultName(run, e, ".3dv");
  const std::string templateName = run.values.templateSwitch ? resultName(run, e, ".3dvTemplate") : "";
  // write3DV rescales the store in place, so the OBJ and template show the rescaled mesh.
  write3DV(e, resultName3dv.c_str());
  writeOBJ(e, objName.c_str(), run.input.c_str());
  if (run.values.templateSwitch) writeTemplate(e, templateName.c_str());
  keeper.resultWritten();
  std::fprintf(stderr, "done\n");
}

Embryo batchRun(const SweepRun& run) {
  int seed = 0;
  int previousSeed = 0;
  Embryo embryo(sweepRules, run.settings());
  for (int b = 1; b <= embryosPerRun; ++b) {
    std::fprintf(stderr, "Embryo %d\n", b);
    seed = waitForNewSecond(previousSeed);
    if (b > 1) embryo = Embryo(sweepRules, run.settings());
    embryo.random.seed(static_cast<unsigned>(seed));
    growEmbryo(embryo, run);
    previousSeed = seed;
  }
  std::fflush(stdout);
  return embryo;
}
