#include "batch.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <vector>

#include "clockseed.h"
#include "commandline.h"
#include "failure.h"
#include "growth.h"
#include "mechanics.h"
#include "meshio.h"
#include "normals.h"
#include "outputnames.h"
#include "resultfolder.h"
#include "series.h"
#include "signalling.h"
#include "templateload.h"

namespace {

constexpr int cyclesPerDot = 10;

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

}  // namespace

void growEmbryo() {
  readIntoStructs();
  attractionFactor = kh_input;
  repulsionFactor = kr_input;
  std::printf("attractionFactor %d\n", attractionFactor);
  std::printf("repulsionFactor %d\n", repulsionFactor);
  totalCycles = 0;
  // The results go beside the input; a folder that takes none is found before the cycles.
  checkResultFolder(outputName(".3dv"));
  std::optional<snapshotSeries> series;
  if (snapshotInterval > 0) series.emplace(snapshotStem(), snapshotInterval, runParameters());
  if (series) series->loaded();
  for (int j = 0; j < numGrowthCycles; ++j) {
    if (j % cyclesPerDot == 0) std::fputc('.', stderr);
    growthCycle();
    if (series) series->cycleDone(j + 1);
  }
  recalcNorms();
  // Before write3DV, which rescales the store: snapshots show it unscaled.
  if (series) series->finished(numGrowthCycles);
  formOutputNames();
  // write3DV rescales the store in place, so the OBJ and template show the rescaled mesh.
  write3DV();
  writeOBJ();
  std::fprintf(stderr, "done\n");
}

void batchRun() {
  int seed = 0;
  int previousSeed = 0;
  for (int e = 1; e <= batches; ++e) {
    std::fprintf(stderr, "Embryo %d\n", e);
    seed = waitForNewSecond(previousSeed);
    std::srand(static_cast<unsigned>(seed));
    growEmbryo();
    previousSeed = seed;
  }
  std::fflush(stdout);
  std::exit(0);
}
