// The pair kernels with AVX-512: 16 lanes, one mask register per lane set.
#include <immintrin.h>

#include "pairkernel.h"

// g++ 12 takes the intrinsics' deliberately undefined pass-through operands for
// uninitialised variables.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {

struct avx512 {
  static constexpr int lanes = 16;
  static constexpr bool fused = true;
  using vf = __m512;
  using vi = __m512i;
  using mask = __mmask16;

  static vf load(const float* p) { return _mm512_loadu_ps(p); }
  static vi loadi(const int* p) { return _mm512_loadu_si512(p); }
  static void store(float* p, vf v) { _mm512_storeu_ps(p, v); }
  static vf set1(float f) { return _mm512_set1_ps(f); }
  static vi set1i(int i) { return _mm512_set1_epi32(i); }
  static vf zero() { return _mm512_setzero_ps(); }
  static vi iota() { return _mm512_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15); }
  static vf add(vf a, vf b) { return _mm512_add_ps(a, b); }
  static vf sub(vf a, vf b) { return _mm512_sub_ps(a, b); }
  static vi subi(vi a, vi b) { return _mm512_sub_epi32(a, b); }
  static vf mul(vf a, vf b) { return _mm512_mul_ps(a, b); }
  static vf div(vf a, vf b) { return _mm512_div_ps(a, b); }
  static vf sqrt(vf a) { return _mm512_sqrt_ps(a); }
  // a * b + c and c - a * b, each rounded once: only the exact quotient uses them.
  static vf fmadd(vf a, vf b, vf c) { return _mm512_fmadd_ps(a, b, c); }
  static vf fnmadd(vf a, vf b, vf c) { return _mm512_fnmadd_ps(a, b, c); }
  static mask lt(vf a, vf b) { return _mm512_cmp_ps_mask(a, b, _CMP_LT_OQ); }
  static mask neq(vf a, vf b) { return _mm512_cmp_ps_mask(a, b, _CMP_NEQ_UQ); }
  static mask eqi(vi a, vi b) { return _mm512_cmpeq_epi32_mask(a, b); }
  static mask andm(mask a, mask b) { return static_cast<mask>(a & b); }
  static mask orm(mask a, mask b) { return static_cast<mask>(a | b); }
  static mask andnot(mask a, mask b) { return static_cast<mask>(a & ~b); }
  static bool any(mask m) { return m != 0; }
  static mask firstLanes(int count) {
    if (count <= 0) return 0;
    if (count >= lanes) return 0xFFFF;
    return static_cast<mask>((1u << count) - 1);
  }
  static vf addIf(mask m, vf sum, vf q) { return _mm512_mask_add_ps(sum, m, sum, q); }
  static vf subIf(mask m, vf sum, vf q) { return _mm512_mask_sub_ps(sum, m, sum, q); }
  static vf minIf(mask m, vf nearest, vf dist) { return _mm512_mask_min_ps(nearest, m, nearest, dist); }
  // Lane 15 leaves for *out, the rest move up one lane and *in enters lane 0. Only the
  // align is on the chain that carries a column from lead to lead.
  static vf slide(vf c, const float* in, float* out) {
    _mm512_mask_storeu_ps(out - (lanes - 1), 0x8000, c);
    const __m512i shifted = _mm512_alignr_epi32(_mm512_castps_si512(c), _mm512_castps_si512(_mm512_set1_ps(*in)), 15);
    return _mm512_castsi512_ps(shifted);
  }
};

}  // namespace

#include "pairkernel_body.h"

kernelSet avx512Kernels() { return kernelsOf<avx512>(); }
