// Arbitrary morphsweep command lines: refused with status 1, or read so that every result
// name the run may form fits, whatever red lifespan the run renews to.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "fuzz_words.h"
#include "pointnames.h"
#include "signalling.h"
#include "sweepwords.h"

namespace {

// The result names of `run` showing the red lifespan `red`: each must fit the name limit
// and none may be longer than the length checked up front.
void checkNamesFit(const SweepRun& run, short red, long long checkedLength) {
  for (const char* ending : {".obj", ".3dv", ".3dvTemplate"}) {
    if (!run.values.templateSwitch && std::strcmp(ending, ".3dvTemplate") == 0) continue;
    fuzzCheck(outputName(run, red, ending).size() < static_cast<std::size_t>(outNameSize), "result name past its limit");
  }
  fuzzCheck(static_cast<long long>(outputName(run, red, run.values.templateSwitch ? ".3dvTemplate" : ".3dv").size()) <=
                checkedLength,
            "a name longer than the length checked up front");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzCommandLine line("morphsweep", data, size);
  SweepRun run;
  const int status = parseCommandLine(line.argc(), line.argv.data(), run);
  fuzzCheck(status == 0 || status == 1, "status other than 0 or 1");
  if (status != 0) return 0;
  fuzzCheck(line.argc() == 24 || line.argc() == 26, "accepted a command line that is not 23 words (+ -v N)");
  fuzzCheck((line.argc() == 26) == (run.snapshotInterval >= 1), "a snapshot interval without -v N, or one below 1");
  if (run.snapshotInterval >= 1) {
    const std::string last = outputName(run, finalRedLifespan(run, 0), "") + ".c" +
                             std::to_string(run.values.growthCycles) + ".vtp";
    fuzzCheck(static_cast<long long>(last.size()) <= longestSnapshotNameLength(run),
              "a snapshot name longer than the length checked up front");
  }
  fuzzCheck(run.input == line.argv[23], "the input is not the last word");
  fuzzCheck(run.values.growthCycles >= 1 && run.values.modificationCount >= 1, "a count below 1 was kept");
  const long long checkedLength = longestOutputNameLength(run);
  Morphogen red = run.settings().red;
  checkNamesFit(run, red.lifespan, checkedLength);
  // Each cycle of a large enough surface renews a red lifespan of 0 or below; the names
  // are formed after the last cycle, so every value it can pass through must fit.
  for (int renewal = 0; renewal < 64 && red.lifespan <= 0; ++renewal) {
    red.lifespan = renewedRedLifespan(red.lifespan, red.threshold);
    checkNamesFit(run, red.lifespan, checkedLength);
  }
  return 0;
}
