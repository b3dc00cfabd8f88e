// Times the plain relaxation step, the previous fast kernel (kept here only, as the
// yardstick) and the current one on the same meshes and checks that all agree bit for bit:
// (a) a compact mesh, every pair within the cut-off; (b) a mesh wide compared with the
// cut-off; (c) one whole embryo grown each way; (d) the kernel's close-pair rate against
// the divider's measured peak; (e) the compact mesh again while another process keeps one
// core busy. Ends with one summary line of ratios.
// Usage: forces_bench [--quick]   (exit status 1 when any result differs)

#include <omp.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <numeric>
#include <random>
#include <string>
#include <vector>

#include "batch.h"
#include "fastforces.h"
#include "growth.h"
#include "mechanics.h"
#include "meshio.h"
#include "peak.h"
#include "previous_forces.h"
#include "seedfile.h"
#include "signalling.h"
#include "threads.h"

namespace {

// The embryo every measurement here steps.
Embryo E(seedRules);

using stopwatch = std::chrono::steady_clock;

double secondsSince(stopwatch::time_point start) {
  return std::chrono::duration<double>(stopwatch::now() - start).count();
}

std::vector<vertex_struct> saveStore() { return {E.vertex.begin(), E.vertex.begin() + E.numVertices}; }

void restoreStore(const std::vector<vertex_struct>& saved) {
  std::copy(saved.begin(), saved.end(), E.vertex.begin());
  E.numVertices = static_cast<int>(saved.size());
}

// Everything a step writes, as bit patterns.
std::vector<std::uint32_t> stepResult() {
  std::vector<std::uint32_t> r;
  r.reserve(4 * static_cast<std::size_t>(E.numVertices) + 1);
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    r.insert(r.end(), {std::bit_cast<std::uint32_t>(v.x), std::bit_cast<std::uint32_t>(v.y),
                       std::bit_cast<std::uint32_t>(v.z), v.updated});
  }
  r.push_back(std::bit_cast<std::uint32_t>(E.lengthScale));
  return r;
}

// n vertices, all free and placed, with a closed surface's triangle count.
void resetStore(int n) {
  E.numVertices = n;
  E.numTriangles = 2 * n - 4;  // a closed surface's count
  for (int i = 0; i < n; ++i) {
    vertex_struct& v = E.vertex[i];
    v.parentA = v.parentB = -1;
    v.numNeighbors = 6;
    v.numDependents = 0;
    v.updated = 1;
  }
}

// Every pair closer than the early cut-off: points in a ball of radius 0.7.
void makeCompactStore(int n, std::mt19937& rng) {
  resetStore(n);
  E.totalCycles = 1;
  std::uniform_real_distribution<float> coord(-0.7f, 0.7f);
  std::uniform_int_distribution<int> any(0, n - 1);
  for (int i = 0; i < n; ++i) {
    vertex_struct& v = E.vertex[i];
    do {
      v.x = coord(rng);
      v.y = coord(rng);
      v.z = coord(rng);
    } while (v.x * v.x + v.y * v.y + v.z * v.z > 0.49f);
    for (short& k : v.neighbors) k = static_cast<short>(any(rng));
  }
}

// Points spread evenly over a sphere sized so that each has about `closeNeighbours` others
// within the late cut-off, numbered in random order as growth leaves a mesh; the
// neighbour list joins each point to its neighbours along the spiral.
void makeWideStore(int n, int closeNeighbours, std::mt19937& rng) {
  resetStore(n);
  E.totalCycles = 600;
  const double cutoff = std::sqrt(static_cast<double>(forceStepSettings(E).cutoff2));
  const double radius = cutoff * std::sqrt(n / (4.0 * closeNeighbours));
  std::vector<int> slot(n);
  std::iota(slot.begin(), slot.end(), 0);
  std::shuffle(slot.begin(), slot.end(), rng);
  const double turn = M_PI * (3 - std::sqrt(5.0));
  for (int s = 0; s < n; ++s) {
    const double z = 1 - 2 * (s + 0.5) / n, r = std::sqrt(1 - z * z);
    vertex_struct& v = E.vertex[slot[s]];
    v.x = static_cast<float>(radius * r * std::cos(turn * s));
    v.y = static_cast<float>(radius * r * std::sin(turn * s));
    v.z = static_cast<float>(radius * z);
    const int along[6] = {-3, -2, -1, 1, 2, 3};
    for (int j = 0; j < 6; ++j) v.neighbors[j] = static_cast<short>(slot[(s + along[j] + n) % n]);
  }
}

struct stepComparison {
  double reference = 0, previous = 0, fast = 0;  // seconds per step
  bool identical = false;
  bool grid = false;
  long long tested = 0;
};

// Best time of a step run from the same store at least `minRuns` times and for at least
// `minSeconds` in total; leaves the store as the last run left it.
template <class Step>
double bestTime(const std::vector<vertex_struct>& start, Step step, int minRuns, double minSeconds) {
  double best = 1e300, total = 0;
  for (int run = 0; run < minRuns || total < minSeconds; ++run) {
    restoreStore(start);
    const auto t = stopwatch::now();
    step();
    const double s = secondsSince(t);
    best = std::min(best, s);
    total += s;
  }
  return best;
}

void previousStep() {
  E.forceOptions.pairSum = previous::pairForces;
  forcesFast(E);
  E.forceOptions.pairSum = nullptr;
}

// The previous and the current kernel are timed in alternation, so that a change in the
// machine's load falls on both.
stepComparison compareStep(bool quick, bool withReference = true) {
  const std::vector<vertex_struct> start = saveStore();
  stepComparison c;
  std::vector<std::uint32_t> want;
  if (withReference) {
    c.reference = bestTime(start, [] { forcesReference(E); }, 1, quick ? 0.05 : 0.5);
    want = stepResult();
  }
  c.previous = c.fast = 1e300;
  bool identical = true;
  for (int round = 0; round < 3; ++round) {
    c.previous = std::min(c.previous, bestTime(start, previousStep, 3, quick ? 0.02 : 0.3));
    if (want.empty()) want = stepResult();
    identical = identical && stepResult() == want;
    c.fast = std::min(c.fast, bestTime(start, [] { forcesFast(E); }, 3, quick ? 0.02 : 0.3));
    identical = identical && stepResult() == want;
  }
  c.identical = identical;
  c.grid = E.lastFastForces.grid;
  c.tested = E.lastFastForces.candidatePairs;
  restoreStore(start);
  return c;
}

bool allIdentical = true;

void printComparison(int n, const stepComparison& c) {
  std::printf("%8d  %12.3f  %11.3f  %10.3f  %8.1fx  %8.2fx  %-9s  %-9s  %10.0f\n", n, c.reference * 1e3,
              c.previous * 1e3, c.fast * 1e3, c.reference / c.fast, c.previous / c.fast, c.identical ? "yes" : "NO",
              c.grid ? "grid" : "all pairs", static_cast<double>(c.tested) / n);
  if (!c.identical) allIdentical = false;
}

void printHeader() {
  std::printf("%8s  %12s  %11s  %10s  %9s  %9s  %-9s  %-9s  %10s\n", "vertices", "reference ms", "previous ms",
              "fast ms", "vs ref", "vs prev", "identical", "search", "tested/vtx");
}

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool loadSeedFrom(const char* path) {
  if (const auto error = loadSeed(E, path)) {
    std::fprintf(stderr, "%s\n", error->c_str());
    return false;
  }
  return true;
}

struct growthRun {
  double seconds = 0;
  std::string file;
  std::vector<std::uint32_t> store;
};

enum class stepKind { reference, previous, fast };

growthRun growOnce(stepKind kind, unsigned seed, int cycles, const std::string& path) {
  E.forceOptions.reference = kind == stepKind::reference;
  E.forceOptions.pairSum = kind == stepKind::previous ? previous::pairForces : nullptr;
  E.random.seed(seed);
  growthRun run;
  if (!loadSeedFrom(SEED_FILE)) return run;
  const auto t = stopwatch::now();
  growEmbryo(E, cycles);
  run.seconds = secondsSince(t);
  write3DV(E, path.c_str());
  run.file = readFile(path);
  run.store = stepResult();
  E.forceOptions.reference = false;
  E.forceOptions.pairSum = nullptr;
  return run;
}

// (c): grows with the fast step until the embryo passes `target` vertices, then grows the
// same number of cycles from the same seed once more with each step (twice with each
// kernel) and compares; returns the previous kernel's best time over the current one's.
double endToEnd(int target) {
  const unsigned seed = 20240607;
  E.random.seed(seed);
  if (!loadSeedFrom(SEED_FILE)) {
    allIdentical = false;
    return 0;
  }
  // The cycle loop of growEmbryo, one cycle at a time to find when the target is passed.
  E.red.lifespan = E.green.lifespan = E.blue.lifespan = 0;
  E.totalCycles = 0;
  int cycles = 0;
  const int maxCycles = 5000;
  while (E.numVertices <= target && cycles < maxCycles) {
    if (cycles++ % 10 == 0) std::fputc('.', stderr);
    growthCycle(E);
  }
  std::fprintf(stderr, "\n");
  std::printf("seed %u: %d cycles bring the embryo to %d vertices (%d triangles)\n", seed, cycles, E.numVertices,
              E.numTriangles);

  char dirTemplate[] = "/tmp/forces_bench.XXXXXX";
  const char* dir = mkdtemp(dirTemplate);
  if (!dir) {
    std::printf("cannot make a folder for the result files\n");
    allIdentical = false;
    return 0;
  }
  const std::string fastPath = std::string(dir) + "/fast.3dv", previousPath = std::string(dir) + "/previous.3dv",
                    referencePath = std::string(dir) + "/reference.3dv";
  // Each kernel grows the embryo twice, in alternation, and the faster of its two runs
  // counts: a run on a shared virtual machine can take a fifth longer than the same run
  // just before it.
  growthRun fast = growOnce(stepKind::fast, seed, cycles, fastPath);
  std::fprintf(stderr, "\n");
  growthRun old = growOnce(stepKind::previous, seed, cycles, previousPath);
  std::fprintf(stderr, "\n");
  const growthRun fastAgain = growOnce(stepKind::fast, seed, cycles, fastPath);
  std::fprintf(stderr, "\n");
  const growthRun oldAgain = growOnce(stepKind::previous, seed, cycles, previousPath);
  std::fprintf(stderr, "\n");
  const bool repeatable = fastAgain.file == fast.file && oldAgain.file == old.file && fastAgain.store == fast.store &&
                          oldAgain.store == old.store;
  fast.seconds = std::min(fast.seconds, fastAgain.seconds);
  old.seconds = std::min(old.seconds, oldAgain.seconds);
  const growthRun reference = growOnce(stepKind::reference, seed, cycles, referencePath);
  std::fprintf(stderr, "\n");
  const bool sameFile = repeatable && !fast.file.empty() && fast.file == reference.file && old.file == reference.file;
  const bool sameStore = fast.store == reference.store && old.store == reference.store;
  std::printf(
      "reference %.2f s, previous %.2f s, fast %.2f s: %.1fx the reference, %.2fx the previous; result files "
      "(%zu bytes) %s; stores %s\n",
      reference.seconds, old.seconds, fast.seconds, reference.seconds / fast.seconds, old.seconds / fast.seconds,
      fast.file.size(), sameFile ? "byte-identical" : "DIFFER", sameStore ? "bit-identical" : "DIFFER");
  if (!sameFile || !sameStore) allIdentical = false;
  std::remove(fastPath.c_str());
  std::remove(previousPath.c_str());
  std::remove(referencePath.c_str());
  std::remove(dir);
  return old.seconds / fast.seconds;
}

// A child process that keeps one core busy until it is stopped.
struct busyCore {
  pid_t child = -1;
  busyCore() {
    child = fork();
    if (child == 0) {
      for (;;) asm volatile("" ::: "memory");
    }
  }
  busyCore(const busyCore&) = delete;
  busyCore& operator=(const busyCore&) = delete;
  ~busyCore() {
    if (child > 0) {
      kill(child, SIGKILL);
      waitpid(child, nullptr, 0);
    }
  }
};

// The 1-minute load average, so that a run says how busy the machine was (-1 if unknown).
double loadAverage() {
  std::ifstream in("/proc/loadavg");
  double load = -1;
  in >> load;
  return load;
}

const char* unitName(vectorUnit u) {
  switch (u) {
    case vectorUnit::avx512:
      return "AVX-512, 16 lanes";
    case vectorUnit::avx2:
      return "AVX2, 8 lanes";
    default:
      return "scalar";
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Timed as the programs run: idle threads wait passively unless the environment says
  // otherwise.
  preferPassiveWaiting(argv);
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  if (argc > 2 || (argc == 2 && !quick)) {
    std::fprintf(stderr, "usage: forces_bench [--quick]\n");
    return 2;
  }
  const std::vector<int> sizes = quick ? std::vector<int>{500, 2000} : std::vector<int>{1000, 10000, 30000};
  const int threads = omp_get_max_threads();
  const char* waiting = std::getenv("OMP_WAIT_POLICY");
  std::printf("fast step: %s, %d threads, idle threads wait %s; load average %.2f\n", unitName(widestVectorUnit()),
              threads, waiting ? waiting : "as the runtime's default", loadAverage());
  std::mt19937 rng(42);

  std::printf("\n(a) compact mesh, every pair within the cut-off (squared cut-off 2.0)\n");
  printHeader();
  double compactFast = 0, compactReference = 0, compactPrevious = 0;
  int compactN = 0;
  for (const int n : sizes) {
    makeCompactStore(n, rng);
    const stepComparison c = compareStep(quick);
    printComparison(n, c);
    compactFast = c.fast;
    compactPrevious = c.previous;
    compactReference = c.reference;
    compactN = n;
  }

  std::printf("\n(b) mesh wide compared with the cut-off (cycle 600, squared cut-off 0.0625, ~30 close per vertex)\n");
  printHeader();
  double wideRatio = 0;
  for (const int n : sizes) {
    makeWideStore(n, 30, rng);
    const stepComparison c = compareStep(quick);
    printComparison(n, c);
    wideRatio = c.previous / c.fast;
  }

  std::printf("\n(c) one morphseed embryo grown with each step\n");
  const double embryoRatio = endToEnd(quick ? 300 : 10000);

  std::printf("\n(d) close pairs per second (1 division + 1 square root per unordered pair), at %d vertices of (a)\n",
              compactN);
  const double closePairs = static_cast<double>(compactN) * (compactN - 1);
  const dividerPeak vectorPeak = measureDividerPeak(widestVectorUnit(), threads);
  const dividerPeak scalarPeak = measureDividerPeak(vectorUnit::scalar, 1);
  std::printf("fast kernel      %8.3g ordered pairs/s; 3-division peak %8.3g (%s, %d threads): %3.0f%% of it\n",
              closePairs / compactFast, 1 / vectorPeak.secondsPerPair, unitName(widestVectorUnit()), threads,
              100 * vectorPeak.secondsPerPair * closePairs / compactFast);
  std::printf("previous kernel  %8.3g ordered pairs/s: %3.0f%% of that peak\n", closePairs / compactPrevious,
              100 * vectorPeak.secondsPerPair * closePairs / compactPrevious);
  std::printf("reference loop   %8.3g pairs/s; divider peak %8.3g (divss/sqrtss, 1 thread): %3.0f%% of peak\n",
              closePairs / compactReference, 1 / scalarPeak.secondsPerPair,
              100 * scalarPeak.secondsPerPair * closePairs / compactReference);

  const int busyN = quick ? 2000 : 10000;
  std::printf("\n(e) compact mesh, %d threads, while another process keeps one core busy\n", threads);
  printHeader();
  {
    makeCompactStore(busyN, rng);
    busyCore busy;
    printComparison(busyN, compareStep(quick, false));
  }

  std::printf("\nload average %.2f; %s\n", loadAverage(), allIdentical ? "all results identical" : "RESULTS DIFFER");
  std::printf(
      "summary: compact%d_vs_previous=%.2f compact%d_vs_reference=%.2f wide%d_vs_previous=%.2f "
      "embryo_vs_previous=%.2f identical=%s\n",
      compactN, compactPrevious / compactFast, compactN, compactReference / compactFast, sizes.back(), wideRatio,
      embryoRatio, allIdentical ? "yes" : "no");
  return allIdentical ? 0 : 1;
}
