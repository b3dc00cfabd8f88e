// The relaxation step's pair kernel as it was before each close pair was computed once:
// one vertex per lane, three divisions per pair. Kept in the benchmark only, as the
// yardstick the new kernel is measured against; the programs never link it.
#include "previous_forces.h"

#include <immintrin.h>
#include <omp.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <vector>

#include "failure.h"

using morph::vector;

namespace previous {
namespace {

constexpr float infinity = std::numeric_limits<float>::infinity();

// The widest kernel sums 16 vertices side by side; narrower ones take blocks of their width.
constexpr int maxLanes = 16;
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

// What every block of one step reads: positions and parents by vertex index, and the
// step's constants.
struct pairData {
  const float* x;
  const float* y;
  const float* z;
  const int* parentA;
  const int* parentB;
  float cutoff2;
  float L2;
  float Kr;
};

// Up to maxLanes vertices summed side by side, and what the kernel leaves for each.
struct laneBlock {
  int count = 0;
  int index[maxLanes];
  float x[maxLanes], y[maxLanes], z[maxLanes];
  float rx[maxLanes], ry[maxLanes], rz[maxLanes];
  float nearest[maxLanes];  // smallest distance of a pair that repelled; infinity if none
};

// Sums the repulsion on each vertex of `b` from the candidates, which come in increasing
// index order. Every kernel does the plain loop's float operations in the plain loop's order
// per vertex; vector kernels only run several vertices at once.
using pairKernel = void (*)(const pairData& p, const int* candidates, int numCandidates, laneBlock& b);

void scalarKernel(const pairData& p, const int* candidates, int numCandidates, laneBlock& b) {
  for (int l = 0; l < b.count; ++l) {
    const int i = b.index[l];
    const float xi = b.x[l], yi = b.y[l], zi = b.z[l];
    float rx = 0, ry = 0, rz = 0, nearest = infinity;
    for (int j = 0; j < numCandidates; ++j) {
      const int k = candidates[j];
      if (k == i) continue;
      const float dx = xi - p.x[k];
      const float dy = yi - p.y[k];
      const float dz = zi - p.z[k];
      const float d2 = dx * dx + dy * dy + dz * dz;
      if (!(d2 < p.cutoff2)) continue;
      if (p.parentA[k] == i || p.parentB[k] == i) continue;
      const float dist = std::sqrt(d2);
      const float den = d2 * dist * p.L2;
      if (den == 0) continue;
      rx += p.Kr * dx / den;
      ry += p.Kr * dy / den;
      rz += p.Kr * dz / den;
      if (dist < nearest) nearest = dist;
    }
    b.rx[l] = rx;
    b.ry[l] = ry;
    b.rz[l] = rz;
    b.nearest[l] = nearest;
  }
}

// Lanes whose pair is skipped keep their sums through masked adds: a sum that starts at
// +0 is never -0, so it is left exactly as it was.
struct avx2Lanes {
  __m256 xi, yi, zi;
  __m256i ii;
  __m256 live;
  __m256 cutoff2, L2, Kr;
  __m256 rx, ry, rz, nearest;
};

struct avx2Pair {
  __m256 dx, dy, dz, d2;
};

__attribute__((target("avx2"), always_inline)) inline avx2Pair avx2Distance(const pairData& p, const avx2Lanes& l,
                                                                            int k) {
  avx2Pair d;
  d.dx = _mm256_sub_ps(l.xi, _mm256_set1_ps(p.x[k]));
  d.dy = _mm256_sub_ps(l.yi, _mm256_set1_ps(p.y[k]));
  d.dz = _mm256_sub_ps(l.zi, _mm256_set1_ps(p.z[k]));
  d.d2 = _mm256_add_ps(_mm256_add_ps(_mm256_mul_ps(d.dx, d.dx), _mm256_mul_ps(d.dy, d.dy)), _mm256_mul_ps(d.dz, d.dz));
  return d;
}

// All bits set in the lanes for which k is within the cut-off, is not the lane's own
// vertex and does not hang on it.
__attribute__((target("avx2"), always_inline)) inline __m256 avx2Close(const pairData& p, const avx2Lanes& l, int k,
                                                                       const avx2Pair& d) {
  const __m256i same = _mm256_or_si256(_mm256_cmpeq_epi32(l.ii, _mm256_set1_epi32(k)),
                                       _mm256_or_si256(_mm256_cmpeq_epi32(l.ii, _mm256_set1_epi32(p.parentA[k])),
                                                       _mm256_cmpeq_epi32(l.ii, _mm256_set1_epi32(p.parentB[k]))));
  const __m256 use = _mm256_and_ps(l.live, _mm256_cmp_ps(d.d2, l.cutoff2, _CMP_LT_OQ));
  return _mm256_andnot_ps(_mm256_castsi256_ps(same), use);
}

__attribute__((target("avx2"), always_inline)) inline void avx2Repel(avx2Lanes& l, const avx2Pair& d, __m256 use) {
  const __m256 zero = _mm256_setzero_ps();
  const __m256 dist = _mm256_sqrt_ps(d.d2);
  const __m256 den = _mm256_mul_ps(_mm256_mul_ps(d.d2, dist), l.L2);
  use = _mm256_and_ps(use, _mm256_cmp_ps(den, zero, _CMP_NEQ_UQ));
  l.rx = _mm256_blendv_ps(l.rx, _mm256_add_ps(l.rx, _mm256_div_ps(_mm256_mul_ps(l.Kr, d.dx), den)), use);
  l.ry = _mm256_blendv_ps(l.ry, _mm256_add_ps(l.ry, _mm256_div_ps(_mm256_mul_ps(l.Kr, d.dy), den)), use);
  l.rz = _mm256_blendv_ps(l.rz, _mm256_add_ps(l.rz, _mm256_div_ps(_mm256_mul_ps(l.Kr, d.dz), den)), use);
  l.nearest = _mm256_blendv_ps(l.nearest, _mm256_min_ps(l.nearest, dist), use);
}

// Candidates go a chunk at a time. Where most are close to some lane (a compact mesh) each
// is summed as it comes; elsewhere a chunk is first screened and only the close ones are
// summed, since a branch per candidate would then be mispredicted about half the time.
constexpr int screenChunk = 128;

bool denseChunk(int numClose, int size) { return 8 * numClose >= 7 * size; }

__attribute__((target("avx2"))) void avx2Kernel(const pairData& p, const int* candidates, int numCandidates,
                                                laneBlock& b) {
  constexpr int width = 8;
  avx2Lanes l;
  l.xi = _mm256_loadu_ps(b.x);
  l.yi = _mm256_loadu_ps(b.y);
  l.zi = _mm256_loadu_ps(b.z);
  l.ii = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b.index));
  const __m256i laneNumbers = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
  l.live = _mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_set1_epi32(std::min(b.count, width)), laneNumbers));
  l.cutoff2 = _mm256_set1_ps(p.cutoff2);
  l.L2 = _mm256_set1_ps(p.L2);
  l.Kr = _mm256_set1_ps(p.Kr);
  l.rx = l.ry = l.rz = _mm256_setzero_ps();
  l.nearest = _mm256_set1_ps(infinity);
  int close[screenChunk];
  bool dense = false;
  for (int first = 0; first < numCandidates; first += screenChunk) {
    const int last = std::min(first + screenChunk, numCandidates);
    int numClose = 0;
    if (dense) {
      for (int j = first; j < last; ++j) {
        const int k = candidates[j];
        const avx2Pair d = avx2Distance(p, l, k);
        const __m256 use = avx2Close(p, l, k, d);
        if (_mm256_movemask_ps(use) == 0) continue;
        ++numClose;
        avx2Repel(l, d, use);
      }
    } else {
      for (int j = first; j < last; ++j) {
        const int k = candidates[j];
        close[numClose] = k;
        numClose += _mm256_movemask_ps(avx2Close(p, l, k, avx2Distance(p, l, k))) != 0;
      }
      for (int c = 0; c < numClose; ++c) {
        const avx2Pair d = avx2Distance(p, l, close[c]);
        avx2Repel(l, d, avx2Close(p, l, close[c], d));
      }
    }
    dense = denseChunk(numClose, last - first);
  }
  _mm256_storeu_ps(b.rx, l.rx);
  _mm256_storeu_ps(b.ry, l.ry);
  _mm256_storeu_ps(b.rz, l.rz);
  _mm256_storeu_ps(b.nearest, l.nearest);
}

// The sums of 16 lanes against one candidate k at a time.
struct avx512Lanes {
  __m512 xi, yi, zi;
  __m512i ii;
  __mmask16 live;
  __m512 cutoff2, L2, Kr;
  __m512 rx, ry, rz, nearest;
};

struct avx512Pair {
  __m512 dx, dy, dz, d2;
};

__attribute__((target("avx512f"), always_inline)) inline avx512Pair avx512Distance(const pairData& p,
                                                                                   const avx512Lanes& l, int k) {
  avx512Pair d;
  d.dx = _mm512_sub_ps(l.xi, _mm512_set1_ps(p.x[k]));
  d.dy = _mm512_sub_ps(l.yi, _mm512_set1_ps(p.y[k]));
  d.dz = _mm512_sub_ps(l.zi, _mm512_set1_ps(p.z[k]));
  d.d2 = _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(d.dx, d.dx), _mm512_mul_ps(d.dy, d.dy)), _mm512_mul_ps(d.dz, d.dz));
  return d;
}

// The lanes for which k is within the cut-off, is not the lane's own vertex and does not
// hang on it.
__attribute__((target("avx512f"), always_inline)) inline __mmask16 avx512Close(const pairData& p, const avx512Lanes& l,
                                                                               int k, const avx512Pair& d) {
  __mmask16 use = _mm512_mask_cmp_ps_mask(l.live, d.d2, l.cutoff2, _CMP_LT_OQ);
  use = _mm512_mask_cmpneq_epi32_mask(use, l.ii, _mm512_set1_epi32(k));
  use = _mm512_mask_cmpneq_epi32_mask(use, l.ii, _mm512_set1_epi32(p.parentA[k]));
  return _mm512_mask_cmpneq_epi32_mask(use, l.ii, _mm512_set1_epi32(p.parentB[k]));
}

__attribute__((target("avx512f"), always_inline)) inline void avx512Repel(avx512Lanes& l, const avx512Pair& d,
                                                                          __mmask16 use) {
  const __m512 zero = _mm512_setzero_ps();
  // Every lane takes its root (a masked root runs slower); the masked adds drop the unused.
  const __m512 dist = _mm512_maskz_sqrt_ps(static_cast<__mmask16>(0xFFFF), d.d2);
  const __m512 den = _mm512_mul_ps(_mm512_mul_ps(d.d2, dist), l.L2);
  use = _mm512_mask_cmp_ps_mask(use, den, zero, _CMP_NEQ_UQ);
  l.rx = _mm512_mask_add_ps(l.rx, use, l.rx, _mm512_div_ps(_mm512_mul_ps(l.Kr, d.dx), den));
  l.ry = _mm512_mask_add_ps(l.ry, use, l.ry, _mm512_div_ps(_mm512_mul_ps(l.Kr, d.dy), den));
  l.rz = _mm512_mask_add_ps(l.rz, use, l.rz, _mm512_div_ps(_mm512_mul_ps(l.Kr, d.dz), den));
  l.nearest = _mm512_mask_min_ps(l.nearest, use, l.nearest, dist);
}

__attribute__((target("avx512f"))) void avx512Kernel(const pairData& p, const int* candidates, int numCandidates,
                                                     laneBlock& b) {
  avx512Lanes l;
  l.xi = _mm512_loadu_ps(b.x);
  l.yi = _mm512_loadu_ps(b.y);
  l.zi = _mm512_loadu_ps(b.z);
  l.ii = _mm512_loadu_si512(b.index);
  l.live = static_cast<__mmask16>((1u << std::min(b.count, maxLanes)) - 1);
  l.cutoff2 = _mm512_set1_ps(p.cutoff2);
  l.L2 = _mm512_set1_ps(p.L2);
  l.Kr = _mm512_set1_ps(p.Kr);
  l.rx = l.ry = l.rz = _mm512_setzero_ps();
  l.nearest = _mm512_set1_ps(infinity);
  int close[screenChunk];
  __mmask16 closeLanes[screenChunk];
  bool dense = false;
  for (int first = 0; first < numCandidates; first += screenChunk) {
    const int last = std::min(first + screenChunk, numCandidates);
    int numClose = 0;
    if (dense) {
      for (int j = first; j < last; ++j) {
        const int k = candidates[j];
        const avx512Pair d = avx512Distance(p, l, k);
        const __mmask16 use = avx512Close(p, l, k, d);
        if (use == 0) continue;
        ++numClose;
        avx512Repel(l, d, use);
      }
    } else {
      for (int j = first; j < last; ++j) {
        const int k = candidates[j];
        close[numClose] = k;
        closeLanes[numClose] = avx512Close(p, l, k, avx512Distance(p, l, k));
        numClose += closeLanes[numClose] != 0;
      }
      for (int c = 0; c < numClose; ++c) avx512Repel(l, avx512Distance(p, l, close[c]), closeLanes[c]);
    }
    dense = denseChunk(numClose, last - first);
  }
  _mm512_storeu_ps(b.rx, l.rx);
  _mm512_storeu_ps(b.ry, l.ry);
  _mm512_storeu_ps(b.rz, l.rz);
  _mm512_storeu_ps(b.nearest, l.nearest);
}

pairKernel kernelFor(vectorUnit unit) {
  switch (unit) {
    case vectorUnit::avx512:
      return avx512Kernel;
    case vectorUnit::avx2:
      return avx2Kernel;
    default:
      return scalarKernel;
  }
}

int lanesOf(vectorUnit unit) { return unit == vectorUnit::avx2 ? 8 : maxLanes; }

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
  std::vector<float> x, y, z;
  std::vector<int> parentA, parentB;
  std::vector<int> allIndices;  // 0 .. n-1: every vertex a candidate
  std::vector<int> cellOf;      // cell of each vertex; -1 when not finite
  std::vector<int> fill;        // next free member slot of each cell
  grid cells;
  std::vector<laneGroup> groups;
  // Per thread: a two-level bitmap that merges neighbouring cells into index order, and
  // the merged list.
  std::vector<std::vector<std::uint64_t>> marks, markSummary;
  std::vector<std::vector<int>> candidates;
};

workspace& scratch() {
  static workspace w;
  return w;
}

[[noreturn]] void outOfMemory() {
  std::fputs("Failure to allocate memory in forces.\n", stderr);
  throw runError(failure::memory, "out of memory for the forces of a relaxation step");
}

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
// The store of the embryo being stepped; set by pairForces for the step.
const vertex_struct* stepVertices = nullptr;

void finishVertex(const forceSettings& s, forceField& field, int i, float rx, float ry, float rz) {
  const int n = static_cast<int>(field.force.size());
  const vector a = attractionOn(stepVertices, s, i, n);
  field.force[i] = vector(a.x + rx, a.y + ry, a.z + rz);
}

// Writes the block's forces; returns its smallest repelling distance.
float finishBlock(const laneBlock& b, const forceSettings& s, forceField& field) {
  float nearest = infinity;
  for (int l = 0; l < b.count; ++l) {
    finishVertex(s, field, b.index[l], b.rx[l], b.ry[l], b.rz[l]);
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

// Returns the smallest repelling distance over all vertices (infinity when none).
float allPairsSums(workspace& w, const pairData& p, const forceSettings& s, forceField& field, pairKernel kernel,
                   int lanes, long long& tested) {
  const int n = static_cast<int>(field.force.size());
  const int blocks = (n + lanes - 1) / lanes;
  float nearest = infinity;
  long long pairs = 0;
#pragma omp parallel for schedule(dynamic, 1) reduction(min : nearest) reduction(+ : pairs) \
    if (n >= parallelMinVertices)
  for (int blockNo = 0; blockNo < blocks; ++blockNo) {
    laneBlock b;
    const int first = blockNo * lanes;
    loadLanes(b, w, w.allIndices.data() + first, std::min(lanes, n - first));
    kernel(p, w.allIndices.data(), n, b);
    nearest = std::min(nearest, finishBlock(b, s, field));
    pairs += static_cast<long long>(b.count) * n;
  }
  tested = pairs;
  return nearest;
}

float gridSums(workspace& w, const pairData& p, const forceSettings& s, forceField& field, pairKernel kernel, int lanes,
               long long& tested) {
  const int n = static_cast<int>(field.force.size());
  const grid& g = w.cells;
  // A vertex off the grid has no close pair: its repulsion is the plain loop's +0.
  for (int i = 0; i < n; ++i) {
    if (w.cellOf[i] < 0) finishVertex(s, field, i, 0, 0, 0);
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
    for (int first = from; first < to; first += lanes) {
      laneBlock b;
      loadLanes(b, w, g.members.data() + first, std::min(lanes, to - first));
      kernel(p, candidates, numCandidates, b);
      nearest = std::min(nearest, finishBlock(b, s, field));
      pairs += static_cast<long long>(b.count) * numCandidates;
    }
  }
  tested = pairs;
  return nearest;
}

void prepare(workspace& w, int n, bool forGrid) {
  const std::size_t size = static_cast<std::size_t>(n);
  try {
    for (auto* v : {&w.x, &w.y, &w.z}) v->resize(size);
    for (auto* v : {&w.parentA, &w.parentB, &w.allIndices}) v->resize(size);
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

bool unitAvailable(vectorUnit unit) {
  switch (unit) {
    case vectorUnit::avx512:
      return __builtin_cpu_supports("avx512f");
    case vectorUnit::avx2:
      return __builtin_cpu_supports("avx2");
    default:
      return true;
  }
}

vectorUnit widestUnit() {
  if (unitAvailable(vectorUnit::avx512)) return vectorUnit::avx512;
  if (unitAvailable(vectorUnit::avx2)) return vectorUnit::avx2;
  return vectorUnit::scalar;
}

}  // namespace

void pairForces(const forceSettings& s, forceField& field, const Embryo& e) {
  const vertex_struct* vertex = e.vertex.data();
  stepVertices = vertex;
  const int n = static_cast<int>(field.force.size());
  workspace& w = scratch();
  // The grid needs its scratch before the positions are known; size it whenever the mesh
  // could take it.
  const bool gridPossible = pairSearch::automatic != pairSearch::allPairs;
  prepare(w, n, gridPossible);

  for (int i = 0; i < n; ++i) {
    const vertex_struct& v = vertex[i];
    w.x[i] = v.x;
    w.y[i] = v.y;
    w.z[i] = v.z;
    w.parentA[i] = v.parentA;
    w.parentB[i] = v.parentB;
    w.allIndices[i] = i;
  }

  bool useGrid = false;
  if (gridPossible) {
    const extent e = finiteExtent(w, n);
    useGrid = pairSearch::automatic == pairSearch::grid || gridPaysOff(e, s, n);
    if (useGrid) buildGrid(w, e, s, n);
  }

  const vectorUnit unit = widestUnit();
  const pairData p{w.x.data(), w.y.data(), w.z.data(), w.parentA.data(), w.parentB.data(), s.cutoff2, s.L2, s.Kr};
  long long tested = 0;
  const float nearest = useGrid ? gridSums(w, p, s, field, kernelFor(unit), lanesOf(unit), tested)
                                : allPairsSums(w, p, s, field, kernelFor(unit), lanesOf(unit), tested);
  (void)tested;
  if (nearest < field.D) field.D = nearest;
  if (n > 0) field.m = forceLength(field.force[n - 1]);
}

}  // namespace previous
