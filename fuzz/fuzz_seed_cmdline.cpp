// Arbitrary morphseed command lines: refused with status 1, or leaving counts, a template
// switch and a seed range that a run can use.
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>

#include "batch.h"
#include "commandline.h"
#include "fuzz_check.h"
#include "fuzz_words.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzCommandLine line("morphseed", data, size);
  SeedRun run;
  const int status = parseCommandLine(line.argc(), line.argv.data(), run);
  const int batches = run.batches, batchCycles = run.batchCycles;
  const std::optional<int>& firstSeed = run.firstSeed;
  fuzzCheck(status == 0 || status == 1, "status other than 0 or 1");
  if (status != 0) return 0;
  fuzzCheck(batches >= 0 && batchCycles >= 0, "a negative count was kept");
  fuzzCheck(run.writeEmbryoTemplate == 0 || run.writeEmbryoTemplate == 1, "template switch other than 0 or 1");
  fuzzCheck(run.snapshotInterval >= 0, "a negative snapshot interval");
  if (firstSeed) {
    // Every embryo of the batch needs a seed of its own within the int range.
    fuzzCheck(*firstSeed >= 0, "a negative first seed");
    fuzzCheck(batches == 0 || static_cast<long long>(*firstSeed) + batches - 1 <= std::numeric_limits<int>::max(),
              "a batch whose last seed passes the int range");
  }
  return 0;
}
