// Arbitrary morphseed command lines: refused with status 1, or leaving counts a run can use.
#include <cstddef>
#include <cstdint>

#include "batch.h"
#include "fuzz_check.h"
#include "fuzz_words.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  batches = 1;
  batchCycles = 1;
  FuzzCommandLine line("morphseed", data, size);
  const int status = parseCommandLine(line.argc(), line.argv.data());
  fuzzCheck(status == 0 || status == 1, "status other than 0 or 1");
  if (status == 0) fuzzCheck(batches >= 0 && batchCycles >= 0, "a negative count was kept");
  return 0;
}
