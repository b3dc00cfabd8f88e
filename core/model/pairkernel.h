// What the relaxation step's vector pair kernels share with their caller: the data of one
// step, the two ways a kernel is driven (a block of vertices against a candidate list, or
// a strip of rows against every later vertex), and one entry per instruction set. Each
// instruction set's kernel is the one body in pairkernel_body.h compiled for it.
#pragma once

// The widest kernel sums 16 vertices side by side.
inline constexpr int maxLanes = 16;

// What every kernel of one step reads: positions and parents by vertex index, and the
// step's constants. The arrays are padded past n (positions 0, parents -1).
struct pairData {
  const float* x;
  const float* y;
  const float* z;
  const int* parentA;
  const int* parentB;
  float cutoff2;
  float L2;
  float Kr;
  // The step's positions and constants lie where one division per pair gives every
  // quotient exactly (quotientDomainOk); otherwise every quotient is divided out.
  bool exactQuotients;
};

// Up to maxLanes vertices summed side by side against a candidate list, and what the
// kernel leaves for each.
struct laneBlock {
  int count = 0;
  int index[maxLanes];
  float x[maxLanes], y[maxLanes], z[maxLanes];
  float rx[maxLanes], ry[maxLanes], rz[maxLanes];
  float nearest[maxLanes];  // smallest distance of a pair that repelled; infinity if none
};

// How far one strip's column sums are final, alone on its cache line: two threads polling
// neighbouring flags on one line would slow each other to half speed.
struct alignas(64) stripProgress {
  int columns;  // colX/colY/colZ[c] hold every earlier row's term for every c < columns
};

// The skewed walk of the strip whose first row is i0, for `lanes` rows and n vertices:
// leads run from skewFirstLead to skewLastLead; at lead kk, lane l pairs row i0 + l with
// vertex kk - l for the lanes of skewLanes (a later vertex below n), and the column
// leaving lane lanes - 1 is kk - lanes.
struct laneSpan {
  int first, end;  // lanes first .. end - 1
};
// Internal linkage: a copy compiled with one instruction set's flags must never stand in
// for another file's.
namespace {
constexpr int skewFirstLead(int i0, int lanes) { return i0 + lanes; }
constexpr int skewLastLead(int n, int lanes) { return n - 1 + lanes; }
constexpr laneSpan skewLanes(int kk, int i0, int lanes, int n) {
  const int first = kk - (n - 1) > 0 ? kk - (n - 1) : 0;
  const int end = kk - (i0 + lanes) + 1 < lanes ? kk - (i0 + lanes) + 1 : lanes;
  return {first, end};
}
}  // namespace

// Where a strip stands between two runs. A strip runs while the column sums it reads are
// final; when it catches up with the strip before, it parks here and its thread takes
// other work, so a thread that loses its core to another process holds up only the strips
// that truly depend on it.
struct alignas(64) stripState {
  float rows[4][maxLanes];  // the rows' running x, y, z sums and nearest distance
  float col[3][maxLanes];   // the column sums in flight, lane l holding column next - 1 - l
  int next;                 // the next lead; 0 before the strip has started
  int needed;               // columns the strip before must have published to go on
  int owner;                // 1 while a thread runs the strip
  int done;                 // 1 once the rows are final and every column published
  float nearest;            // once done: the strip's smallest repelling distance
};

// The all-pairs sum cut into strips of `lanes` rows. Strip s holds rows s*lanes onwards;
// it starts from the column sums of its rows (every earlier row's term, in order), sums
// its own tile directed, then walks every later vertex once, adding each pair's quotient
// to its row and subtracting it from the column.
struct stripBoard {
  pairData p;
  int n;
  int padded;       // length of the forward arrays; the reversed ones hold the same
  const float* xr;  // xr[padded - 1 - k] = x[k], so that lanes l = 0.. read k, k-1, ...
  const float* yr;
  const float* zr;
  const int* parentAr;
  const int* parentBr;
  float* colX;  // column sums by vertex index, padded like the positions; a kernel may
  float* colY;  // write up to maxLanes entries before index 0 (allocated)
  float* colZ;
  float* rowX;  // each vertex's finished repulsion
  float* rowY;
  float* rowZ;
  stripProgress* progress;  // one per strip
  stripState* states;       // one per strip
  // Per strip, in increasing order: the leads at which one of the strip's rows meets a
  // vertex it hangs on or that hangs on it. Strip s's are parentLeads[parentLeadStart[s]]
  // up to parentLeads[parentLeadStart[s + 1]]; every other lead tests no parent.
  const int* parentLeadStart;
  const int* parentLeads;
};

// Sums the block's repulsion from the candidates, which come in increasing index order.
using directedKernel = void (*)(const pairData& p, const int* candidates, int numCandidates, laneBlock& b);
// Runs strip `strip` from where it stands as far as the columns published by the strip
// before allow, publishing its own as it goes; the caller owns the strip. Returns whether
// the strip is done (its rows' repulsion written, its nearest distance in its state).
using stripKernel = bool (*)(const stripBoard& board, int strip);
// The quotient of each pair exactly as the kernel forms it on its fast path, for the
// division checks: q[i] = a[i] / den[i], count a multiple of the lanes.
using quotientKernel = void (*)(const float* a, const float* den, float* q, int count);

struct kernelSet {
  int lanes;
  directedKernel directed;
  stripKernel strip;
  quotientKernel quotients;
};

kernelSet scalarKernels();
kernelSet avx2Kernels();
kernelSet avx512Kernels();
