// Arbitrary morphsweep command lines: refused with status 1, or stored so that every
// result name the run may form fits its buffer, whatever red lifespan the run renews to.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "batch.h"
#include "commandline.h"
#include "fuzz_check.h"
#include "fuzz_words.h"
#include "meshio.h"
#include "outnames.h"
#include "outputnames.h"
#include "signalling.h"

namespace {

void resetParameters() {
  numGrowthCycles = modificationCount = 1;
  writeTemplateFile = 1;
  lifeSpanR = lifeSpanG = lifeSpanB = 0;
  thresholdR = thresholdG = thresholdB = 255;
  secretorR = secretorG = secretorB = -1;
  kr_input = kh_input = 0;
  inputFile = nullptr;
  outName_objFile[0] = outName_3dvFile[0] = outName_3dvTemplateFile[0] = '\0';
}

// formOutputNames ends the run when a name does not fit; here that exit is a finding.
void checkNamesFit() {
  formOutputNames();
  fuzzCheck(std::strlen(outName_3dvFile) < outNameSize && std::strlen(outName_objFile) < outNameSize,
            "result name past its buffer");
  fuzzCheck(static_cast<long long>(outputName(writeTemplateFile ? ".3dvTemplate" : ".3dv").size()) <=
                longestOutputNameLength(),
            "a name longer than the length checked up front");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  resetParameters();
  FuzzCommandLine line("morphsweep", data, size);
  const int status = parseCommandLine(line.argc(), line.argv.data());
  fuzzCheck(status == 0 || status == 1, "status other than 0 or 1");
  if (status != 0) return 0;
  fuzzCheck(line.argc() == 24 || line.argc() == 26, "accepted a command line that is not 23 words (+ -v N)");
  fuzzCheck((line.argc() == 26) == (snapshotInterval >= 1), "a snapshot interval without -v N, or one below 1");
  if (snapshotInterval >= 1) {
    const std::string last = snapshotStem(Embryo(sweepRules)) + ".c" + std::to_string(numGrowthCycles) + ".vtp";
    fuzzCheck(static_cast<long long>(last.size()) <= longestSnapshotNameLength(),
              "a snapshot name longer than the length checked up front");
  }
  fuzzCheck(inputFile == line.argv[23], "inputFile is not the last word");
  fuzzCheck(numGrowthCycles >= 1 && modificationCount >= 1, "a count below 1 was kept");
  const long long checkedLength = longestOutputNameLength();
  checkNamesFit();
  // Each cycle of a large enough surface renews a red lifespan of 0 or below; the names
  // are formed after the last cycle, so every value it can pass through must fit.
  for (int renewal = 0; renewal < 64 && lifeSpanR <= 0; ++renewal) {
    lifeSpanR = renewedRedLifespan(lifeSpanR, thresholdR);
    fuzzCheck(static_cast<long long>(outputName(writeTemplateFile ? ".3dvTemplate" : ".3dv").size()) <= checkedLength,
              "a renewed red lifespan lengthens the names past the checked length");
    checkNamesFit();
  }
  return 0;
}
