#include "batch.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <thread>

#include "failure.h"
#include "mechanics.h"
#include "meshio.h"
#include "seedfile.h"
#include "signalling.h"

int batches = 1;
int batchCycles = 1;

namespace {

constexpr int forceStepsPerCycle = 20;
constexpr int cyclesPerDot = 10;

int refuseCommandLine() {
  std::fprintf(stderr, "Unrecognized command\n");
  std::fprintf(stderr, "Allowable parameters: \n");
  std::fprintf(stderr, "-b batchCount cycleCount\n");
  return exitBadCommandLine;
}

// The first second that differs from the previous embryo's seed. Short sleeps instead
// of spinning; each check still sees a new second within a few milliseconds of it.
int waitForNewSecond(int previousSeed) {
  int seed = previousSeed;
  for (;;) {
    seed = static_cast<int>(std::time(nullptr));
    if (seed != previousSeed) return seed;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

int parseCommandLine(int argc, char** argv) {
  batches = 1;
  batchCycles = 1;
  int i = 1;
  while (i < argc) {
    if (std::strncmp(argv[i], "-b", 2) != 0 && std::strncmp(argv[i], "-B", 2) != 0) return refuseCommandLine();
    // A flag must bring both counts; nothing past the last word is read.
    if (argc - i < 3) return refuseCommandLine();
    batches = std::atoi(argv[i + 1]);
    batchCycles = std::atoi(argv[i + 2]);
    i += 3;
    if (batches < 0) {
      std::fprintf(stderr, "batches must be non-negative, setting to 0\n");
      batches = 0;
    }
    if (batchCycles < 0) {
      std::fprintf(stderr, "batch cycle count must be non-negative, setting to 1\n");
      batchCycles = 1;
    }
  }
  return 0;
}

void growthCycle(int j) {
  if (j % cyclesPerDot == 0) std::fprintf(stderr, ".");
  ++totalCycles;
  // Taken before the growth step, so it reflects the surface as the cycle found it.
  const int k = static_cast<int>(std::sqrt(static_cast<double>(numTriangles)));
  hormoneGrow();
  for (int step = 0; step < forceStepsPerCycle; ++step) forces();
  for (int step = 0; step < k; ++step) diffuse();
}

void growEmbryo(int cycles) {
  lifeSpanR = 0;
  lifeSpanG = 0;
  lifeSpanB = 0;
  totalCycles = 0;
  for (int j = 0; j < cycles; ++j) growthCycle(j);
  recalcNorms();
}

void runBatches() {
  int seed = 0;
  int previousSeed = 0;
  for (int e = 1; e <= batches; ++e) {
    std::fprintf(stderr, "Embryo %d\n", e);
    seed = waitForNewSecond(previousSeed);
    std::srand(static_cast<unsigned>(seed));
    std::fprintf(stderr, "seed: %d\n", seed);
    std::string seedPath = seedFileName;
    readIntoStructs(seedPath.data());
    growEmbryo(batchCycles);
    std::snprintf(outName, sizeof outName, "embryo.%d.3dv", seed);
    write3DV();
    std::fprintf(stderr, "done\n");
    previousSeed = seed;
  }
}

void batchRun() {
  runBatches();
  std::exit(0);
}
