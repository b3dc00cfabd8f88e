#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "fastforces.h"
#include "forces_detail.h"
#include "mechanics.h"
#include "pairkernel.h"
#include "signalling.h"
#include "store_fixture.h"

using morph::vector;

namespace {

std::uint32_t bits(float f) { return std::bit_cast<std::uint32_t>(f); }

// Restores the defaults whatever a test forced.
struct optionsGuard {
  const int threads = omp_get_max_threads();
  optionsGuard() = default;
  optionsGuard(const optionsGuard&) = delete;
  optionsGuard& operator=(const optionsGuard&) = delete;
  ~optionsGuard() {
    E.forceOptions = fastForceOptions();
    omp_set_num_threads(threads);
  }
};

// A random store for the relaxation step.
struct storeRecipe {
  int n = 100;
  float spread = 1;    // side of the cube the points fill
  float offset = 0;    // added to every coordinate
  unsigned cycle = 1;  // totalCycles: picks the cut-off with `triangles`
  int triangles = 20;
  int dependentShare = 0;   // percent of vertices hung on two others (chains included)
  int coincidentShare = 0;  // percent of vertices put on another one
  bool oddValues = false;   // infinities, NaN, and neighbour indices that name no vertex
  unsigned seed = 1;
};

void makeRandomStore(const storeRecipe& r) {
  resetStore();
  std::mt19937 rng(r.seed);
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::uniform_int_distribution<int> percent(0, 99);
  auto any = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };
  E.numVertices = r.n;
  for (int i = 0; i < r.n; ++i) {
    vertex_struct& v = E.vertex[i];
    v.x = r.offset + r.spread * unit(rng);
    v.y = r.offset + r.spread * unit(rng);
    v.z = r.offset + r.spread * unit(rng);
    v.numNeighbors = static_cast<short>(any(7));
    for (int j = 0; j < v.numNeighbors; ++j) v.neighbors[j] = static_cast<short>(any(r.n));
    v.parentA = v.parentB = -1;
    v.updated = 1;
  }
  for (int i = 0; i < r.n; ++i) {
    vertex_struct& v = E.vertex[i];
    if (r.n > 1 && percent(rng) < r.coincidentShare) {
      const vertex_struct& twin = E.vertex[any(r.n)];
      v.x = twin.x;
      v.y = twin.y;
      v.z = twin.z;
    }
    // Parents anywhere in the array: some listed after their dependent, some dependent
    // themselves, so placing needs several sweeps; some never placeable.
    if (r.n > 2 && percent(rng) < r.dependentShare) {
      v.parentA = static_cast<short>(any(r.n));
      v.parentB = static_cast<short>(any(r.n));
    }
  }
  if (r.oddValues && r.n > 4) {
    const float inf = std::numeric_limits<float>::infinity();
    E.vertex[any(r.n)].x = inf;
    E.vertex[any(r.n)].y = -inf;
    E.vertex[any(r.n)].z = std::numeric_limits<float>::quiet_NaN();
    E.vertex[any(r.n)].neighbors[0] = -1;
    E.vertex[any(r.n)].neighbors[0] = static_cast<short>(r.n + 3);
    E.vertex[any(r.n)].numNeighbors = 9;
  }
  E.totalCycles = r.cycle;
  E.numTriangles = r.triangles;
  E.numInitialTriangles = std::max(r.triangles / 3, 1);
  E.forces.attraction = 1 + any(4);
  E.forces.repulsion = 1 + any(4);
}

// The whole pair sum, then a whole step, compared bit for bit with the plain step, for
// `steps` steps in a row.
void expectSameSteps(int steps) {
  const int n = E.numVertices;
  for (int step = 0; step < steps; ++step) {
    SCOPED_TRACE(testing::Message() << "step " << step);
    const forceSettings settings = forceStepSettings(E);
    forceField want = emptyForceField(E), got = emptyForceField(E);
    referencePairForces(E, settings, want);
    fastPairForces(E, settings, got);
    ASSERT_EQ(got.force.size(), want.force.size());
    EXPECT_EQ(bits(got.D), bits(want.D));
    EXPECT_EQ(bits(got.m), bits(want.m));
    int wrong = 0;
    for (int i = 0; i < n && wrong < 5; ++i) {
      const vector a = got.force[i], b = want.force[i];
      if (bits(a.x) != bits(b.x) || bits(a.y) != bits(b.y) || bits(a.z) != bits(b.z)) {
        ++wrong;
        ADD_FAILURE() << "force on " << i << ": " << a.x << " " << a.y << " " << a.z << " instead of " << b.x << " "
                      << b.y << " " << b.z;
      }
    }

    const std::vector<vertex_struct> before(E.vertex.begin(), E.vertex.begin() + n);
    forcesReference(E);
    const float scaleWanted = E.lengthScale;
    const std::vector<vertex_struct> wanted(E.vertex.begin(), E.vertex.begin() + n);
    std::copy(before.begin(), before.end(), E.vertex.begin());
    E.lengthScale = 0;
    forcesFast(E);
    EXPECT_EQ(bits(E.lengthScale), bits(scaleWanted));
    wrong = 0;
    for (int i = 0; i < n && wrong < 5; ++i) {
      const vertex_struct &a = E.vertex[i], &b = wanted[i];
      if (bits(a.x) != bits(b.x) || bits(a.y) != bits(b.y) || bits(a.z) != bits(b.z) || a.updated != b.updated) {
        ++wrong;
        ADD_FAILURE() << "vertex " << i << " at " << a.x << " " << a.y << " " << a.z << " (" << int(a.updated)
                      << ") instead of " << b.x << " " << b.y << " " << b.z << " (" << int(b.updated) << ")";
      }
    }
  }
}

std::vector<vectorUnit> unitsHere() {
  std::vector<vectorUnit> units{vectorUnit::scalar};
  for (const vectorUnit u : {vectorUnit::avx2, vectorUnit::avx512}) {
    if (vectorUnitAvailable(u)) units.push_back(u);
  }
  return units;
}

// Every way of finding pairs and every kernel this processor runs, each against the plain
// step on a fresh copy of the same store.
void expectSameEverywhere(const storeRecipe& recipe, int steps) {
  optionsGuard guard;
  for (const pairSearch search : {pairSearch::allPairs, pairSearch::grid, pairSearch::automatic}) {
    for (const vectorUnit unit : unitsHere()) {
      SCOPED_TRACE(testing::Message() << "search " << int(search) << " unit " << int(unit));
      makeRandomStore(recipe);
      E.forceOptions.search = search;
      E.forceOptions.unit = unit;
      expectSameSteps(steps);
      if (search != pairSearch::automatic) {
        EXPECT_EQ(E.lastFastForces.grid, search == pairSearch::grid);
      }
      EXPECT_EQ(E.lastFastForces.unit, unit);
    }
  }
}

TEST(FastForcesIdentity, SmallAndOddSizes) {
  for (const int n : {0, 1, 2, 3, 15, 16, 17, 31, 33, 40}) {
    SCOPED_TRACE(testing::Message() << "n " << n);
    storeRecipe r;
    r.n = n;
    r.spread = 1.2f;
    r.seed = 10 + n;
    r.dependentShare = 20;
    expectSameEverywhere(r, 2);
  }
}

TEST(FastForcesIdentity, CutoffRegimesAndScales) {
  struct {
    unsigned cycle;
    int triangles;
    float spread, offset;
  } cases[] = {
      {1, 20, 1.0f, 0},          // every pair within the long early cut-off
      {499, 700, 12.0f, -6},     // early cut-off on a wide mesh
      {500, 999, 4.0f, 3},       // middle cut-off
      {500, 1000, 4.0f, 0},      // short cut-off, compact mesh
      {800, 5000, 30.0f, -100},  // short cut-off, wide mesh
      {900, 5000, 8.0f, 1e5f},   // coordinates coarse compared with the cut-off
      {1, 20, 3e30f, -1e30f},    // huge coordinates: no pair is close, the grid is capped
  };
  int seed = 100;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.cycle << " " << c.triangles << " " << c.spread << " " << c.offset);
    storeRecipe r;
    r.n = 333;
    r.cycle = c.cycle;
    r.triangles = c.triangles;
    r.spread = c.spread;
    r.offset = c.offset;
    r.dependentShare = 10;
    r.seed = seed++;
    expectSameEverywhere(r, 3);
  }
}

TEST(FastForcesIdentity, CoincidentVerticesDependentsAndOddValues) {
  storeRecipe r;
  r.n = 300;
  r.spread = 6;
  r.cycle = 600;
  r.triangles = 900;
  r.coincidentShare = 15;
  r.dependentShare = 30;
  r.oddValues = true;
  for (unsigned seed = 1; seed <= 3; ++seed) {
    r.seed = seed;
    expectSameEverywhere(r, 3);
  }
  // Points so close that the denominator vanishes, or even the squared distance.
  r.spread = 1e-19f;
  r.offset = 0.5f;
  r.oddValues = false;
  expectSameEverywhere(r, 1);
  r.offset = 0;
  r.spread = 1e-30f;
  expectSameEverywhere(r, 1);
}

TEST(FastForcesIdentity, ZeroFactors) {
  for (const int attraction : {0, 2}) {
    for (const int repulsion : {0, 3}) {
      SCOPED_TRACE(testing::Message() << attraction << " " << repulsion);
      optionsGuard guard;
      for (const pairSearch search : {pairSearch::allPairs, pairSearch::grid}) {
        storeRecipe r;
        r.n = 260;
        r.spread = 5;
        r.cycle = 1;
        r.seed = 7;
        makeRandomStore(r);
        E.forces.attraction = attraction;
        E.forces.repulsion = repulsion;
        E.forceOptions.search = search;
        expectSameSteps(2);
      }
    }
  }
}

TEST(FastForcesIdentity, SameResultForAnyThreadCount) {
  storeRecipe r;
  r.n = 1100;
  r.spread = 9;
  r.cycle = 1;
  r.dependentShare = 5;
  r.seed = 77;
  optionsGuard guard;
  for (const pairSearch search : {pairSearch::allPairs, pairSearch::grid}) {
    std::vector<std::vector<std::uint32_t>> results;
    for (const int threads : {1, 2, 3}) {
      SCOPED_TRACE(testing::Message() << "threads " << threads << " search " << int(search));
      omp_set_num_threads(threads);
      E.forceOptions.search = search;
      makeRandomStore(r);
      expectSameSteps(1);
      forcesFast(E);
      std::vector<std::uint32_t> positions;
      for (int i = 0; i < E.numVertices; ++i) {
        for (const float c : {E.vertex[i].x, E.vertex[i].y, E.vertex[i].z}) positions.push_back(bits(c));
      }
      results.push_back(positions);
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0], results[2]);
  }
}

TEST(FastForcesSearch, AutomaticChoiceAndGridPruning) {
  optionsGuard guard;
  storeRecipe r;
  r.n = 2000;
  r.seed = 5;
  // Compact: every vertex near every other, so the grid would hand over everything.
  r.spread = 1;
  makeRandomStore(r);
  forcesFast(E);
  EXPECT_FALSE(E.lastFastForces.grid);
  EXPECT_EQ(E.lastFastForces.candidatePairs, 2000LL * 2000);
  // Wide: 40 cut-off lengths across, so each vertex's cells hold a small share.
  r.spread = 40 * std::sqrt(2.0f);
  makeRandomStore(r);
  forcesFast(E);
  EXPECT_TRUE(E.lastFastForces.grid);
  EXPECT_LT(E.lastFastForces.candidatePairs, 2000LL * 2000 / 20);
  // Forced all pairs still tests every pair.
  E.forceOptions.search = pairSearch::allPairs;
  makeRandomStore(r);
  forcesFast(E);
  EXPECT_FALSE(E.lastFastForces.grid);
  EXPECT_EQ(E.lastFastForces.candidatePairs, 2000LL * 2000);
}

// What `morphsweep --unit` names is the unit a step left to choose takes, under its name.
TEST(FastForcesSearch, TheUnitTheProgramsNameIsTheOneTheirStepsTake) {
  optionsGuard guard;
  storeRecipe r;
  r.n = 600;
  r.spread = 2;
  makeRandomStore(r);
  forcesFast(E);
  EXPECT_EQ(E.lastFastForces.unit, programVectorUnit());
  const std::pair<vectorUnit, std::string> names[] = {{vectorUnit::scalar, "scalar"},
                                                      {vectorUnit::avx2, "avx2"},
                                                      {vectorUnit::avx512, "avx512"},
                                                      {vectorUnit::automatic, "automatic"}};
  for (const auto& [unit, name] : names) EXPECT_EQ(vectorUnitName(unit), name);
}

#ifdef MORPH_TEST_UNIT_SEAM
// ThreadSanitizer builds: MORPH_TEST_UNIT takes the place of the unit the program would
// choose, never of one a caller forced; unset, the processor's widest is taken.
TEST(FastForcesSearch, ThreadSanitizerBuildsTakeTheUnitNamedInTheEnvironment) {
  optionsGuard guard;
  const char* before = std::getenv("MORPH_TEST_UNIT");
  const std::string saved = before ? before : "";
  storeRecipe r;
  r.n = 600;
  r.spread = 2;
  const struct {
    const char* value;
    vectorUnit forced, want;
  } cases[] = {
      {"scalar", vectorUnit::automatic, vectorUnit::scalar},
      {"avx2", vectorUnit::automatic, vectorUnitAvailable(vectorUnit::avx2) ? vectorUnit::avx2 : widestVectorUnit()},
      {"avx512", vectorUnit::automatic,
       vectorUnitAvailable(vectorUnit::avx512) ? vectorUnit::avx512 : widestVectorUnit()},
      {"scalar", widestVectorUnit(), widestVectorUnit()},
      {"", vectorUnit::automatic, widestVectorUnit()},
      {"sse", vectorUnit::automatic, widestVectorUnit()},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "MORPH_TEST_UNIT=" << c.value << " forced " << int(c.forced));
    setenv("MORPH_TEST_UNIT", c.value, 1);
    E.forceOptions.unit = c.forced;
    makeRandomStore(r);
    forcesFast(E);
    EXPECT_EQ(E.lastFastForces.unit, c.want);
  }
  if (before) {
    setenv("MORPH_TEST_UNIT", saved.c_str(), 1);
  } else {
    unsetenv("MORPH_TEST_UNIT");
  }
}
#endif

// Whole growth cycles through the core, once with the plain step and once with the fast
// one: the stores must end up identical.
struct storeImage {
  std::vector<std::uint32_t> positions;
  std::vector<int> rest;  // topology and hormones
  std::vector<Face> triangles;
};

storeImage imageOfStore() {
  storeImage s;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    for (const float c : {v.x, v.y, v.z}) s.positions.push_back(bits(c));
    s.rest.insert(s.rest.end(), {v.numNeighbors, v.parentA, v.parentB, v.numDependents, v.hormoneR, v.hormoneG,
                                 v.hormoneB, v.updated});
    s.rest.insert(s.rest.end(), v.neighbors, v.neighbors + 6);
  }
  s.triangles = triangleList();
  return s;
}

// Counts the fast steps that found their pairs with the grid.
storeImage grow(bool reference, unsigned startCycle, int cycles, int& gridSteps) {
  E.forceOptions.reference = reference;
  buildIcosahedron();
  E.random.seed(12345);
  E.totalCycles = startCycle;
  gridSteps = 0;
  for (int c = 0; c < cycles; ++c) {
    ++E.totalCycles;
    const int k = static_cast<int>(std::sqrt(static_cast<double>(E.numTriangles)));
    hormoneGrow(E);
    for (int step = 0; step < 20; ++step) {
      E.lastFastForces.grid = false;
      forces(E);
      gridSteps += E.lastFastForces.grid;
    }
    for (int step = 0; step < k; ++step) diffuse(E);
  }
  return imageOfStore();
}

TEST(FastForcesGrowth, WholeCyclesMatchThePlainStep) {
  optionsGuard guard;
  for (const unsigned start : {0u, 600u}) {
    SCOPED_TRACE(start);
    int gridSteps = 0;
    const storeImage want = grow(true, start, 22, gridSteps);
    EXPECT_EQ(gridSteps, 0);
    const storeImage got = grow(false, start, 22, gridSteps);
    if constexpr (variant::growthSplits) {
      // The embryo grew, and once wide compared with the late cut-off the grid took over.
      EXPECT_GT(want.positions.size(), 3u * 500);
      EXPECT_EQ(gridSteps > 0, start >= 500);
    }
    EXPECT_EQ(got.positions, want.positions);
    EXPECT_EQ(got.rest, want.rest);
    EXPECT_EQ(got.triangles, want.triangles);
    EXPECT_TRUE(storeProblems(E).empty());
  }
}

// The strip schedule replayed by index: every vertex must receive every other vertex's
// term exactly once and in increasing order, whatever the width and the count. A vertex's
// received terms are kept as (count, last index): strictly increasing with n - 1 of them
// and never itself means each other index exactly once.
struct received {
  int count = 0, last = -1;
  bool inOrder = true, self = false;
  void add(int k, int i) {
    inOrder = inOrder && k > last;
    self = self || k == i;
    last = k;
    ++count;
  }
};

TEST(FastForcesSchedule, EveryVertexMeetsEveryOtherOnceInOrder) {
  for (const int lanes : {1, 8, 16}) {
    for (int n = 1; n <= 700; ++n) {
      std::vector<received> row(n), col(n);
      for (int i0 = 0; i0 < n; i0 += lanes) {
        const int rows = std::min(lanes, n - i0);
        // Rows start from their column sums: the terms earlier strips left there.
        for (int r = 0; r < rows; ++r) row[i0 + r] = col[i0 + r];
        for (int r = 0; r < rows; ++r) {
          for (int k = i0; k < i0 + rows; ++k) {
            if (k != i0 + r) row[i0 + r].add(k, i0 + r);
          }
        }
        // Column c lives in lane l at lead c + l, so it meets the strip's rows in lane order.
        for (int kk = skewFirstLead(i0, lanes); kk <= skewLastLead(n, lanes); ++kk) {
          const laneSpan span = skewLanes(kk, i0, lanes, n);
          for (int l = span.first; l < span.end; ++l) {
            ASSERT_LT(i0 + l, n);
            ASSERT_GE(kk - l, 0);
            row[i0 + l].add(kk - l, i0 + l);
            col[kk - l].add(i0 + l, kk - l);
          }
        }
      }
      for (int i = 0; i < n; ++i) {
        ASSERT_TRUE(row[i].inOrder && !row[i].self && row[i].count == n - 1 &&
                    (n == 1 || row[i].last == (i == n - 1 ? n - 2 : n - 1)))
            << "vertex " << i << " of " << n << ", " << lanes << " lanes: " << row[i].count << " terms";
      }
    }
  }
}

struct unitCase {
  vectorUnit unit;
  const char* name;
};

// Each vector unit on its own, so that a machine without one says so instead of leaving it
// out quietly.
class FastForcesUnit : public testing::TestWithParam<unitCase> {
 protected:
  void SetUp() override {
    if (!vectorUnitAvailable(GetParam().unit)) {
      GTEST_SKIP() << "this processor has no " << GetParam().name << ", so that kernel is not checked here";
    }
  }
};

// A store where some pairs sit a few units in the last place apart near 2^-20: den falls
// below 2^-40, even into the subnormals, where only hardware division gives the quotient.
void addTinyDenominators(int first, int count) {
  for (int i = first; i < first + count && i < E.numVertices; ++i) {
    vertex_struct& v = E.vertex[i];
    const int step = i - first;
    v.x = 0x1p-20f + static_cast<float>(step % 3) * 0x1p-43f;
    v.y = 0x1p-20f + static_cast<float>(step % 2) * 0x1p-43f;
    v.z = 0x1p-20f + static_cast<float>(step % 5) * 0x1p-42f;
  }
}

TEST_P(FastForcesUnit, WholeStepsAtAnyThreadCountAndQuotientForm) {
  optionsGuard guard;
  E.forceOptions.unit = GetParam().unit;
  storeRecipe r;
  r.n = 1100;
  r.spread = 9;
  r.cycle = 1;
  r.dependentShare = 6;
  r.coincidentShare = 3;
  r.seed = 91;
  for (const quotientForm form : {quotientForm::divided, quotientForm::corrected}) {
    for (const pairSearch search : {pairSearch::allPairs, pairSearch::grid}) {
      for (const int threads : {1, 2, 3}) {
        SCOPED_TRACE(testing::Message() << "form " << int(form) << " search " << int(search) << " threads " << threads);
        omp_set_num_threads(threads);
        E.forceOptions.quotients = form;
        E.forceOptions.search = search;
        makeRandomStore(r);
        addTinyDenominators(40, 30);
        expectSameSteps(2);
        EXPECT_EQ(E.lastFastForces.unit, GetParam().unit);
        EXPECT_EQ(E.lastFastForces.corrected, form == quotientForm::corrected);
      }
    }
  }
}

TEST_P(FastForcesUnit, SmallStoresAndStripEdges) {
  optionsGuard guard;
  E.forceOptions.unit = GetParam().unit;
  E.forceOptions.search = pairSearch::allPairs;
  for (const quotientForm form : {quotientForm::divided, quotientForm::corrected}) {
    E.forceOptions.quotients = form;
    for (const int n : {1, 7, 8, 9, 16, 17, 24, 31, 32, 33, 47, 48, 49, 95}) {
      SCOPED_TRACE(testing::Message() << "form " << int(form) << " n " << n);
      storeRecipe r;
      r.n = n;
      r.spread = 1.5f;
      r.dependentShare = 25;
      r.coincidentShare = 5;
      r.seed = 300 + n;
      makeRandomStore(r);
      addTinyDenominators(0, n / 3);
      expectSameSteps(1);
    }
  }
}

// Whole growth cycles with the unit at each thread count, against one plain run.
TEST_P(FastForcesUnit, WholeGrowthCyclesAtAnyThreadCount) {
  optionsGuard guard;
  int gridSteps = 0;
  const storeImage want = grow(true, 600, 22, gridSteps);
  E.forceOptions.unit = GetParam().unit;
  for (const int threads : {1, 2, 3}) {
    SCOPED_TRACE(testing::Message() << "threads " << threads);
    omp_set_num_threads(threads);
    const storeImage got = grow(false, 600, 22, gridSteps);
    EXPECT_EQ(got.positions, want.positions);
    EXPECT_EQ(got.rest, want.rest);
    EXPECT_EQ(got.triangles, want.triangles);
  }
}

INSTANTIATE_TEST_SUITE_P(Units, FastForcesUnit,
                         testing::Values(unitCase{vectorUnit::scalar, "scalar"},
                                         unitCase{vectorUnit::avx2, "AVX2 with FMA"},
                                         unitCase{vectorUnit::avx512, "AVX-512"}),
                         [](const testing::TestParamInfo<unitCase>& info) {
                           switch (info.param.unit) {
                             case vectorUnit::avx512:
                               return std::string("avx512");
                             case vectorUnit::avx2:
                               return std::string("avx2");
                             default:
                               return std::string("scalar");
                           }
                         });

}  // namespace
