// Arbitrary bytes as an OBJ file, measured: every mesh the reader accepts must measure
// without a sanitizer report, and the counts and sums must stay within their bounds.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "measure/measures.h"
#include "measure/table.h"

namespace {

void check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const view::MeshLoad load = view::parseMesh(text, view::MeshFormat::obj, "fuzz.obj");
  if (!load.ok()) return 0;
  const stats::Measures m = stats::measure(load.mesh);
  check(m.area >= 0 && std::isfinite(m.area), "area negative or not finite");
  check(!std::isnan(m.volume), "volume is NaN");
  check(m.tJunctions >= 0 && m.tJunctions <= m.vertices, "T-junctions negative or more than points");
  check(std::isfinite(m.angleDefect) && m.angleDefect * 2 == std::floor(m.angleDefect * 2),
        "angle defect not a whole or half number");
  check(m.surfaceFaults == m.faults.total() && m.surfaceFaults <= 2 * m.vertices + 4 * m.triangles,
        "surface faults out of their bounds");
  check(stats::measureFields(m).size() == stats::measureColumns().size(), "a row with the wrong field count");
  return 0;
}
