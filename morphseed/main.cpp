#include <cstdio>
#include <cstring>
#include <new>

#include "batch.h"
#include "commandline.h"
#include "checkpointing.h"
#include "fail.h"
#include "rules.h"
#include "signalsetup.h"
#include "threads.h"
#include "version.h"

namespace {

constexpr const char* help =
    "usage: morphseed [-b batchCount cycleCount] [-t 0|1] [-s seed] [-v cycles] [--seed-file PATH]\n"
    "                 [--episodes LIST] [--checkpoint N] [--resume FILE] ...\n"
    "       morphseed --help | --version\n"
    "\n"
    "Grows batchCount embryos of cycleCount growth cycles each (one of one cycle without\n"
    "words) from the seed surface in the file indexed_icosa of the working folder, and\n"
    "writes each there as embryo.<seed>.3dv.\n"
    "  -b batchCount cycleCount  embryos, and growth cycles per embryo; -B, or any word\n"
    "                            beginning with -b or -B, works too; counts are read like\n"
    "                            C's atoi; a negative count of embryos becomes 0, of cycles 1\n"
    "  -t 0|1                    1: also write each embryo as embryo.<seed>.3dvTemplate, a\n"
    "                            template morphsweep can start from (default 0)\n"
    "  -s seed                   the first embryo's seed (0..2147483647), later ones seed+1,\n"
    "                            ...; without it each embryo takes the clock second at its\n"
    "                            start, one second apart (use -s for batches run side by side)\n"
    "  -v cycles                 also write snapshots embryo.<seed>.c<cycle>.vtp after cycle 0,\n"
    "                            every so many cycles and the last, listed in embryo.<seed>.pvd\n"
    "  --seed-file PATH          read the seed surface from PATH instead of indexed_icosa in the\n"
    "                            working folder\n"
    "  --episodes LIST           values new episodes take instead of their draws: a comma list\n"
    "                            of colour.field=value or colour.field=lo..hi (colour red,\n"
    "                            green or blue; field lifespan, threshold or secretor), e.g.\n"
    "                            red.threshold=30,blue.lifespan=4..8; the result names carry\n"
    "                            them after the seed: embryo.<seed>.red-threshold30....3dv\n"
    "  --checkpoint N            keep embryo.<seed>.ckpt, rewritten every N cycles; SIGUSR1 or\n"
    "                            SIGTERM then stop the run after its cycle (status 75),\n"
    "                            Ctrl-C too (status 130; a second one at once)\n"
    "  --resume FILE             go on from checkpoint FILE: alone (its recorded command line is\n"
    "                            taken and printed), or with words that mean the same run\n"
    "  --help                    this text (the one word of the command line)\n"
    "  --version                 the release and the commit built (likewise)\n"
    "Flags may come in any order and be repeated; the last of each kind wins.\n"
    "\n"
    "Example: four embryos of 28 cycles from seed 1000 on, each with its template:\n"
    "  morphseed -t 1 -s 1000 -b 4 28\n"
    "\n"
    "Environment: OMP_NUM_THREADS sets the threads (the results are the same for any count);\n"
    "idle threads wait passively unless OMP_WAIT_POLICY or GOMP_SPINCOUNT says otherwise.\n"
    "Exit status: 0 done; 1 command line refused; 2 an input or result file failed;\n"
    "3 out of memory or the mesh store would overflow; 75 stopped with its checkpoint written\n"
    "(130 after Ctrl-C).\n";

}  // namespace

int main(int argc, char** argv) {
  setProgramName("morphseed");
  // Both words are refused as a run's command line, so alone they can mean this.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return printInfo(help);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return printInfo(versionText("morphseed"));
  preferPassiveWaiting(argv);
  // "--resume FILE" alone goes on with the run the checkpoint records.
  recordedCommandLine recorded;
  if (const int status = takeRecordedCommandLine(argc, argv, seedRules, recorded)) return status;
  SeedRun run;
  if (const int status = parseCommandLine(argc, argv, run)) return status;
  setFailureHint([path = run.seedFilePath](const std::string& message) { return seedFileHint(path, message); });
  installTemporaryCleanup();
  if (run.checkpoints.interval > 0) installCheckpointSignals();
  startThreads();
  try {
    runBatches(run);
  } catch (const runError& error) {
    return reportRunError(error);
  } catch (const std::bad_alloc&) {
    return reportRunError(runError(failure::memory, "out of memory"));
  }
  return 0;
}
