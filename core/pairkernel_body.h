// The one body of the relaxation step's pair kernels, compiled once per instruction set
// by pairkernel_<set>.cpp with that set's lane operations (a struct of static functions
// passed as V). Everything here has internal linkage: the same names compiled for
// different instruction sets must never be merged by the linker.
//
// Every vertex still adds its pair terms in increasing index order with the plain loop's
// float operations; the results are bit-identical to it. Two exact identities make that
// cheaper:
// - Antisymmetry. For the pair {i, k}, k's difference vector is the exact negation of i's,
//   so d2, dist and den are the same and (Kr * -d) / den = -((Kr * d) / den): k's term is
//   -q, and adding it is `sum - q`. A sum starts at +0 and never becomes -0 in
//   round-to-nearest, so a zero term of either sign leaves it unchanged. The parent test
//   is not symmetric, so each direction has its own mask.
// - One division per pair: see exactQuotient.
#pragma once

#include "kernel_fault.h"
#include "pairkernel.h"

namespace {

constexpr float farAway = __builtin_inff();
// Below this den the correction's remainder could leave the normal range: such vectors
// divide each quotient out.
constexpr float smallestFastDen = 0x1p-40f;
// Leads between two publications of a strip's progress.
constexpr int publishEvery = 32;

// The correctly rounded a / den from y = RN(1 / den), on the domain quotientDomainOk
// guarantees and for den >= 2^-40:
//   q0 = RN(a * y);  r = RN(a - den * q0) (one fused op);  q = RN(q0 + r * y) (one fused op).
// Why it is exact (scale den into [1, 2); let a / den = t lie between neighbouring floats
// f1 < f2, u = f2 - f1, m their midpoint):
// - t is never a midpoint: a is a multiple of u and den * m a multiple of u * 2^-24, and
//   a = den * m would make an odd 24-bit number a multiple of one above 2^24.
// - |den * y - 1| <= den * 2^-25, so q0 is f1, f2, or one float beyond them.
// - For q = f1 or f2, a - den * q is exactly representable (a multiple of u * 2^-23 below
//   2u), and q + r * y = t + (t - q)(den * y - 1) misses t by less than |t - m| since
//   den^2 + den * 2^-23 < 4: rounding lands on the float nearest t (Markstein).
// - For q0 one float beyond, the rounding of r adds at most u * 2^-23 and the bound still
//   holds for every den mantissa up to 0x7FFFFD; 0x7FFFFE and 0x7FFFFF are checked
//   exhaustively over every numerator mantissa by the division tests.
// The domain keeps every quotient, reciprocal and remainder in the normal range; a = -0
// gives +0 where division gives -0, which no sum can tell apart (see above).
// Lanes fall back to hardware division per vector: all of a vector's lanes when any lane
// in use has den < 2^-40, and every vector of a step whose settings or positions leave
// the domain.
template <class V>
typename V::vf exactQuotient(typename V::vf a, typename V::vf den, typename V::vf y) {
  const typename V::vf q0 = V::mul(a, y);
  if constexpr (plantedFault == kernelFault::noCorrection) return q0;
  const typename V::vf r = V::fnmadd(den, q0, a);
  return V::fmadd(r, y, q0);
}

// The three quotients (Kr * d) / den of the lanes in `use`.
template <class V>
void quotients(const pairData& p, typename V::mask use, typename V::vf dx, typename V::vf dy, typename V::vf dz,
               typename V::vf den, typename V::vf& qx, typename V::vf& qy, typename V::vf& qz) {
  const typename V::vf Kr = V::set1(p.Kr);
  const typename V::vf ax = V::mul(Kr, dx), ay = V::mul(Kr, dy), az = V::mul(Kr, dz);
  if constexpr (V::fused) {
    bool fast = p.exactQuotients;
    if constexpr (plantedFault != kernelFault::droppedGuard) {
      fast = fast && !V::any(V::andm(use, V::lt(den, V::set1(smallestFastDen))));
    }
    if (fast) {
      const typename V::vf y = V::div(V::set1(1.0f), den);
      qx = exactQuotient<V>(ax, den, y);
      qy = exactQuotient<V>(ay, den, y);
      qz = exactQuotient<V>(az, den, y);
      return;
    }
  }
  qx = V::div(ax, den);
  qy = V::div(ay, den);
  qz = V::div(az, den);
}

// A block of rows in lanes and their running sums.
template <class V>
struct rowLanes {
  typename V::vf xi, yi, zi;
  typename V::vi ii;
  typename V::mask live;
  typename V::vf cutoff2, L2;
  typename V::vf rx, ry, rz, nearest;
};

template <class V>
struct directedPair {
  typename V::vf dx, dy, dz, d2;
};

template <class V>
directedPair<V> distanceTo(const pairData& p, const rowLanes<V>& l, int k) {
  directedPair<V> d;
  d.dx = V::sub(l.xi, V::set1(p.x[k]));
  d.dy = V::sub(l.yi, V::set1(p.y[k]));
  d.dz = V::sub(l.zi, V::set1(p.z[k]));
  d.d2 = V::add(V::add(V::mul(d.dx, d.dx), V::mul(d.dy, d.dy)), V::mul(d.dz, d.dz));
  return d;
}

// The lanes for which k is within the cut-off, is not the lane's own vertex and does not
// hang on it.
template <class V>
typename V::mask closeTo(const pairData& p, const rowLanes<V>& l, int k, const directedPair<V>& d) {
  const typename V::mask same =
      V::orm(V::eqi(l.ii, V::set1i(k)), V::orm(V::eqi(l.ii, V::set1i(p.parentA[k])), V::eqi(l.ii, V::set1i(p.parentB[k]))));
  return V::andnot(V::andm(l.live, V::lt(d.d2, l.cutoff2)), same);
}

template <class V>
void repel(const pairData& p, rowLanes<V>& l, const directedPair<V>& d, typename V::mask use) {
  const typename V::vf dist = V::sqrt(d.d2);
  const typename V::vf den = V::mul(V::mul(d.d2, dist), l.L2);
  use = V::andm(use, V::neq(den, V::zero()));
  typename V::vf qx, qy, qz;
  quotients<V>(p, use, d.dx, d.dy, d.dz, den, qx, qy, qz);
  l.rx = V::addIf(use, l.rx, qx);
  l.ry = V::addIf(use, l.ry, qy);
  l.rz = V::addIf(use, l.rz, qz);
  l.nearest = V::minIf(use, l.nearest, dist);
}

template <class V>
void loadRows(const pairData& p, rowLanes<V>& l, const float* x, const float* y, const float* z, const int* index,
              int count) {
  l.xi = V::load(x);
  l.yi = V::load(y);
  l.zi = V::load(z);
  l.ii = V::loadi(index);
  l.live = V::firstLanes(count);
  l.cutoff2 = V::set1(p.cutoff2);
  l.L2 = V::set1(p.L2);
  l.nearest = V::set1(farAway);
}

// Candidates go a chunk at a time. Where most are close to some lane (a compact mesh) each
// is summed as it comes; elsewhere a chunk is first screened and only the close ones are
// summed, since a branch per candidate would then be mispredicted about half the time.
constexpr int screenChunk = 128;

template <class V>
void directedSum(const pairData& p, const int* candidates, int numCandidates, laneBlock& b) {
  for (int first = 0; first < b.count; first += V::lanes) {
    rowLanes<V> l;
    loadRows<V>(p, l, b.x + first, b.y + first, b.z + first, b.index + first, b.count - first);
    l.rx = l.ry = l.rz = V::zero();
    int close[screenChunk];
    typename V::mask closeLanes[screenChunk];
    bool dense = false;
    for (int start = 0; start < numCandidates; start += screenChunk) {
      const int last = start + screenChunk < numCandidates ? start + screenChunk : numCandidates;
      int numClose = 0;
      if (dense) {
        for (int j = start; j < last; ++j) {
          const int k = candidates[j];
          const directedPair<V> d = distanceTo<V>(p, l, k);
          const typename V::mask use = closeTo<V>(p, l, k, d);
          if (!V::any(use)) continue;
          ++numClose;
          repel<V>(p, l, d, use);
        }
      } else {
        for (int j = start; j < last; ++j) {
          const int k = candidates[j];
          close[numClose] = k;
          closeLanes[numClose] = closeTo<V>(p, l, k, distanceTo<V>(p, l, k));
          numClose += V::any(closeLanes[numClose]);
        }
        for (int c = 0; c < numClose; ++c) repel<V>(p, l, distanceTo<V>(p, l, close[c]), closeLanes[c]);
      }
      dense = 8 * numClose >= 7 * (last - start);
    }
    V::store(b.rx + first, l.rx);
    V::store(b.ry + first, l.ry);
    V::store(b.rz + first, l.rz);
    V::store(b.nearest + first, l.nearest);
  }
}

void publishColumns(stripProgress& flag, int columns) { __atomic_store_n(&flag.columns, columns, __ATOMIC_RELEASE); }

// One skewed lead kk of a strip: lane l takes the pair (i0 + l, kk - l), so each row meets
// its k in increasing order, and column kk - l's running sum sits in lane l, sliding up one
// lane per lead: it enters at lane 0 from colSum and leaves lane `lanes` - 1 for colSum
// again once every row of the strip has added its term. `active` holds the lanes whose k
// is a real later vertex; `parents` says whether any parent test can fail.
template <class V, bool parents>
void skewLead(const stripBoard& b, rowLanes<V>& l, typename V::vf (&col)[3], typename V::vi pAi, typename V::vi pBi,
              int kk, typename V::mask active) {
  const pairData& p = b.p;
  const int at = b.padded - 1 - kk;
  directedPair<V> d;
  d.dx = V::sub(l.xi, V::load(b.xr + at));
  d.dy = V::sub(l.yi, V::load(b.yr + at));
  d.dz = V::sub(l.zi, V::load(b.zr + at));
  d.d2 = V::add(V::add(V::mul(d.dx, d.dx), V::mul(d.dy, d.dy)), V::mul(d.dz, d.dz));
  typename V::mask close = V::andm(active, V::lt(d.d2, l.cutoff2));
  if (!V::any(close)) return;
  const typename V::vf dist = V::sqrt(d.d2);
  const typename V::vf den = V::mul(V::mul(d.d2, dist), l.L2);
  close = V::andm(close, V::neq(den, V::zero()));
  typename V::mask rowUse = close, colUse = close;
  if constexpr (parents) {
    // Row i skips k when k hangs on i; column k skips i when i hangs on k.
    const typename V::vi ki = V::subi(V::set1i(kk), V::iota());
    const typename V::mask kOnI =
        V::orm(V::eqi(V::loadi(b.parentAr + at), l.ii), V::eqi(V::loadi(b.parentBr + at), l.ii));
    const typename V::mask iOnK = V::orm(V::eqi(pAi, ki), V::eqi(pBi, ki));
    if constexpr (plantedFault == kernelFault::swappedMasks) {
      rowUse = V::andnot(close, iOnK);
      colUse = V::andnot(close, kOnI);
    } else {
      rowUse = V::andnot(close, kOnI);
      colUse = V::andnot(close, iOnK);
    }
  }
  const typename V::mask use = V::orm(rowUse, colUse);
  typename V::vf qx, qy, qz;
  quotients<V>(p, use, d.dx, d.dy, d.dz, den, qx, qy, qz);
  l.rx = V::addIf(rowUse, l.rx, qx);
  l.ry = V::addIf(rowUse, l.ry, qy);
  l.rz = V::addIf(rowUse, l.rz, qz);
  if constexpr (plantedFault == kernelFault::columnAdded) {
    col[0] = V::addIf(colUse, col[0], qx);
    col[1] = V::addIf(colUse, col[1], qy);
    col[2] = V::addIf(colUse, col[2], qz);
  } else {
    col[0] = V::subIf(colUse, col[0], qx);
    col[1] = V::subIf(colUse, col[1], qy);
    col[2] = V::subIf(colUse, col[2], qz);
  }
  l.nearest = V::minIf(use, l.nearest, dist);
}

template <class V, bool parents>
void skewPart(const stripBoard& b, int strip, rowLanes<V>& l) {
  constexpr int W = V::lanes;
  const int n = b.n, i0 = strip * W;
  const typename V::vi pAi = V::loadi(b.p.parentA + i0), pBi = V::loadi(b.p.parentB + i0);
  typename V::vf col[3] = {V::zero(), V::zero(), V::zero()};
  int ready = 0;  // columns below this are known final in the strip before
  // Lead kk reads column kk and retires column kk - W; the last lead only retires.
  for (int kk = i0 + W; kk <= n - 1 + W; ++kk) {
    if (kk < n && kk >= ready) {
      if constexpr (plantedFault == kernelFault::noWavefrontWait) {
        ready = n;
      } else {
        ready = waitForColumns(b, strip, kk + 1);
      }
    }
    col[0] = V::slide(col[0], b.colX + kk, b.colX + kk - W);
    col[1] = V::slide(col[1], b.colY + kk, b.colY + kk - W);
    col[2] = V::slide(col[2], b.colZ + kk, b.colZ + kk - W);
    if (kk % publishEvery == 0) publishColumns(b.progress[strip], kk - W + 1);
    if (kk == n - 1 + W) break;
    // Lanes whose k = kk - l lies in i0 + W .. n - 1.
    const int firstLane = kk - (n - 1) > 0 ? kk - (n - 1) : 0;
    const int endLane = kk - (i0 + W) + 1;
    if (firstLane == 0 && endLane >= W) {
      skewLead<V, parents>(b, l, col, pAi, pBi, kk, V::firstLanes(W));
    } else {
      skewLead<V, parents>(b, l, col, pAi, pBi, kk, V::andnot(V::firstLanes(endLane), V::firstLanes(firstLane)));
    }
  }
}

template <class V>
float stripSum(const stripBoard& b, int strip) {
  constexpr int W = V::lanes;
  const pairData& p = b.p;
  const int n = b.n, i0 = strip * W;
  const int rows = n - i0 < W ? n - i0 : W;
  if constexpr (plantedFault != kernelFault::noWavefrontWait) waitForColumns(b, strip, i0 + rows);
  int index[W];
  for (int l = 0; l < W; ++l) index[l] = i0 + l;
  rowLanes<V> l;
  loadRows<V>(p, l, p.x + i0, p.y + i0, p.z + i0, index, rows);
  // Every earlier row's term, in order, is already in the column sums.
  if constexpr (plantedFault == kernelFault::skippedColumnSums) {
    l.rx = l.ry = l.rz = V::zero();
  } else {
    l.rx = V::load(b.colX + i0);
    l.ry = V::load(b.colY + i0);
    l.rz = V::load(b.colZ + i0);
  }
  // The strip's own tile, directed.
  for (int k = i0; k < i0 + rows; ++k) {
    const directedPair<V> d = distanceTo<V>(p, l, k);
    const typename V::mask use = closeTo<V>(p, l, k, d);
    if (V::any(use)) repel<V>(p, l, d, use);
  }
  if (i0 + W < n) {
    const bool parents = b.parentsMatter[strip] != 0;
    if (parents) {
      skewPart<V, true>(b, strip, l);
    } else {
      skewPart<V, false>(b, strip, l);
    }
  }
  publishColumns(b.progress[strip], n + W);
  V::store(b.rowX + i0, l.rx);
  V::store(b.rowY + i0, l.ry);
  V::store(b.rowZ + i0, l.rz);
  float lanes[W];
  V::store(lanes, l.nearest);
  float nearest = farAway;
  for (int r = 0; r < rows; ++r) nearest = lanes[r] < nearest ? lanes[r] : nearest;
  return nearest;
}

template <class V>
void quotientsOf(const float* a, const float* den, float* q, int count) {
  pairData p{};
  p.Kr = 1;
  p.exactQuotients = true;
  for (int i = 0; i + V::lanes <= count; i += V::lanes) {
    const typename V::vf d = V::load(den + i);
    typename V::vf qx, qy, qz;
    quotients<V>(p, V::firstLanes(V::lanes), V::load(a + i), V::zero(), V::zero(), d, qx, qy, qz);
    V::store(q + i, qx);
  }
}

template <class V>
kernelSet kernelsOf() {
  return {V::lanes, directedSum<V>, stripSum<V>, quotientsOf<V>};
}

}  // namespace
