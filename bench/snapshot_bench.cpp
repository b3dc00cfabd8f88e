// Times writing one 30,000-vertex snapshot against one relaxation step on the same store
// in the same run, and reports the file's size: the programs' way, on one thread, and plain
// LZ77 for every array at several zlib levels.
// The store: the seed icosahedron split all over five times and then triangle by triangle
// until the vertex array is all but full (so that pending mid-points remain, as in growth),
// relaxed for one cycle's worth of steps, with the three morphogens diffused over it.
// Usage: snapshot_bench [--quick]   (--quick: a small store, one run each; for the tests)

#include <omp.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "forces_detail.h"
#include "mechanics.h"
#include "seedfile.h"
#include "signalling.h"
#include "snapshot.h"
#include "topology.h"
#include "bench_store.h"

namespace {

// The embryo every measurement here steps.
Embryo E(seedRules);

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  if (argc > 2 || (argc == 2 && !quick)) {
    std::fprintf(stderr, "usage: snapshot_bench [--quick]\n");
    return 2;
  }
  if (const auto error = buildBenchStore(E, SEED_FILE, quick)) {
    std::fprintf(stderr, "%s\n", error->c_str());
    return 2;
  }
  for (triangle* t = E.headTriangle; t; t = t->next) t->age = static_cast<unsigned short>(E.random.next() % 40);
  int pending = 0;
  for (int i = 0; i < E.numVertices; ++i) pending += E.vertex[i].parentA != -1;
  std::printf("store: %d vertices (%d pending mid-points), %d triangles; %d threads; load average %.2f\n", E.numVertices,
              pending, E.numTriangles, omp_get_max_threads(), loadAverage());

  const std::vector<vertex_struct> saved(E.vertex.begin(), E.vertex.begin() + E.numVertices);
  const int runs = quick ? 1 : 7;
  const auto stepTime = [&] {
    const double best = bestTime([] { forces(E); }, runs);
    std::copy(saved.begin(), saved.end(), E.vertex.begin());
    return best;
  };
  const double step = stepTime();
  std::printf("one relaxation step forces(): %8.2f ms (best of %d), early in a run (cycle 1)\n", step * 1e3, runs);
  // Late in a long run the cut-off has shrunk and the grid hands each vertex only its close
  // ones; the same store spread out so that about 30 vertices lie within it, as in
  // forces_bench's wide case, gives the cheapest step a 30,000-vertex embryo can take.
  E.totalCycles = 600;
  const double cutoff = std::sqrt(static_cast<double>(forceStepSettings(E).cutoff2));
  double radius = 0;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    radius = std::max(radius, std::sqrt(static_cast<double>(v.x * v.x + v.y * v.y + v.z * v.z)));
  }
  const float spread = static_cast<float>(cutoff * std::sqrt(E.numVertices / 120.0) / radius);
  std::vector<vertex_struct> wide = saved;
  for (vertex_struct& v : wide) v.x *= spread, v.y *= spread, v.z *= spread;
  std::copy(wide.begin(), wide.end(), E.vertex.begin());
  const double lateStep = bestTime([] { forces(E); }, runs);
  std::printf(
      "one relaxation step forces(): %8.2f ms (best of %d), late in a run (cycle 600, ~30 within the cut-off)\n",
      lateStep * 1e3, runs);
  // A growth cycle is 20 steps and as many diffusion steps as the root of the triangle count.
  const int diffusions = static_cast<int>(std::sqrt(static_cast<double>(E.numTriangles)));
  const double diffusion = bestTime([] { diffuse(E); }, runs);
  const double lateCycle = 20 * lateStep + diffusions * diffusion;
  std::printf("one late growth cycle:          %8.2f ms (20 late steps and %d diffusion steps of %.2f ms)\n",
              lateCycle * 1e3, diffusions, diffusion * 1e3);
  std::copy(saved.begin(), saved.end(), E.vertex.begin());
  E.totalCycles = 1;

  const std::filesystem::path file =
      std::filesystem::temp_directory_path() / ("snapshot_bench." + std::to_string(getpid()) + ".vtp");
  const std::vector<int> born(static_cast<std::size_t>(E.numVertices), 0);
  const std::vector<snapshotField> facts{{"seed", {20261208}}};
  bool sound = true;
  // The programs' way first, then on one thread (on a loaded machine a second thread can
  // cost more than it gives), then every array plain LZ77 as before, at each level.
  struct setting {
    int level;
    bool tuned;
    int threads;
    const char* label;
  };
  const int threads = omp_get_max_threads();
  std::vector<setting> settings{{1, true, threads, "  <- the programs' way"}};
  if (!quick) {
    settings.push_back({1, true, 1, ", 1 thread"});
    for (const int level : {1, 3, 6, 9}) settings.push_back({level, false, threads, ", all LZ77"});
  }
  for (const setting& s : settings) {
    omp_set_num_threads(s.threads);
    const snapshotCoding coding{s.level, s.tuned};
    const double write = bestTime([&] { writeSnapshot(E, file.string(), 1, born, facts, coding); }, runs);
    const auto bytes = std::filesystem::file_size(file);
    std::printf(
        "snapshot, zlib level %d, %s%s:\n  %8.2f ms (best of %d), %.3f MB (%.1f bytes per vertex); "
        "%.2f of an early step, %.2f of a late one, %.3f of a late cycle\n",
        s.level, s.tuned ? "strategy per array" : "plain", s.label, write * 1e3, runs, static_cast<double>(bytes) / 1e6,
        static_cast<double>(bytes) / E.numVertices, write / step, write / lateStep, write / lateCycle);
    sound = sound && bytes > 0;
  }
  omp_set_num_threads(threads);
  std::filesystem::remove(file);
  std::printf("load average %.2f\n", loadAverage());
  return sound ? 0 : 1;
}
