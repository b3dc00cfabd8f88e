#include <cstdio>
#include <cstring>
#include <new>

#include "batch.h"
#include "sweepwords.h"
#include "fastforces.h"
#include "checkpointing.h"
#include "fail.h"
#include "rules.h"
#include "inputhint.h"
#include "signalsetup.h"
#include "threads.h"
#include "version.h"

namespace {

constexpr const char* help =
    "usage: morphsweep -n growthCycles -m modificationCount -t templateSwitch\n"
    "                  -r redLifespan redThreshold redSecretor\n"
    "                  -g greenLifespan greenThreshold greenSecretor\n"
    "                  -b blueLifespan blueThreshold blueSecretor\n"
    "                  -kr repulsion -kh attraction inputTemplate [-v cycles]\n"
    "                  [--checkpoint N] [--resume FILE]\n"
    "       morphsweep --resume FILE [--checkpoint N]\n"
    "       morphsweep --help | --version | --unit\n"
    "\n"
    "Runs one point of a parameter sweep: grows the mesh of inputTemplate, a 3DV template,\n"
    "for growthCycles cycles without splitting, and writes the result beside the input as\n"
    "3DV, OBJ and (templateSwitch not 0) 3DV template, each named after the input and every\n"
    "parameter of the run.\n"
    "\n"
    "The 23 words sit at fixed positions; a flag matches on its first two characters, in\n"
    "either case (-n, -N, -nx), and a value's meaning comes from its position alone.\n"
    "Numbers are read like C's atoi: a word without leading digits is 0.\n"
    "  -n growthCycles       growth cycles; below 1 becomes 1\n"
    "  -m modificationCount  carried into the result names only; below 1 becomes 1\n"
    "  -t templateSwitch     0: no template result; any other value: write one\n"
    "  -r redLifespan redThreshold redSecretor\n"
    "                        red morphogen: episode lifespan (low 16 bits; 0 or below is\n"
    "                        renewed on a surface of more than 500 triangles), growth\n"
    "                        threshold (low 8 bits) and secreting vertex (low 16 bits, -1 none)\n"
    "  -g greenLifespan greenThreshold greenSecretor   green morphogen, likewise\n"
    "  -b blueLifespan blueThreshold blueSecretor      blue morphogen, likewise\n"
    "  -kr repulsion         repulsion factor (shown after 'kh.' in the result names)\n"
    "  -kh attraction        attraction factor (shown after 'kr.' in the result names)\n"
    "  inputTemplate         the starting template; the results go into its folder\n"
    "  -v cycles             also write snapshots <stem>.c<cycle>.vtp after cycle 0, every so\n"
    "                        many cycles and the last, listed in <stem>.pvd (<stem>: the 3DV\n"
    "                        result's name without .3dv)\n"
    "  --checkpoint N        after the 23 words: keep <stem>.ckpt, rewritten every N cycles;\n"
    "                        SIGUSR1 or SIGTERM then stop the run after its cycle (status 75),\n"
    "                        Ctrl-C too (status 130; a second one at once)\n"
    "  --resume FILE         go on from checkpoint FILE: after the same 23 words, or alone (the\n"
    "                        words it recorded are taken and printed)\n"
    "  --help                this text (the one word of the command line)\n"
    "  --version             the release and the commit built (likewise)\n"
    "  --unit                the vector unit the relaxation kernel takes on this processor:\n"
    "                        scalar, avx2 or avx512 (likewise)\n"
    "\n"
    "Example: 60 cycles of the bundled example template, repulsion 4 and attraction 1:\n"
    "  morphsweep -n 60 -m 1 -t 1 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 4 -kh 1 start.3dv\n"
    "\n"
    "Environment: OMP_NUM_THREADS sets the threads (the results are the same for any count);\n"
    "idle threads wait passively unless OMP_WAIT_POLICY or GOMP_SPINCOUNT says otherwise.\n"
    "Exit status: 0 done; 1 command line refused; 2 an input or result file failed;\n"
    "3 out of memory or the mesh store would overflow; 75 stopped with its checkpoint written\n"
    "(130 after Ctrl-C).\n";

}  // namespace

int main(int argc, char** argv) {
  setProgramName("morphsweep");
  // Both words are refused as a run's command line, so alone they can mean this.
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) return printInfo(help);
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) return printInfo(versionText("morphsweep"));
  if (argc == 2 && std::strcmp(argv[1], "--unit") == 0) {
    return printInfo(std::string(vectorUnitName(programVectorUnit())) + "\n");
  }
  preferPassiveWaiting(argv);
  // "--resume FILE" alone goes on with the run the checkpoint records.
  recordedCommandLine recorded;
  if (const int status = takeRecordedCommandLine(argc, argv, sweepRules, recorded)) return status;
  SweepRun run;
  if (const int status = parseCommandLine(argc, argv, run)) return status;
  setFailureHint([input = run.input](const std::string& message) { return resultGivenHint(input, message); });
  installTemporaryCleanup();
  if (run.checkpoints.interval > 0) installCheckpointSignals();
  startThreads();
  try {
    batchRun(run);
  } catch (const runError& error) {
    return reportRunError(error);
  } catch (const std::bad_alloc&) {
    return reportRunError(runError(failure::memory, "out of memory"));
  }
  return 0;
}
