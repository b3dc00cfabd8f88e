// What bounds one lead of the all-pairs strip walk on this processor: the lead's own
// operations (16 unordered pairs: differences, squared distance, root, den, three
// quotients, the column slide and the row and column sums) in a plain loop over
// positions in cache, one thread, with each way of forming the quotients and with the
// root and divisions left out. The last line is the floor the other units set: no kernel
// with this schedule gets below it however fast the divider.
// Usage: lead_floor   (needs AVX-512; prints nanoseconds per lead)
#include <immintrin.h>

#include <chrono>
#include <cstdio>
#include <random>
#include <vector>

// g++ 12 takes the intrinsics' deliberately undefined pass-through operands for
// uninitialised variables.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"

namespace {

enum class quotients { divided, corrected, none };

template <quotients form, bool root>
__attribute__((target("avx512f,fma"))) double nanosecondsPerLead() {
  constexpr int n = 10000, reps = 400;
  const int padded = n + 64;
  std::vector<float> xr(padded), yr(padded), zr(padded), cx(padded + 32), cy(padded + 32), cz(padded + 32);
  std::mt19937 rng(1);
  std::uniform_real_distribution<float> u(-0.5f, 0.5f);
  for (int i = 0; i < padded; ++i) {
    xr[i] = u(rng);
    yr[i] = u(rng);
    zr[i] = u(rng);
  }
  const __m512 xi = _mm512_loadu_ps(&xr[3]), yi = _mm512_loadu_ps(&yr[5]), zi = _mm512_loadu_ps(&zr[7]);
  const __m512 cutoff2 = _mm512_set1_ps(2.0f), L2 = _mm512_set1_ps(0.37f), one = _mm512_set1_ps(1.0f),
               zero = _mm512_setzero_ps();
  __m512 rx = zero, ry = zero, rz = zero, nearest = _mm512_set1_ps(1e30f), c[3] = {zero, zero, zero};
  float* col[3] = {cx.data(), cy.data(), cz.data()};
  const auto start = std::chrono::steady_clock::now();
  for (int r = 0; r < reps; ++r) {
    for (int kk = 16; kk < n; ++kk) {
      const int at = padded - 32 - kk;
      const __m512 dx = _mm512_sub_ps(xi, _mm512_loadu_ps(&xr[at]));
      const __m512 dy = _mm512_sub_ps(yi, _mm512_loadu_ps(&yr[at]));
      const __m512 dz = _mm512_sub_ps(zi, _mm512_loadu_ps(&zr[at]));
      const __m512 d2 =
          _mm512_add_ps(_mm512_add_ps(_mm512_mul_ps(dx, dx), _mm512_mul_ps(dy, dy)), _mm512_mul_ps(dz, dz));
      __mmask16 use = _mm512_cmp_ps_mask(d2, cutoff2, _CMP_LT_OQ);
      const __m512 dist = root ? _mm512_sqrt_ps(d2) : d2;
      const __m512 den = _mm512_mul_ps(_mm512_mul_ps(d2, dist), L2);
      use &= _mm512_cmp_ps_mask(den, zero, _CMP_NEQ_UQ);
      __m512 q[3];
      const __m512 d[3] = {dx, dy, dz};
      if constexpr (form == quotients::divided) {
        for (int j = 0; j < 3; ++j) q[j] = _mm512_div_ps(d[j], den);
      } else {
        const __m512 y = form == quotients::corrected ? _mm512_div_ps(one, den) : den;
        for (int j = 0; j < 3; ++j) {
          const __m512 q0 = _mm512_mul_ps(d[j], y);
          q[j] = _mm512_fmadd_ps(_mm512_fnmadd_ps(den, q0, d[j]), y, q0);
        }
      }
      for (int j = 0; j < 3; ++j) {
        _mm512_mask_storeu_ps(col[j] + kk, 0x8000, c[j]);
        c[j] = _mm512_castsi512_ps(
            _mm512_alignr_epi32(_mm512_castps_si512(c[j]), _mm512_castps_si512(_mm512_set1_ps(col[j][kk + 16])), 15));
        c[j] = _mm512_mask_sub_ps(c[j], use, c[j], q[j]);
      }
      rx = _mm512_mask_add_ps(rx, use, rx, q[0]);
      ry = _mm512_mask_add_ps(ry, use, ry, q[1]);
      rz = _mm512_mask_add_ps(rz, use, rz, q[2]);
      nearest = _mm512_mask_min_ps(nearest, use, nearest, dist);
    }
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  // Keeps the sums alive.
  float sink[16];
  _mm512_storeu_ps(sink, _mm512_add_ps(_mm512_add_ps(rx, ry), _mm512_add_ps(rz, _mm512_add_ps(nearest, c[0]))));
  if (sink[0] == 12345.0f) std::puts("");
  return seconds * 1e9 / (static_cast<double>(reps) * (n - 16));
}

template <quotients form, bool root>
double best() {
  double b = 1e300;
  for (int run = 0; run < 5; ++run) b = std::min(b, nanosecondsPerLead<form, root>());
  return b;
}

}  // namespace

int main() {
  if (!__builtin_cpu_supports("avx512f")) {
    std::printf("this processor has no AVX-512: nothing to measure\n");
    return 0;
  }
  std::printf("one lead (16 unordered pairs), one thread, positions in cache; nanoseconds\n");
  std::printf("three divisions and the root            %6.2f\n", best<quotients::divided, true>());
  std::printf("one division, corrections and the root  %6.2f\n", best<quotients::corrected, true>());
  std::printf("corrections only, no root (the floor)   %6.2f\n", best<quotients::none, false>());
}
