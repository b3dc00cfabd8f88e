// The pair kernels with AVX2 and FMA: 8 lanes, masks as all-ones lanes.
#include <immintrin.h>

#include "pairkernel.h"

namespace {

struct avx2 {
  static constexpr int lanes = 8;
  static constexpr bool fused = true;
  using vf = __m256;
  using vi = __m256i;
  using mask = __m256;

  static vf load(const float* p) { return _mm256_loadu_ps(p); }
  static vi loadi(const int* p) { return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)); }
  static void store(float* p, vf v) { _mm256_storeu_ps(p, v); }
  static vf set1(float f) { return _mm256_set1_ps(f); }
  static vi set1i(int i) { return _mm256_set1_epi32(i); }
  static vf zero() { return _mm256_setzero_ps(); }
  static vi iota() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
  static vf add(vf a, vf b) { return _mm256_add_ps(a, b); }
  static vf sub(vf a, vf b) { return _mm256_sub_ps(a, b); }
  static vi subi(vi a, vi b) { return _mm256_sub_epi32(a, b); }
  static vf mul(vf a, vf b) { return _mm256_mul_ps(a, b); }
  static vf div(vf a, vf b) { return _mm256_div_ps(a, b); }
  static vf sqrt(vf a) { return _mm256_sqrt_ps(a); }
  // a * b + c and c - a * b, each rounded once: only the exact quotient uses them.
  static vf fmadd(vf a, vf b, vf c) { return _mm256_fmadd_ps(a, b, c); }
  static vf fnmadd(vf a, vf b, vf c) { return _mm256_fnmadd_ps(a, b, c); }
  static mask lt(vf a, vf b) { return _mm256_cmp_ps(a, b, _CMP_LT_OQ); }
  static mask neq(vf a, vf b) { return _mm256_cmp_ps(a, b, _CMP_NEQ_UQ); }
  static mask eqi(vi a, vi b) { return _mm256_castsi256_ps(_mm256_cmpeq_epi32(a, b)); }
  static mask andm(mask a, mask b) { return _mm256_and_ps(a, b); }
  static mask orm(mask a, mask b) { return _mm256_or_ps(a, b); }
  static mask andnot(mask a, mask b) { return _mm256_andnot_ps(b, a); }
  static bool any(mask m) { return _mm256_movemask_ps(m) != 0; }
  static mask firstLanes(int count) {
    return _mm256_castsi256_ps(_mm256_cmpgt_epi32(_mm256_set1_epi32(count), iota()));
  }
  static vf addIf(mask m, vf sum, vf q) { return _mm256_blendv_ps(sum, _mm256_add_ps(sum, q), m); }
  static vf subIf(mask m, vf sum, vf q) { return _mm256_blendv_ps(sum, _mm256_sub_ps(sum, q), m); }
  static vf minIf(mask m, vf nearest, vf dist) { return _mm256_blendv_ps(nearest, _mm256_min_ps(nearest, dist), m); }
  // Lane 7 leaves for *out, the rest move up one lane and *in enters lane 0.
  static vf slide(vf c, const float* in, float* out) {
    const vf rotated = _mm256_permutevar8x32_ps(c, _mm256_setr_epi32(7, 0, 1, 2, 3, 4, 5, 6));
    _mm_store_ss(out, _mm256_castps256_ps128(rotated));
    return _mm256_blend_ps(rotated, _mm256_broadcast_ss(in), 1);
  }
};

}  // namespace

#include "pairkernel_body.h"

kernelSet avx2Kernels() { return kernelsOf<avx2>(); }
