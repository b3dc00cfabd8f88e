// Times writing one checkpoint of a 30,000-vertex embryo against one relaxation step on the
// same store, early in a run (all pairs) and late in one (the grid), and compares the
// checkpoint's size with the bytes the live store holds.
// The store: the seed icosahedron split all over five times and then triangle by triangle
// until the vertex array is all but full (so that pending mid-points remain, as in growth),
// relaxed for one cycle's worth of steps, with the three morphogens diffused over it.
// Usage: checkpoint_bench [--quick]   (--quick: a small store, one run each; for the tests)

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
#include "checkpoint.h"
#include "checkpointing.h"
#include "topology.h"
#include "bench_store.h"

namespace {

// The embryo every measurement here steps.
Embryo E(seedRules);

// What the store holds in memory: every slot of the vertex array, the triangles, and the
// dependent arrays' room.
double liveBytes() {
  double bytes = static_cast<double>(E.capacity()) * sizeof(vertex_struct) + E.numTriangles * sizeof(triangle);
  for (const vertex_struct& v : E.vertex) bytes += 2.0 * v.maxDependents * sizeof(short);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  if (argc > 2 || (argc == 2 && !quick)) {
    std::fprintf(stderr, "usage: checkpoint_bench [--quick]\n");
    return 2;
  }
  if (const auto error = buildBenchStore(E, SEED_FILE, quick)) {
    std::fprintf(stderr, "%s\n", error->c_str());
    return 2;
  }
  std::printf("store: %d vertices, %d triangles; %d threads; load average %.2f\n", E.numVertices, E.numTriangles,
              omp_get_max_threads(), loadAverage());

  const int runs = quick ? 1 : 7;
  const std::vector<vertex_struct> saved(E.vertex.begin(), E.vertex.begin() + E.numVertices);
  E.forceOptions.search = pairSearch::allPairs;
  const double early = bestTime([] { forces(E); }, runs);
  std::copy(saved.begin(), saved.end(), E.vertex.begin());
  // Late: the cut-off of cycle 600 and the store spread so that about 30 vertices lie within
  // it, the grid's cheapest step (as snapshot_bench).
  E.forceOptions.search = pairSearch::grid;
  E.totalCycles = 600;
  const double cutoff = std::sqrt(static_cast<double>(forceStepSettings(E).cutoff2));
  double radius = 0;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    radius = std::max(radius, std::sqrt(static_cast<double>(v.x * v.x + v.y * v.y + v.z * v.z)));
  }
  const float spread = static_cast<float>(cutoff * std::sqrt(E.numVertices / 120.0) / radius);
  for (int i = 0; i < E.numVertices; ++i) E.vertex[i].x *= spread, E.vertex[i].y *= spread, E.vertex[i].z *= spread;
  const double late = bestTime([] { forces(E); }, runs);

  // A checkpoint as a run with snapshots takes it: the store, the command line, the series.
  checkpointRun run{"morphseed", "bench", {"-s", "1", "-b", "1", "600", "-v", "10"}, 1, 1, 0, 600, true,
                    std::vector<int>(static_cast<std::size_t>(E.numVertices), 0), {0, 10, 20}};
  const std::string file = (std::filesystem::temp_directory_path() / ("checkpoint_bench." + std::to_string(getpid()) + ".ckpt")).string();
  std::size_t size = 0;
  const double encode = bestTime([&] { size = encodeCheckpoint(E, run).size(); }, runs);
  const double write = bestTime([&] { writeCheckpoint(file, E, run); }, runs);
  std::filesystem::remove(file);
  // What a run waits for: the programs' keeper encodes between cycles and leaves the write,
  // flush and rename to a thread of its own (waited for here outside the timing).
  const checkpointSettings every{1, "", run.words};
  checkpointKeeper keeper(every, file, run);
  double waited = 1e30;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    keeper.cycleDone(E, 600 + r, 1000000, nullptr);
    waited = std::min(waited, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    keeper.resultWritten();
  }
  Embryo back(seedRules);
  const double read = bestTime([&] { back = Embryo(seedRules); decodeCheckpoint(encodeCheckpoint(E, run), "bench", back); }, runs);
  const double live = liveBytes();
  std::printf("one relaxation step, early (cycle 1, all pairs): %8.2f ms (best of %d)\n", early * 1e3, runs);
  std::printf("one relaxation step, late (cycle 600, grid):     %8.2f ms\n", late * 1e3);
  std::printf("checkpoint encoded in memory:                    %8.2f ms\n", encode * 1e3);
  std::printf("checkpoint written (temporary, fsync, rename):   %8.2f ms: %.3f of an early step, %.3f of a late one\n",
              write * 1e3, write / early, write / late);
  std::printf("checkpoint as a run waits for it (encoded; written on its own thread): %5.2f ms: %.3f of an early step, "
              "%.3f of a late one\n",
              waited * 1e3, waited / early, waited / late);
  std::printf("checkpoint read and checked (with the encode):   %8.2f ms\n", read * 1e3);
  std::printf("checkpoint size %.3f MB; live store %.3f MB (%d slots); ratio %.2f\n", size / 1e6, live / 1e6,
              E.capacity(), size / live);
  std::printf("load average %.2f\n", loadAverage());
  return size > 0 && back.numVertices == E.numVertices ? 0 : 1;
}
