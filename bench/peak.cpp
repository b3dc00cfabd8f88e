#include "peak.h"

#include <immintrin.h>
#include <omp.h>

#include <algorithm>
#include <chrono>

// Keeps the streams from being optimised away.
volatile float streamSink;

namespace {

// Eight independent chains per stream keep the divider busy whatever its latency; each
// round is six divisions and two roots, the mix of two close pairs.
constexpr int chains = 8;
constexpr long rounds = 2000000;
constexpr int pairsPerRound = 2;

float scalarStream(long n, float seed) {
  __m128 a[chains];
  for (int j = 0; j < chains; ++j) a[j] = _mm_set_ss(1.5f + seed + static_cast<float>(j));
  const __m128 b = _mm_set_ss(1.0000001f);
  for (long i = 0; i < n; ++i) {
    for (int j = 0; j < 6; ++j) a[j] = _mm_div_ss(a[j], b);
    for (int j = 6; j < chains; ++j) a[j] = _mm_sqrt_ss(a[j]);
  }
  __m128 s = a[0];
  for (int j = 1; j < chains; ++j) s = _mm_add_ss(s, a[j]);
  return _mm_cvtss_f32(s);
}

__attribute__((target("avx2"))) float avx2Stream(long n, float seed) {
  __m256 a[chains];
  for (int j = 0; j < chains; ++j) a[j] = _mm256_set1_ps(1.5f + seed + static_cast<float>(j));
  const __m256 b = _mm256_set1_ps(1.0000001f);
  for (long i = 0; i < n; ++i) {
    for (int j = 0; j < 6; ++j) a[j] = _mm256_div_ps(a[j], b);
    for (int j = 6; j < chains; ++j) a[j] = _mm256_sqrt_ps(a[j]);
  }
  __m256 s = a[0];
  for (int j = 1; j < chains; ++j) s = _mm256_add_ps(s, a[j]);
  return _mm256_cvtss_f32(s);
}

__attribute__((target("avx512f"))) float avx512Stream(long n, float seed) {
  __m512 a[chains];
  for (int j = 0; j < chains; ++j) a[j] = _mm512_set1_ps(1.5f + seed + static_cast<float>(j));
  const __m512 b = _mm512_set1_ps(1.0000001f);
  for (long i = 0; i < n; ++i) {
    for (int j = 0; j < 6; ++j) a[j] = _mm512_div_ps(a[j], b);
    for (int j = 6; j < chains; ++j) a[j] = _mm512_maskz_sqrt_ps(0xFFFF, a[j]);
  }
  __m512 s = a[0];
  for (int j = 1; j < chains; ++j) s = _mm512_add_ps(s, a[j]);
  float lanes[16];
  _mm512_storeu_ps(lanes, s);
  return lanes[0];
}

}  // namespace

namespace {

double streamSeconds(vectorUnit unit, int threads) {
  float sink = 0;
  const auto start = std::chrono::steady_clock::now();
#pragma omp parallel num_threads(threads) reduction(+ : sink)
  {
    const float seed = static_cast<float>(omp_get_thread_num());
    switch (unit) {
      case vectorUnit::avx512:
        sink += avx512Stream(rounds, seed);
        break;
      case vectorUnit::avx2:
        sink += avx2Stream(rounds, seed);
        break;
      default:
        sink += scalarStream(rounds, seed);
        break;
    }
  }
  streamSink = sink;
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

dividerPeak measureDividerPeak(vectorUnit unit, int threads) {
  if (unit == vectorUnit::automatic) unit = widestVectorUnit();
  const int lanes = unit == vectorUnit::avx512 ? 16 : unit == vectorUnit::avx2 ? 8 : 1;
  // The best of a few runs: another process on a core only ever slows a run down.
  double seconds = streamSeconds(unit, threads);
  for (int run = 1; run < 5; ++run) seconds = std::min(seconds, streamSeconds(unit, threads));
  const double pairs = static_cast<double>(rounds) * pairsPerRound * lanes * threads;
  return {lanes, threads, seconds / pairs};
}
