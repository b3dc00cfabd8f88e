// The pair kernel's exact quotient, checked against hardware division: every numerator
// mantissa for the divisor mantissas where the rounding argument is tightest, random pairs
// over the whole range the step-wide check admits, the fallback below it, and the
// boundaries of that check. MORPH_DIVISION_FULL=1 (scripts/division-check.sh) widens the
// exhaustive part from a CI-sized subset to 512 divisor mantissas.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "fastforces.h"
#include "pairkernel.h"

namespace {

struct unitCase {
  vectorUnit unit;
  const char* name;
};

class ExactQuotient : public testing::TestWithParam<unitCase> {
 protected:
  void SetUp() override {
    if (!vectorUnitAvailable(GetParam().unit)) {
      GTEST_SKIP() << "this processor has no " << GetParam().name << ", so its quotient is not checked here";
    }
    kernels = GetParam().unit == vectorUnit::avx512 ? avx512Kernels() : avx2Kernels();
  }

  // Quotients of the whole arrays (padded to whole vectors with 1 / 1), compared with
  // hardware division; zeros compare without their sign. Returns the number that differ
  // and reports the first few.
  long long mismatches(const std::vector<float>& a, const std::vector<float>& den) {
    const std::size_t count = a.size();
    if (count % maxLanes != 0) {
      std::vector<float> paddedA(a), paddedDen(den);
      paddedA.resize(count + maxLanes - count % maxLanes, 1.0f);
      paddedDen.resize(paddedA.size(), 1.0f);
      return mismatches(paddedA, paddedDen);
    }
    std::vector<float> q(count);
    kernels.quotients(a.data(), den.data(), q.data(), static_cast<int>(count));
    long long wrong = 0;
    for (std::size_t i = 0; i < count; ++i) {
      const float want = a[i] / den[i];
      const bool same =
          (want == 0 && q[i] == 0) || std::bit_cast<std::uint32_t>(want) == std::bit_cast<std::uint32_t>(q[i]);
      if (same) continue;
      if (++wrong <= 3) {
        ADD_FAILURE() << std::hexfloat << a[i] << " / " << den[i] << " gave " << q[i] << " instead of " << want;
      }
    }
    return wrong;
  }

  kernelSet kernels{};
};

float withMantissa(std::uint32_t mantissa, int exponent, bool negative) {
  const std::uint32_t bits =
      (negative ? 0x80000000u : 0u) | (static_cast<std::uint32_t>(exponent + 127) << 23) | mantissa;
  return std::bit_cast<float>(bits);
}

// The divisor mantissas the rounding argument leaves to be checked (0x7FFFFE, 0x7FFFFF)
// come first, then the largest and smallest others.
std::vector<std::uint32_t> extremeMantissas(int count) {
  std::vector<std::uint32_t> m{0x7FFFFE, 0x7FFFFF};
  for (std::uint32_t k = 0; static_cast<int>(m.size()) < count; ++k) {
    m.push_back(0x7FFFFD - k);
    if (static_cast<int>(m.size()) < count) m.push_back(k);
  }
  return m;
}

bool fullRun() {
  const char* full = std::getenv("MORPH_DIVISION_FULL");
  return full && std::string(full) == "1";
}

// The two divisor mantissas the argument leaves open get every numerator mantissa; so do
// the others in the full run, while the CI run samples every 97th numerator for them.
TEST_P(ExactQuotient, EveryNumeratorMantissaForExtremeDivisors) {
  const bool full = fullRun();
  constexpr std::uint32_t mantissas = 1u << 23;
  std::vector<float> a, den;
  long long wrong = 0;
  int checked = 0;
  for (const std::uint32_t d : extremeMantissas(full ? 512 : 64)) {
    const bool open = d >= 0x7FFFFE;
    const std::uint32_t stride = full || open ? 1 : 97;
    // Divisor exponents at both ends of what the kernel meets, numerators of both signs;
    // each numerator mantissa below and above the divisor's puts the quotient in both
    // halves of a binade.
    for (const int denExponent : {-40, 35}) {
      const bool negative = (checked++ % 2) == 1;
      a.clear();
      den.clear();
      for (std::uint32_t m = 0; m < mantissas; m += stride) {
        a.push_back(withMantissa(m, 3, negative));
        den.push_back(withMantissa(d, denExponent, false));
      }
      wrong += mismatches(a, den);
      ASSERT_EQ(wrong, 0) << std::hex << "divisor mantissa 0x" << d;
    }
  }
}

TEST_P(ExactQuotient, RandomPairsOverTheWholeDomain) {
  // |Kr * d| in [2^-63, 2^22], den in [2^-40, 2^36], uniform in exponent and mantissa.
  std::mt19937 rng(2026);
  std::uniform_int_distribution<std::uint32_t> mantissa(0, (1u << 23) - 1);
  std::uniform_int_distribution<int> aExponent(-63, 21), denExponent(-40, 35), sign(0, 1);
  const std::size_t count = fullRun() ? std::size_t{1} << 28 : std::size_t{1} << 21;
  std::vector<float> a, den;
  for (std::size_t done = 0; done < count;) {
    const std::size_t chunk = std::min<std::size_t>(count - done, std::size_t{1} << 20);
    a.resize(chunk);
    den.resize(chunk);
    for (std::size_t i = 0; i < chunk; ++i) {
      a[i] = withMantissa(mantissa(rng), aExponent(rng), sign(rng) == 1);
      den[i] = withMantissa(mantissa(rng), denExponent(rng), false);
    }
    ASSERT_EQ(mismatches(a, den), 0);
    done += chunk;
  }
}

TEST_P(ExactQuotient, TinyDenominatorsDivideInstead) {
  // Below 2^-40 the reciprocal overflows or the remainder leaves the normal range; such
  // vectors must take hardware division, whatever their other lanes hold.
  std::vector<float> a, den;
  for (int e = -149; e <= -30; ++e) {
    for (const float m : {1.0f, 1.5f, 1.9999999f}) {
      const float d = std::ldexp(m, e);
      if (d == 0) continue;
      for (const float numerator : {0x1p-63f, -0x1.8p-50f, 0x1.fffffep-20f, 3.0f, -0x1p21f}) {
        a.push_back(numerator);
        den.push_back(d);
      }
    }
  }
  EXPECT_EQ(mismatches(a, den), 0);
}

INSTANTIATE_TEST_SUITE_P(Units, ExactQuotient,
                         testing::Values(unitCase{vectorUnit::avx512, "AVX-512"},
                                         unitCase{vectorUnit::avx2, "AVX2 with FMA"}),
                         [](const testing::TestParamInfo<unitCase>& info) {
                           return std::string(info.param.unit == vectorUnit::avx512 ? "avx512" : "avx2");
                         });

// The step-wide check admits exactly its stated ranges, each bound included.
TEST(QuotientDomain, BoundariesOfTheStepWideCheck) {
  const forceSettings ok{2.0f, 1.0f, 1.0f, 1.0f};
  float x[3] = {0.5f, -0.0f, 0x1p-40f}, y[3] = {0, 1, -0x1p-40f}, z[3] = {1e30f, INFINITY, NAN};
  EXPECT_TRUE(quotientDomainOk(ok, x, y, z, 3));

  auto with = [&](float cutoff2, float L2, float Kr) { return quotientDomainOk({cutoff2, L2, 1.0f, Kr}, x, y, z, 3); };
  EXPECT_TRUE(with(16.0f, 1.0f, 1.0f));
  EXPECT_FALSE(with(std::nextafter(16.0f, 20.0f), 1.0f, 1.0f));
  EXPECT_FALSE(with(NAN, 1.0f, 1.0f));
  EXPECT_TRUE(with(2.0f, 0x1p-30f, 1.0f));
  EXPECT_FALSE(with(2.0f, std::nextafter(0x1p-30f, 0.0f), 1.0f));
  EXPECT_TRUE(with(2.0f, 0x1p30f, 1.0f));
  EXPECT_FALSE(with(2.0f, std::nextafter(0x1p30f, 0x1p31f), 1.0f));
  EXPECT_TRUE(with(2.0f, 1.0f, 0.0f));
  EXPECT_TRUE(with(2.0f, 1.0f, -1.0f));
  EXPECT_FALSE(with(2.0f, 1.0f, std::nextafter(1.0f, 0.0f)));
  EXPECT_TRUE(with(2.0f, 1.0f, 0x1p20f));
  EXPECT_FALSE(with(2.0f, 1.0f, -std::nextafter(0x1p20f, 0x1p21f)));

  x[2] = std::nextafter(0x1p-40f, 0.0f);
  EXPECT_FALSE(quotientDomainOk(ok, x, y, z, 3));
  x[2] = 0x1p-40f;
  z[0] = -std::nextafter(0x1p-40f, 0.0f);
  EXPECT_FALSE(quotientDomainOk(ok, x, y, z, 3));
  // Only the first n vertices count.
  EXPECT_TRUE(quotientDomainOk(ok, x + 1, y + 1, z + 1, 2));
}

}  // namespace
