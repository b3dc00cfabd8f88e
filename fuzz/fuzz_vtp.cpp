// Arbitrary bytes as a .vtp snapshot: the reader must refuse them with a message that
// names the file, or give a mesh every later step can trust.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "io/vtpread.h"

namespace {

// fuzz_check.h brings in the simulation store, which morphview does not link.
void fuzzCheck(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  const view::MeshLoad load = view::parseVtp(bytes, "fuzz.vtp");
  if (!load.ok()) {
    fuzzCheck(load.error.rfind("fuzz.vtp: ", 0) == 0, "message does not name the file");
    fuzzCheck(load.mesh.points.empty() && load.mesh.faces.empty(), "a refused file left a mesh");
    return 0;
  }
  const view::Mesh& m = load.mesh;
  fuzzCheck(!m.points.empty() && !m.faces.empty(), "accepted an empty mesh");
  fuzzCheck(m.levels.empty() || m.levels.size() == m.points.size(), "levels do not match the points");
  const int points = static_cast<int>(m.points.size());
  for (const auto& f : m.faces) {
    for (int corner : f) fuzzCheck(corner >= 0 && corner < points, "corner names no point");
  }
  if (m.thresholds) {
    for (int t : *m.thresholds) fuzzCheck(t >= 0 && t <= 255, "threshold outside 0..255");
  }
  return 0;
}
