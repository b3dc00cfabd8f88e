// What the store benchmarks share: the store split towards a size, the best of several
// timed runs, and the machine's load beside the figures.
#pragma once

#include <algorithm>
#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "embryostate.h"
#include "forces_detail.h"
#include "seedfile.h"
#include "signalling.h"
#include "topology.h"

// Splits triangles of `e` in list order, every one of the list once per round, until
// `target` vertices exist or the rounds are done.
inline void splitUntil(Embryo& e, int target, int rounds) {
  for (int round = 0; round < rounds && e.numVertices + 3 <= target; ++round) {
    std::vector<triangle*> list;
    for (triangle* t = e.headTriangle; t; t = t->next) list.push_back(t);
    for (triangle* t : list) {
      if (e.numVertices + 3 > target) break;  // a split adds up to three
      splitTriangle(e, t);
    }
  }
}

// The benchmarks' store: the seed split all over five times, then triangle by triangle until
// the vertex array is all but full (2,000 vertices for `quick`), relaxed for one cycle's
// worth of steps, with the three morphogens diffused over it. The seed file's error if any.
inline std::optional<std::string> buildBenchStore(Embryo& e, const char* seedFile, bool quick) {
  if (auto error = loadSeed(e, seedFile)) return error;
  e.random.seed(20261208);
  // The array's last slot stays free: 29,999 vertices is as full as growth gets.
  const int target = quick ? 2000 : subdivisionVertexLimit(e);
  splitUntil(e, 5, 5);
  splitUntil(e, target, 20);
  e.totalCycles = 1;
  for (int step = 0; step < 20; ++step) forces(e);
  for (int step = 0; step < 60; ++step) diffuse(e);
  return std::nullopt;
}

// The shortest of `runs` runs of `step`, in seconds.
template <typename Step>
double bestTime(Step step, int runs) {
  double best = 1e30;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    step();
    best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  }
  return best;
}

inline double loadAverage() {
  std::ifstream in("/proc/loadavg");
  double load = -1;
  in >> load;
  return load;
}
