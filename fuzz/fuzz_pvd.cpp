// Arbitrary bytes as a .pvd series: refused with a message that names the file, or a list
// of steps with strictly increasing timesteps and a file each.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/seriesread.h"

namespace {

// fuzz_check.h brings in the simulation store, which morphview does not link.
void fuzzCheck(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const view::SeriesLoad load = view::parseSeries(text, "runs/fuzz.pvd");
  if (!load.ok()) {
    fuzzCheck(load.error.rfind("runs/fuzz.pvd: ", 0) == 0, "message does not name the file");
    fuzzCheck(load.steps.empty(), "a refused series left steps");
    return 0;
  }
  fuzzCheck(!load.steps.empty(), "accepted an empty series");
  for (std::size_t i = 0; i < load.steps.size(); ++i) {
    fuzzCheck(std::isfinite(load.steps[i].timestep), "timestep not finite");
    fuzzCheck(i == 0 || load.steps[i].timestep > load.steps[i - 1].timestep, "timesteps do not increase");
    fuzzCheck(!load.steps[i].file.empty(), "a step without a file");
  }
  return 0;
}
