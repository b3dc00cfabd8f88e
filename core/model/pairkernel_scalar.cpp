// The pair kernels for processors with neither vector set: one lane, hardware division
// for every quotient (without a fused multiply-add unit the exact quotient would cost more
// than the division it saves).
#include <cmath>

#include "pairkernel.h"

namespace {

struct scalar {
  static constexpr int lanes = 1;
  static constexpr bool fused = false;
  using vf = float;
  using vi = int;
  using mask = bool;

  static vf load(const float* p) { return *p; }
  static vi loadi(const int* p) { return *p; }
  static void store(float* p, vf v) { *p = v; }
  static vf set1(float f) { return f; }
  static vi set1i(int i) { return i; }
  static vf zero() { return 0; }
  static vi iota() { return 0; }
  static vf add(vf a, vf b) { return a + b; }
  static vf sub(vf a, vf b) { return a - b; }
  static vi subi(vi a, vi b) { return a - b; }
  static vf mul(vf a, vf b) { return a * b; }
  static vf div(vf a, vf b) { return a / b; }
  static vf sqrt(vf a) { return std::sqrt(a); }
  static vf fmadd(vf a, vf b, vf c) { return std::fma(a, b, c); }
  static vf fnmadd(vf a, vf b, vf c) { return std::fma(-a, b, c); }
  static mask lt(vf a, vf b) { return a < b; }
  static mask neq(vf a, vf b) { return a != b; }
  static mask eqi(vi a, vi b) { return a == b; }
  static mask andm(mask a, mask b) { return a && b; }
  static mask orm(mask a, mask b) { return a || b; }
  static mask andnot(mask a, mask b) { return a && !b; }
  static bool any(mask m) { return m; }
  static mask firstLanes(int count) { return count > 0; }
  static vf addIf(mask m, vf sum, vf q) { return m ? sum + q : sum; }
  static vf subIf(mask m, vf sum, vf q) { return m ? sum - q : sum; }
  static vf minIf(mask m, vf nearest, vf dist) { return m && dist < nearest ? dist : nearest; }
  static vf slide(vf c, const float* in, float* out) {
    *out = c;
    return *in;
  }
};

}  // namespace

#include "pairkernel_body.h"

kernelSet scalarKernels() { return kernelsOf<scalar>(); }
