#include "batch.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "checkpoint.h"
#include "checkpointing.h"
#include "clockseed.h"
#include "commandline.h"
#include "failure.h"
#include "filedigest.h"
#include "growth.h"
#include "meshio.h"
#include "normals.h"
#include "outnames.h"
#include "progress.h"
#include "outputnames.h"
#include "resultfolder.h"
#include "series.h"
#include "signalling.h"
#include "templateload.h"

namespace {

// Every run parameter as the command line gave it, named as in a sweep definition.
std::vector<snapshotField> runParameters() {
  return {{"growthCycles", {numGrowthCycles}},
          {"modificationCount", {modificationCount}},
          {"templateSwitch", {writeTemplateFile}},
          {"redLifespan", {lifeSpanR}},
          {"redThreshold", {thresholdR}},
          {"redSecretor", {secretorR}},
          {"greenLifespan", {lifeSpanG}},
          {"greenThreshold", {thresholdG}},
          {"greenSecretor", {secretorG}},
          {"blueLifespan", {lifeSpanB}},
          {"blueThreshold", {thresholdB}},
          {"blueSecretor", {secretorB}},
          {"repulsion", {kr_input}},
          {"attraction", {kh_input}}};
}

// The run parameters, then the input template as named and the SHA-256 of its bytes, read
// once per run; a resumed run names the template as it finds it then. A template that can
// no longer be read (a resume after it was removed) is named without a digest.
std::vector<snapshotField> snapshotFacts() {
  std::vector<snapshotField> facts = runParameters();
  facts.push_back({"inputTemplate", {}, inputFile});
  if (const std::optional<std::string> digest = fileSha256(inputFile)) {
    facts.push_back({"inputTemplateSha256", {}, *digest});
  }
  return facts;
}

}  // namespace

void applyCommandLine(Embryo& e) {
  e.secretorR = secretorR;
  e.secretorG = secretorG;
  e.secretorB = secretorB;
  e.thresholdR = thresholdR;
  e.thresholdG = thresholdG;
  e.thresholdB = thresholdB;
  e.lifeSpanR = lifeSpanR;
  e.lifeSpanG = lifeSpanG;
  e.lifeSpanB = lifeSpanB;
  e.attractionFactor = kh_input;
  e.repulsionFactor = kr_input;
}

void growEmbryo(Embryo& e) {
  std::optional<checkpointRun> resumed;
  if (checkpoints.resumeFile.empty()) {
    readIntoStructs(e, inputFile);
    applyCommandLine(e);
  } else {
    resumed = readCheckpoint(checkpoints.resumeFile, e);
    checkResumedWords(checkpoints.resumeFile, *resumed, checkpoints.words);
    if (resumed->embryoNumber != 1 || resumed->cyclesDone > numGrowthCycles ||
        resumed->series != (snapshotInterval > 0)) {
      throw runError(failure::malformed, checkpoints.resumeFile + ": its position (cycle " +
                                             std::to_string(resumed->cyclesDone) + ") lies outside this run");
    }
  }
  const std::string stem = snapshotStem(e);
  if (resumed) {
    std::vector<std::string> results{stem + ".3dv", stem + ".obj"};
    if (writeTemplateFile) results.push_back(stem + ".3dvTemplate");
    refuseFinishedRun(checkpoints.resumeFile, results);
  }
  std::printf("attractionFactor %d\n", e.attractionFactor);
  std::printf("repulsionFactor %d\n", e.repulsionFactor);
  if (!resumed) e.totalCycles = 0;
  // The results go beside the input; a folder that takes none is found before the cycles.
  checkResultFolder(outputName(".3dv"));
  std::optional<snapshotSeries> series;
  if (snapshotInterval > 0) series.emplace(stem, snapshotInterval, snapshotFacts());
  if (resumed) {
    std::fprintf(stderr, "resuming after cycle %d from %s\n", resumed->cyclesDone, checkpoints.resumeFile.c_str());
    if (series) series->resume(resumed->born, resumed->written);
  } else if (series) {
    series->loaded(e);
  }
  checkpointRun position;
  position.program = sweepRules.programName;
  checkpointKeeper keeper(checkpoints, stem + ".ckpt", position);
  {
    CycleProgress progress(e, numGrowthCycles);
    for (int j = resumed ? resumed->cyclesDone : 0; j < numGrowthCycles; ++j) {
      progress.beforeCycle(j);
      growthCycle(e);
      if (series) series->cycleDone(e, j + 1);
      keeper.cycleDone(e, j + 1, numGrowthCycles, series ? &*series : nullptr);
    }
  }
  recalcNorms(e);
  // Before write3DV, which rescales the store: snapshots show it unscaled.
  if (series) series->finished(e, numGrowthCycles);
  // The names carry the red lifespan the run ended with.
  lifeSpanR = e.lifeSpanR;
  formOutputNames();
  // write3DV rescales the store in place, so the OBJ and template show the rescaled mesh.
  write3DV(e, outName_3dvFile);
  writeOBJ(e, outName_objFile, inputFile);
  if (writeTemplateFile) writeTemplate(e, outName_3dvTemplateFile);
  keeper.resultWritten();
  std::fprintf(stderr, "done\n");
}

Embryo batchRun() {
  int seed = 0;
  int previousSeed = 0;
  Embryo embryo(sweepRules);
  for (int b = 1; b <= batches; ++b) {
    std::fprintf(stderr, "Embryo %d\n", b);
    seed = waitForNewSecond(previousSeed);
    if (b > 1) embryo = Embryo(sweepRules);
    embryo.random.seed(static_cast<unsigned>(seed));
    growEmbryo(embryo);
    previousSeed = seed;
  }
  std::fflush(stdout);
  return embryo;
}
