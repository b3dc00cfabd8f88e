#include "fastforces.h"

#include <immintrin.h>
#include <omp.h>
#include <sched.h>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <numeric>
#include <string_view>
#include <vector>

#include "failure.h"
#include "kernel_fault.h"
#include "pairkernel.h"
#include "threadchoice.h"

using morph::vector;

namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();

// Below these sizes a thread team or a grid costs more than it saves; a team's start and
// end cost most when other processes hold the cores.
constexpr int parallelMinVertices = 512;
constexpr int gridMinVertices = 256;
// The grid pays off only when a vertex's 27 neighbouring cells hold at most this share of
// the mesh.
constexpr double gridMaxShare = 0.5;
// Cells at least this much wider than the cut-off distance, so that float rounding of a
// pair's squared distance can never hide a close pair beyond the next cell.
constexpr double cellMargin = 1.01;
constexpr double maxCellsPerVertex = 8;
constexpr double maxCells = 1 << 22;

vectorUnit resolveUnit(vectorUnit wanted) {
#ifdef MORPH_TEST_UNIT_SEAM
  // Test builds only (ThreadSanitizer): MORPH_TEST_UNIT=scalar, avx2 or avx512 stands for
  // the unit the program would choose itself, so that a whole run can take the scalar
  // kernel, whose every access the sanitizer sees. Read at every step, so a test may set it.
  if (wanted == vectorUnit::automatic) {
    const char* forced = std::getenv("MORPH_TEST_UNIT");
    const std::string_view name = forced ? forced : "";
    if (name == "scalar") wanted = vectorUnit::scalar;
    if (name == "avx2") wanted = vectorUnit::avx2;
    if (name == "avx512") wanted = vectorUnit::avx512;
  }
#endif
  if (wanted == vectorUnit::automatic || !vectorUnitAvailable(wanted)) return widestVectorUnit();
  return wanted;
}

// Smaller steps are too short to tell a crowded machine from a passing hiccup or from
// waking the other threads.
constexpr int choiceMinVertices = 5000;

// Whether one division and a correction per pair beats three divisions depends on the
// processor's balance of divider and multiply-add units (it wins clearly where the
// divider is slow); both give the same bits. So steps large enough to tell are timed in
// alternation, and the faster form is kept. The first such steps are short and the
// balance shifts a little with the mesh, so the trial is run again each time the mesh
// has doubled since the last one.
constexpr int trialMinVertices = 600;
constexpr int trialsPerForm = 4;

struct quotientTrial {
  int runs[2] = {0, 0};
  double best[2] = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity()};
  int vertices = 0;  // mesh size when the current trial began

  // The form to time next (0 divided, 1 corrected), or -1 once both have had their runs
  // for a mesh of about n vertices.
  int nextForm(int n) {
    if (n >= 2 * vertices) *this = {{0, 0}, {best[0], best[1]}, n};
    if (runs[0] >= trialsPerForm && runs[1] >= trialsPerForm) return -1;
    return runs[1] <= runs[0] ? 1 : 0;
  }
  // Seconds per pair tested, so that a mesh growing between trials compares fairly.
  void record(int form, double seconds, long long pairs) {
    const double perPair = seconds / static_cast<double>(std::max(pairs, 1LL));
    // A new trial's first run replaces the last trial's figure.
    best[form] = runs[form] == 0 ? perPair : std::min(best[form], perPair);
    ++runs[form];
  }
  // Where the two are within a few percent, a trial's noise decides; then division, the
  // form with the fewer operations, is kept.
  bool correctedPays() const { return best[1] < 0.97 * best[0]; }
};

kernelSet kernelsFor(vectorUnit unit) {
  switch (unit) {
    case vectorUnit::avx512:
      return avx512Kernels();
    case vectorUnit::avx2:
      return avx2Kernels();
    default:
      return scalarKernels();
  }
}

// A uniform grid over the finite positions. Cells are numbered x fastest, so a run of
// cells along x is a run of numbers, and its vertices a run of `members`.
struct grid {
  double minX = 0, minY = 0, minZ = 0;
  double h = 1;  // cell edge
  int nx = 1, ny = 1, nz = 1;
  std::vector<int> start;    // cell c holds members[start[c] .. start[c+1])
  std::vector<int> members;  // vertex indices, increasing within each cell

  int cell(int x, int y, int z) const { return x + nx * (y + ny * z); }
};

// Vertices of a run of cells x0..x1 in one row, summed together.
struct laneGroup {
  int y, z, x0, x1;
};

bool finitePoint(float x, float y, float z) { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }

// Scratch of one step, kept between steps so that a step allocates nothing new once the
// mesh has stopped growing.
struct workspace {
  const vertex_struct* vertices = nullptr;  // the embryo's store, for the attraction
  std::vector<float> x, y, z;
  std::vector<int> parentA, parentB;
  // All pairs by strips: reversed copies, column and row sums, one flag per strip.
  std::vector<float> xr, yr, zr;
  std::vector<int> parentAr, parentBr;
  std::vector<float> colX, colY, colZ, rowX, rowY, rowZ;
  std::vector<stripProgress> progress;
  std::vector<stripState> states;
  std::vector<int> parentLeadStart, parentLeads, parentLeadFill;
  std::vector<int> cellOf;  // cell of each vertex; -1 when not finite
  std::vector<int> fill;    // next free member slot of each cell
  grid cells;
  std::vector<laneGroup> groups;
  // Per thread: a two-level bitmap that merges neighbouring cells into index order, and
  // the merged list.
  std::vector<std::vector<std::uint64_t>> marks, markSummary;
  std::vector<std::vector<int>> candidates;
};

// Raised where scratch cannot grow; the step reports it once it is out of the parallel part.
struct scratchExhausted {};

[[noreturn]] void outOfMemory() { throw scratchExhausted{}; }

struct extent {
  double lo[3] = {0, 0, 0}, hi[3] = {0, 0, 0};
  bool any = false;
};

extent finiteExtent(const workspace& w, int n) {
  extent e;
  for (int i = 0; i < n; ++i) {
    if (!finitePoint(w.x[i], w.y[i], w.z[i])) continue;
    const double p[3] = {w.x[i], w.y[i], w.z[i]};
    for (int a = 0; a < 3; ++a) {
      if (!e.any || p[a] < e.lo[a]) e.lo[a] = p[a];
      if (!e.any || p[a] > e.hi[a]) e.hi[a] = p[a];
    }
    e.any = true;
  }
  return e;
}

// Cells per axis for edge h (in double: a huge extent must not overflow an int).
void cellsPerAxis(const extent& e, double h, double counts[3]) {
  for (int a = 0; a < 3; ++a) counts[a] = std::floor((e.hi[a] - e.lo[a]) / h) + 1;
}

double cutoffDistance(const forceSettings& s) { return std::sqrt(static_cast<double>(s.cutoff2)); }

// Whether the 27 cells around a vertex would hold clearly less than the whole mesh.
bool gridPaysOff(const extent& e, const forceSettings& s, int n) {
  if (n < gridMinVertices || !e.any) return false;
  const double h = cutoffDistance(s) * cellMargin;
  if (!(h > 0)) return false;
  double counts[3];
  cellsPerAxis(e, h, counts);
  // On average over a row of c cells, a cell and its two neighbours are (3c - 2) / c^2 of it.
  double share = 1;
  for (const double c : counts) share *= std::min(1.0, (3 * c - 2) / (c * c));
  return share <= gridMaxShare;
}

// Sorts the finite vertices into cells and cuts the cells into lane groups.
void buildGrid(workspace& w, const extent& e, const forceSettings& s, int n) {
  grid& g = w.cells;
  double h = cutoffDistance(s) * cellMargin;
  // A cut-off of 0 or below finds no pair; any cell size is then right.
  if (!(h > 0) || !std::isfinite(h)) h = 1;
  const double cap = std::clamp(maxCellsPerVertex * n, 27.0, maxCells);
  double counts[3];
  for (;;) {
    cellsPerAxis(e, h, counts);
    const double total = counts[0] * counts[1] * counts[2];
    if (total <= cap) break;
    // Coarser cells still hold every close pair within neighbouring cells.
    h *= std::max(1.01, std::cbrt(total / cap));
  }
  g.minX = e.lo[0];
  g.minY = e.lo[1];
  g.minZ = e.lo[2];
  g.h = h;
  g.nx = static_cast<int>(counts[0]);
  g.ny = static_cast<int>(counts[1]);
  g.nz = static_cast<int>(counts[2]);
  const int numCells = g.nx * g.ny * g.nz;

  auto axisCell = [h](float v, double lo, int count) {
    const double c = std::floor((static_cast<double>(v) - lo) / h);
    return static_cast<int>(std::clamp(c, 0.0, static_cast<double>(count - 1)));
  };
  g.start.assign(numCells + 1, 0);
  for (int i = 0; i < n; ++i) {
    if (!finitePoint(w.x[i], w.y[i], w.z[i])) {
      w.cellOf[i] = -1;
      continue;
    }
    const int c =
        g.cell(axisCell(w.x[i], g.minX, g.nx), axisCell(w.y[i], g.minY, g.ny), axisCell(w.z[i], g.minZ, g.nz));
    w.cellOf[i] = c;
    ++g.start[c + 1];
  }
  for (int c = 0; c < numCells; ++c) g.start[c + 1] += g.start[c];
  g.members.resize(g.start[numCells]);
  w.fill.assign(g.start.begin(), g.start.end() - 1);
  for (int i = 0; i < n; ++i) {
    if (w.cellOf[i] >= 0) g.members[w.fill[w.cellOf[i]]++] = i;
  }

  // Along each row, gather consecutive cells until they hold a block's worth of vertices.
  w.groups.clear();
  for (int z = 0; z < g.nz; ++z) {
    for (int y = 0; y < g.ny; ++y) {
      int x0 = -1, held = 0;
      for (int x = 0; x < g.nx; ++x) {
        const int c = g.cell(x, y, z);
        const int size = g.start[c + 1] - g.start[c];
        if (size == 0 && x0 < 0) continue;
        if (x0 < 0) x0 = x;
        held += size;
        if (held >= maxLanes || x == g.nx - 1) {
          w.groups.push_back({y, z, x0, x});
          x0 = -1;
          held = 0;
        }
      }
    }
  }
}

// The vertices of the 27 cells around a group, in increasing index order.
int mergeNeighbourhood(const grid& g, const laneGroup& group, std::vector<std::uint64_t>& marks,
                       std::vector<std::uint64_t>& summary, int* out) {
  const int xa = std::max(group.x0 - 1, 0), xb = std::min(group.x1 + 1, g.nx - 1);
  for (int z = std::max(group.z - 1, 0); z <= std::min(group.z + 1, g.nz - 1); ++z) {
    for (int y = std::max(group.y - 1, 0); y <= std::min(group.y + 1, g.ny - 1); ++y) {
      const int from = g.start[g.cell(xa, y, z)], to = g.start[g.cell(xb, y, z) + 1];
      for (int m = from; m < to; ++m) {
        const unsigned k = static_cast<unsigned>(g.members[m]);
        marks[k >> 6] |= std::uint64_t{1} << (k & 63);
        summary[k >> 12] |= std::uint64_t{1} << ((k >> 6) & 63);
      }
    }
  }
  int count = 0;
  for (std::size_t s = 0; s < summary.size(); ++s) {
    std::uint64_t words = summary[s];
    summary[s] = 0;
    while (words != 0) {
      const std::size_t word = s * 64 + static_cast<std::size_t>(std::countr_zero(words));
      words &= words - 1;
      std::uint64_t bits = marks[word];
      marks[word] = 0;
      while (bits != 0) {
        out[count++] = static_cast<int>(word * 64 + static_cast<std::size_t>(std::countr_zero(bits)));
        bits &= bits - 1;
      }
    }
  }
  return count;
}

// Attraction along the neighbour list in list order, then the plain loop's sum with the
// repulsion.
void finishVertex(const vertex_struct* vertex, const forceSettings& s, forceField& field, int i, float rx, float ry,
                  float rz) {
  const int n = static_cast<int>(field.force.size());
  const vector a = attractionOn(vertex, s, i, n);
  field.force[i] = vector(a.x + rx, a.y + ry, a.z + rz);
}

// Writes the block's forces; returns its smallest repelling distance.
float finishBlock(const vertex_struct* vertex, const laneBlock& b, const forceSettings& s, forceField& field) {
  float nearest = infinity;
  for (int l = 0; l < b.count; ++l) {
    finishVertex(vertex, s, field, b.index[l], b.rx[l], b.ry[l], b.rz[l]);
    nearest = std::min(nearest, b.nearest[l]);
  }
  return nearest;
}

void loadLanes(laneBlock& b, const workspace& w, const int* indices, int count) {
  b.count = count;
  for (int l = 0; l < maxLanes; ++l) {
    const int i = l < count ? indices[l] : -1;
    b.index[l] = i;
    b.x[l] = i >= 0 ? w.x[i] : 0;
    b.y[l] = i >= 0 ? w.y[i] : 0;
    b.z[l] = i >= 0 ? w.z[i] : 0;
  }
}

// Whether strip s can go on: its state says how many columns it needs from the strip
// before.
bool stripCanRun(const stripBoard& board, int strip) {
  if (strip == 0 || plantedFault == kernelFault::noWavefrontWait) return true;
  const int needed = __atomic_load_n(&board.states[strip].needed, __ATOMIC_RELAXED);
  return __atomic_load_n(&board.progress[strip - 1].columns, __ATOMIC_ACQUIRE) >= needed;
}

// Strips further than this past the lowest unfinished one are not looked at: they could
// not get far anyway.
constexpr int stripWindow = 64;

// Each thread runs the lowest strip that nobody runs and that can go on, until it stops,
// then looks again. A thread that finds nothing to run for a while leaves the rest to the
// others: on a machine with more threads than free cores, the strip it waits for belongs
// to a thread that has lost its core, and spinning would only keep that thread off it. The
// lowest unfinished strip can always go on, so whoever remains finishes every strip.
void runStrips(const stripBoard& board, const kernelSet& kernels, int strips, int& lowest) {
  constexpr int idleSpinsBeforeLeaving = 4000;
  int idle = 0;
  for (;;) {
    int s = __atomic_load_n(&lowest, __ATOMIC_ACQUIRE);
    if (s >= strips) return;
    bool ran = false;
    for (const int end = std::min(strips, s + stripWindow); s < end; ++s) {
      stripState& st = board.states[s];
      if (__atomic_load_n(&st.done, __ATOMIC_ACQUIRE) || __atomic_load_n(&st.owner, __ATOMIC_RELAXED)) continue;
      if (!stripCanRun(board, s)) continue;
      int free = 0;
      if (!__atomic_compare_exchange_n(&st.owner, &free, 1, false, __ATOMIC_ACQUIRE, __ATOMIC_RELAXED)) continue;
      if (!st.done && kernels.strip(board, s)) {
        __atomic_store_n(&st.done, 1, __ATOMIC_RELEASE);
        // Move the lowest unfinished strip past every finished one.
        int low = __atomic_load_n(&lowest, __ATOMIC_ACQUIRE);
        while (low < strips && __atomic_load_n(&board.states[low].done, __ATOMIC_ACQUIRE)) {
          if (__atomic_compare_exchange_n(&lowest, &low, low + 1, false, __ATOMIC_ACQ_REL, __ATOMIC_ACQUIRE)) ++low;
        }
      }
      __atomic_store_n(&st.owner, 0, __ATOMIC_RELEASE);
      ran = true;
      break;
    }
    if (ran) {
      idle = 0;
    } else if (++idle < idleSpinsBeforeLeaving) {
      _mm_pause();
    } else {
      return;
    }
  }
}

// The leads at which each strip of W rows meets a parent pair: a vertex and a vertex it
// hangs on, {lo, hi}, meet in strip lo / W at lead hi + lo % W, unless hi lies in that
// strip's own tile, which tests parents on every pair anyway.
void findParentLeads(workspace& w, int n, int W) {
  const int strips = (n + W - 1) / W;
  std::vector<int>& start = w.parentLeadStart;
  std::vector<int>& fill = w.parentLeadFill;
  const auto forEachPair = [&](auto&& met) {
    for (int k = 0; k < n; ++k) {
      for (const int parent : {w.parentA[k], w.parentB[k]}) {
        if (parent < 0 || parent >= n || parent == k) continue;
        const int lo = std::min(parent, k), hi = std::max(parent, k);
        const int strip = lo / W;
        const int lead = hi + lo - strip * W - (plantedFault == kernelFault::parentLeadEarly ? 1 : 0);
        if (hi >= (strip + 1) * W) met(strip, lead);
      }
    }
  };
  std::fill(start.begin(), start.begin() + strips + 1, 0);
  forEachPair([&](int strip, int) { ++start[strip + 1]; });
  std::partial_sum(start.begin(), start.begin() + strips + 1, start.begin());
  std::copy(start.begin(), start.begin() + strips, fill.begin());
  forEachPair([&](int strip, int lead) { w.parentLeads[fill[strip]++] = lead; });
  for (int strip = 0; strip < strips; ++strip) {
    std::sort(w.parentLeads.begin() + start[strip], w.parentLeads.begin() + start[strip + 1]);
  }
}

float allPairsSums(workspace& w, threadChoice& stripThreads, const pairData& p, const forceSettings& s, forceField& field,
                   const kernelSet& kernels,
                   long long& tested) {
  const int n = static_cast<int>(field.force.size());
  const int W = kernels.lanes;
  const int strips = (n + W - 1) / W;
  const int padded = static_cast<int>(w.x.size());
  findParentLeads(w, n, W);
  const stripBoard board{p,
                         n,
                         padded,
                         w.xr.data(),
                         w.yr.data(),
                         w.zr.data(),
                         w.parentAr.data(),
                         w.parentBr.data(),
                         w.colX.data() + maxLanes,
                         w.colY.data() + maxLanes,
                         w.colZ.data() + maxLanes,
                         w.rowX.data(),
                         w.rowY.data(),
                         w.rowZ.data(),
                         w.progress.data(),
                         w.states.data(),
                         w.parentLeadStart.data(),
                         w.parentLeads.data()};
  for (int strip = 0; strip < strips; ++strip) {
    board.progress[strip].columns = 0;
    stripState& st = board.states[strip];
    st.next = 0;
    st.needed = std::min(n, (strip + 1) * W);
    st.owner = 0;
    st.done = 0;
    st.nearest = infinity;
  }
  int lowest = 0;
  const bool timed = n >= choiceMinVertices && omp_get_max_threads() > 1;
  const bool everyThread = n >= parallelMinVertices && (!timed || stripThreads.everyThread());
  const auto start = std::chrono::steady_clock::now();
#pragma omp parallel if (everyThread)
  runStrips(board, kernels, strips, lowest);
  if (timed) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stripThreads.record(everyThread, seconds / (static_cast<double>(n) * n), n);
  }
  float nearest = infinity;
  for (int strip = 0; strip < strips; ++strip) nearest = std::min(nearest, board.states[strip].nearest);
#pragma omp parallel for schedule(static) if (n >= parallelMinVertices)
  for (int i = 0; i < n; ++i) finishVertex(w.vertices, s, field, i, w.rowX[i], w.rowY[i], w.rowZ[i]);
  tested = static_cast<long long>(n) * n;
  return nearest;
}

float gridSums(workspace& w, const pairData& p, const forceSettings& s, forceField& field, directedKernel kernel,
               long long& tested) {
  const int n = static_cast<int>(field.force.size());
  const grid& g = w.cells;
  // A vertex off the grid has no close pair: its repulsion is the plain loop's +0.
  for (int i = 0; i < n; ++i) {
    if (w.cellOf[i] < 0) finishVertex(w.vertices, s, field, i, 0, 0, 0);
  }
  const int numGroups = static_cast<int>(w.groups.size());
  float nearest = infinity;
  long long pairs = 0;
#pragma omp parallel for schedule(dynamic, 1) reduction(min : nearest) reduction(+ : pairs) \
    if (n >= parallelMinVertices)
  for (int q = 0; q < numGroups; ++q) {
    const int t = omp_get_thread_num();
    const laneGroup& group = w.groups[q];
    int* candidates = w.candidates[t].data();
    const int numCandidates = mergeNeighbourhood(g, group, w.marks[t], w.markSummary[t], candidates);
    const int from = g.start[g.cell(group.x0, group.y, group.z)];
    const int to = g.start[g.cell(group.x1, group.y, group.z) + 1];
    for (int first = from; first < to; first += maxLanes) {
      laneBlock b;
      loadLanes(b, w, g.members.data() + first, std::min(maxLanes, to - first));
      kernel(p, candidates, numCandidates, b);
      nearest = std::min(nearest, finishBlock(w.vertices, b, s, field));
      pairs += static_cast<long long>(b.count) * numCandidates;
    }
  }
  tested = pairs;
  return nearest;
}

// Positions and parents are padded past n (to whole strips plus one strip of leads) with
// 0 and -1, so that vector loads never leave the arrays and never meet a parent.
void prepare(workspace& w, int n, bool forGrid) {
  const std::size_t size = static_cast<std::size_t>(n);
  const std::size_t padded = size + 2 * maxLanes;
  try {
    // The first n entries are written by every step; only the padding is set here.
    for (auto* v : {&w.x, &w.y, &w.z}) {
      v->resize(padded);
      std::fill(v->begin() + n, v->end(), 0.0f);
    }
    for (auto* v : {&w.parentA, &w.parentB}) {
      v->resize(padded);
      std::fill(v->begin() + n, v->end(), -1);
    }
    if (forGrid) {
      w.cellOf.resize(size);
      const int threads = std::max(omp_get_max_threads(), 1);
      const std::size_t words = (size + 63) / 64, summaryWords = (words + 63) / 64;
      w.marks.resize(threads);
      w.markSummary.resize(threads);
      w.candidates.resize(threads);
      for (int t = 0; t < threads; ++t) {
        w.marks[t].assign(words, 0);
        w.markSummary[t].assign(summaryWords, 0);
        w.candidates[t].resize(size);
      }
    }
  } catch (const std::bad_alloc&) {
    outOfMemory();
  }
}

// The strips' reversed copies, column and row sums and per-strip flags; after prepare and
// the copy of the positions.
void prepareStrips(workspace& w, int n) {
  const std::size_t size = static_cast<std::size_t>(n);
  const std::size_t padded = w.x.size();
  try {
    for (auto* v : {&w.xr, &w.yr, &w.zr, &w.rowX, &w.rowY, &w.rowZ}) v->resize(padded);
    for (auto* v : {&w.parentAr, &w.parentBr}) v->resize(padded);
    // Column sums start at +0, with room for a kernel's masked writes before index 0.
    for (auto* v : {&w.colX, &w.colY, &w.colZ}) v->assign(padded + maxLanes, 0);
    w.progress.resize(size + 1);
    w.states.resize(size + 1);
    w.parentLeadStart.resize(size + 2);
    w.parentLeads.resize(2 * size + 1);
    w.parentLeadFill.resize(size + 1);
  } catch (const std::bad_alloc&) {
    outOfMemory();
  }
  for (std::size_t k = 0; k < padded; ++k) {
    w.xr[padded - 1 - k] = w.x[k];
    w.yr[padded - 1 - k] = w.y[k];
    w.zr[padded - 1 - k] = w.z[k];
    w.parentAr[padded - 1 - k] = w.parentA[k];
    w.parentBr[padded - 1 - k] = w.parentB[k];
  }
}

void sumPairs(Embryo& e, const forceSettings& s, forceField& field);

}  // namespace

// One embryo's kernel choices and scratch: kept between its steps, never shared.
struct kernelState {
  workspace scratch;
  threadChoice stripThreads;
  // The grid's blocks and the strips balance divider and multiply-add units differently,
  // so each keeps its own trial, per vector unit.
  quotientTrial quotientTrials[4][2];
};

void kernelStateDeleter::operator()(kernelState* state) const { delete state; }

kernelState& Embryo::kernel() {
  if (!kernel_) kernel_.reset(new kernelState());
  return *kernel_;
}

// The gains, scale and cut-off bound |Kr * d| to [2^-63, 2^22] and den to 2^36, and
// coordinates of 0 or at least 2^-40 keep every nonzero difference at least 2^-63.
// Positions that are not finite never make a close pair, so they do not matter.
bool quotientDomainOk(const forceSettings& s, const float* x, const float* y, const float* z, int n) {
  if constexpr (plantedFault == kernelFault::droppedGuard) return true;
  const float Kr = std::fabs(s.Kr);
  if (!(Kr == 0 || (Kr >= 1 && Kr <= 0x1p20f))) return false;
  if (!(s.L2 >= 0x1p-30f && s.L2 <= 0x1p30f)) return false;
  if (!(s.cutoff2 <= 16)) return false;
  for (const float* axis : {x, y, z}) {
    for (int i = 0; i < n; ++i) {
      const float c = axis[i];
      if (c != 0 && std::fabs(c) < 0x1p-40f) return false;
    }
  }
  return true;
}

bool vectorUnitAvailable(vectorUnit unit) {
  switch (unit) {
    case vectorUnit::avx512:
      return __builtin_cpu_supports("avx512f");
    case vectorUnit::avx2:
      return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    default:
      return true;
  }
}

vectorUnit widestVectorUnit() {
  if (vectorUnitAvailable(vectorUnit::avx512)) return vectorUnit::avx512;
  if (vectorUnitAvailable(vectorUnit::avx2)) return vectorUnit::avx2;
  return vectorUnit::scalar;
}

vectorUnit programVectorUnit() { return resolveUnit(vectorUnit::automatic); }

const char* vectorUnitName(vectorUnit unit) {
  switch (unit) {
    case vectorUnit::scalar:
      return "scalar";
    case vectorUnit::avx2:
      return "avx2";
    case vectorUnit::avx512:
      return "avx512";
    default:
      return "automatic";
  }
}

void fastPairForces(Embryo& e, const forceSettings& s, forceField& field) {
  try {
    sumPairs(e, s, field);
  } catch (const scratchExhausted&) {
    e.notice("Failure to allocate memory in forces.\n");
    throw runError(failure::memory, "out of memory for the forces of a relaxation step");
  }
}

namespace {

void sumPairs(Embryo& e, const forceSettings& s, forceField& field) {
  const int n = static_cast<int>(field.force.size());
  kernelState& state = e.kernel();
  workspace& w = state.scratch;
  const fastForceOptions& forceOptions = e.forceOptions;
  w.vertices = e.vertex.data();
  // The grid needs its scratch before the positions are known; size it whenever the mesh
  // could take it.
  const bool gridPossible = forceOptions.search != pairSearch::allPairs;
  prepare(w, n, gridPossible);

  for (int i = 0; i < n; ++i) {
    const vertex_struct& v = w.vertices[i];
    w.x[i] = v.x;
    w.y[i] = v.y;
    w.z[i] = v.z;
    w.parentA[i] = v.parentA;
    w.parentB[i] = v.parentB;
  }

  bool useGrid = false;
  if (gridPossible) {
    const extent e = finiteExtent(w, n);
    useGrid = forceOptions.search == pairSearch::grid || gridPaysOff(e, s, n);
    if (useGrid) buildGrid(w, e, s, n);
  }

  const vectorUnit unit = resolveUnit(forceOptions.unit);
  const kernelSet kernels = kernelsFor(unit);
  pairData p{w.x.data(),
             w.y.data(),
             w.z.data(),
             w.parentA.data(),
             w.parentB.data(),
             s.cutoff2,
             s.L2,
             s.Kr,
             quotientDomainOk(s, w.x.data(), w.y.data(), w.z.data(), n)};
  long long tested = 0;
  float nearest = infinity;
  if (forceOptions.quotients == quotientForm::divided) p.exactQuotients = false;
  // The grid's blocks and the strips balance divider and multiply-add units differently,
  // so each keeps its own trial.
  quotientTrial& trial = state.quotientTrials[static_cast<int>(unit)][useGrid ? 1 : 0];
  const bool timed = p.exactQuotients && forceOptions.quotients == quotientForm::automatic && n >= trialMinVertices;
  const int form = timed ? trial.nextForm(n) : -1;
  if (p.exactQuotients && forceOptions.quotients == quotientForm::automatic) {
    p.exactQuotients = form >= 0 ? form == 1 : trial.correctedPays();
  }
  const auto start = std::chrono::steady_clock::now();
  if (useGrid) {
    nearest = gridSums(w, p, s, field, kernels.directed, tested);
  } else {
    prepareStrips(w, n);
    nearest = allPairsSums(w, state.stripThreads, p, s, field, kernels, tested);
  }
  if (form >= 0)
    trial.record(form, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), tested);
  e.lastFastForces = {useGrid, unit, tested, p.exactQuotients};
  if (nearest < field.D) field.D = nearest;
  if (n > 0) field.m = forceLength(field.force[n - 1]);
}

}  // namespace

int forcesFast(Embryo& e) {
  const forceSettings settings = forceStepSettings(e);
  forceField field = emptyForceField(e);
  if (e.forceOptions.pairSum) {
    e.forceOptions.pairSum(settings, field, e);
  } else {
    fastPairForces(e, settings, field);
  }
  moveFreeVertices(e, field);
  placeDependents(e);
  return 1;
}
