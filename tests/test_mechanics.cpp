#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "forces_detail.h"
#include "mechanics.h"
#include "store_fixture.h"

using morph::vector;

namespace {

constexpr float noPair = 32000;

// One hand-built vertex: position, neighbour list as stored, parents (-1 when free).
struct Spot {
  float x, y, z;
  std::vector<short> neighbours = {};
  short parentA = -1, parentB = -1;
};

// Fills the store directly; forces reads no triangle, only the count.
void makeStore(const std::vector<Spot>& spots, unsigned cycle, int triangles) {
  resetStore();
  E.numVertices = static_cast<int>(spots.size());
  for (int i = 0; i < E.numVertices; ++i) {
    vertex_struct& v = E.vertex[i];
    v.x = spots[i].x;
    v.y = spots[i].y;
    v.z = spots[i].z;
    v.numNeighbors = static_cast<short>(spots[i].neighbours.size());
    for (int j = 0; j < v.numNeighbors; ++j) v.neighbors[j] = spots[i].neighbours[j];
    v.parentA = spots[i].parentA;
    v.parentB = spots[i].parentB;
    v.updated = 1;  // as the previous step leaves them
  }
  E.totalCycles = cycle;
  E.numTriangles = triangles;
  E.numInitialTriangles = triangles;  // the sweep's scale is then 1
  E.forces.attraction = E.forces.repulsion = 1;
}

// The arithmetic the step is held to, written out for the expectations.
float lengthOf(vector f) {
  return static_cast<float>(std::sqrt(static_cast<double>(f.x * f.x + f.y * f.y + f.z * f.z)));
}
float movedTo(float x, float f, float D, float m) { return static_cast<float>(x + f * D * 0.1 / m); }

// Gains the step should use for the store as it stands.
struct Gains {
  float Ka, Kr, L2;
};
Gains expectedGains() {
  const double reference = variant::scaledForces ? E.numInitialTriangles : 20;
  const float scale = static_cast<float>(std::pow(E.numTriangles / reference, 0.75));
  if constexpr (variant::scaledForces) {
    return {static_cast<float>(E.forces.attraction) * scale, static_cast<float>(E.forces.repulsion), scale * scale};
  }
  return {scale, 1, scale * scale};
}

// Vertices 0 and 1 at x = 0 and x = s: the x forces on each, and D.
struct PairForces {
  float left, right, D;
};
PairForces pairForces(float s, bool linked, bool repels, Gains g) {
  PairForces p{0, 0, noPair};
  if (linked) {
    p.left = g.Ka * (s - 0.0f);
    p.right = g.Ka * (0.0f - s);
  }
  if (repels) {
    const float d2 = s * s;
    const float dist = std::sqrt(d2);
    const float den = d2 * dist * g.L2;
    p.left = p.left + g.Kr * (0.0f - s) / den;
    p.right = p.right + g.Kr * s / den;
    p.D = dist;
  }
  return p;
}

void makePair(float s, bool linked, unsigned cycle, int triangles) {
  const std::vector<short> n0 = linked ? std::vector<short>{1} : std::vector<short>{};
  const std::vector<short> n1 = linked ? std::vector<short>{0} : std::vector<short>{};
  makeStore({{0, 0, 0, n0}, {s, 0, 0, n1}}, cycle, triangles);
}

// Runs one step on a pair made by makePair and checks both vertices exactly.
void expectPairStep(float s, bool linked, bool repels) {
  const PairForces p = pairForces(s, linked, repels, expectedGains());
  const float m = lengthOf(vector(p.right, 0, 0));
  ASSERT_NE(m, 0.0f);
  EXPECT_EQ(forces(E), 1);
  EXPECT_EQ(E.vertex[0].x, movedTo(0, p.left, p.D, m));
  EXPECT_EQ(E.vertex[1].x, movedTo(s, p.right, p.D, m));
  EXPECT_EQ(E.vertex[0].y, 0.0f);
  EXPECT_EQ(E.vertex[1].z, 0.0f);
  // The last vertex always steps a tenth of D.
  EXPECT_NEAR(std::fabs(E.vertex[1].x - s), 0.1 * p.D, 1e-6 * p.D);
}

TEST(ForcesCutoff, SquaredDistance19RepelsUntilCycle500) {
  const float s = std::sqrt(1.9f);
  for (const bool linked : {false, true}) {
    for (const unsigned cycle : {1u, 499u}) {
      for (const int triangles : {20, 5000}) {
        SCOPED_TRACE(testing::Message() << cycle << " " << triangles);
        makePair(s, linked, cycle, triangles);
        expectPairStep(s, linked, true);
      }
    }
  }
  // From cycle 500 only attraction acts, so D stays 32000 and the pair takes a long step.
  for (const int triangles : {20, 999, 1000, 5000}) {
    makePair(s, true, 500, triangles);
    expectPairStep(s, true, false);
  }
}

TEST(ForcesCutoff, LaterCutoffDependsOnTriangleCount) {
  const float near = std::sqrt(0.2f);    // inside 0.25, outside 0.0625
  const float close = std::sqrt(0.05f);  // inside both
  makePair(near, true, 500, 999);
  expectPairStep(near, true, true);
  makePair(near, true, 500, 1000);
  expectPairStep(near, true, false);
  makePair(close, true, 500, 1000);
  expectPairStep(close, true, true);
  makePair(close, true, 777, 4321);
  expectPairStep(close, true, true);
}

TEST(ForcesCutoff, PairExactlyAtCutoffDoesNotRepel) {
  makePair(0.5f, true, 500, 999);  // d2 = 0.25
  expectPairStep(0.5f, true, false);
  makePair(0.25f, true, 500, 1000);  // d2 = 0.0625
  expectPairStep(0.25f, true, false);

  // d2 = 2 exactly in the first cycles: pure attraction, so the last vertex steps 3200.
  makeStore({{0, 0, 0, {1}}, {1, 1, 0, {0}}}, 1, 20);
  forces(E);
  EXPECT_NEAR(E.vertex[1].x - 1, -3200 / std::sqrt(2.0), 1e-3);
  EXPECT_NEAR(E.vertex[1].y - 1, -3200 / std::sqrt(2.0), 1e-3);
}

TEST(ForcesMove, NoClosePairEachFreeVertexStepsByItsShareOf3200) {
  const Spot p0{0, 0, 0, {1}}, p1{2, 0.5f, 0, {0, 2}}, p2{3.5f, 2, 1, {1}};
  makeStore({p0, p1, p2}, 1, 20);
  const float Ka = expectedGains().Ka;
  auto pull = [&](const Spot& from, const Spot& to) {
    return vector(Ka * (to.x - from.x), Ka * (to.y - from.y), Ka * (to.z - from.z));
  };
  const vector f0 = pull(p0, p1);
  const vector a1 = pull(p1, p0), b1 = pull(p1, p2);
  const vector f1(a1.x + b1.x, a1.y + b1.y, a1.z + b1.z);
  const vector f2 = pull(p2, p1);
  const float m = lengthOf(f2);
  forces(E);
  const Spot start[] = {p0, p1, p2};
  const vector force[] = {f0, f1, f2};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(E.vertex[i].x, movedTo(start[i].x, force[i].x, noPair, m));
    EXPECT_EQ(E.vertex[i].y, movedTo(start[i].y, force[i].y, noPair, m));
    EXPECT_EQ(E.vertex[i].z, movedTo(start[i].z, force[i].z, noPair, m));
    const vector step(E.vertex[i].x - start[i].x, E.vertex[i].y - start[i].y, E.vertex[i].z - start[i].z);
    EXPECT_NEAR(lengthOf(step), 3200.0 * lengthOf(force[i]) / m, 1e-3);
  }
}

// Each rounding step shows only at some distances and gains, so sweep through many.
TEST(ForcesRounding, PairStepMatchesFloatFormulaAtManyDistances) {
  for (const int triangles : {20, 37, 999}) {
    for (const int factor : {1, 3, 7}) {
      for (int step = 0; step < 40; ++step) {
        const float s = 0.3f + 0.027f * static_cast<float>(step);
        SCOPED_TRACE(testing::Message() << triangles << " " << factor << " " << s);
        makePair(s, true, 1, triangles);
        if constexpr (variant::scaledForces) {
          E.numInitialTriangles = 20;
          E.forces.attraction = factor;
          E.forces.repulsion = 10 - factor;
        }
        expectPairStep(s, true, true);
      }
    }
  }
}

// Vertex 0 with neighbours listed out of order and four vertices pushing it from all
// sides: attraction summed in list order, repulsion in index order.
TEST(ForcesRounding, SumsRunInListAndIndexOrder) {
  const std::vector<Spot> spots{{0.1f, -0.2f, 0.3f, {3, 1, 4}},
                                {0.9f, 0.15f, -0.35f},
                                {-0.55f, 0.7f, 0.05f},
                                {0.2f, -0.95f, 0.6f},
                                {-0.3f, -0.4f, -0.75f}};
  makeStore(spots, 1, 37);
  if constexpr (variant::scaledForces) {
    E.numInitialTriangles = 20;
    E.forces.attraction = 3;
    E.forces.repulsion = 7;
  }
  const Gains g = expectedGains();
  const Spot& p = spots[0];
  vector a, r;
  for (short k : p.neighbours) {
    a.x += g.Ka * (spots[k].x - p.x);
    a.y += g.Ka * (spots[k].y - p.y);
    a.z += g.Ka * (spots[k].z - p.z);
  }
  for (int k = 1; k < 5; ++k) {
    const vector d(p.x - spots[k].x, p.y - spots[k].y, p.z - spots[k].z);
    const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
    ASSERT_LT(d2, 2.0f);
    const float den = d2 * std::sqrt(d2) * g.L2;
    r.x += g.Kr * d.x / den;
    r.y += g.Kr * d.y / den;
    r.z += g.Kr * d.z / den;
  }
  forceField field = emptyForceField(E);
  referencePairForces(E, forceStepSettings(E), field);
  EXPECT_EQ(field.force[0].x, a.x + r.x);
  EXPECT_EQ(field.force[0].y, a.y + r.y);
  EXPECT_EQ(field.force[0].z, a.z + r.z);
}

TEST(ForcesDependents, ChainListedBeforeItsParentsEndsAtNewMidPoints) {
  // 2 hangs on 5-6, 1 on 2-6, 0 on 1-6: three sweeps. 3 and 4 hang on each other, so
  // they can never be placed, and being each other's parent they neither push each
  // other nor set D. The free pair 5-6 comes last, so m is the force on 6.
  const float s = 1.2f, y = 0.25f, z = -0.5f;
  makeStore({{50, 0, 0, {}, 1, 6},
             {60, 0, 0, {}, 2, 6},
             {70, 0, 0, {}, 5, 6},
             {-50, 9, 9, {}, 4, 5},
             {-50.5f, 9, 9, {}, 3, 5},
             {0, y, z, {6}},
             {s, y, z, {5}}},
            1, 20);
  const PairForces p = pairForces(s, true, true, expectedGains());
  const float m = lengthOf(vector(p.right, 0, 0));
  forces(E);
  const float x5 = movedTo(0, p.left, p.D, m), x6 = movedTo(s, p.right, p.D, m);
  EXPECT_EQ(E.vertex[5].x, x5);
  EXPECT_EQ(E.vertex[6].x, x6);
  const float x2 = (x5 + x6) / 2, x1 = (x2 + x6) / 2, x0 = (x1 + x6) / 2;
  EXPECT_EQ(E.vertex[2].x, x2);
  EXPECT_EQ(E.vertex[1].x, x1);
  EXPECT_EQ(E.vertex[0].x, x0);
  for (int i = 0; i <= 2; ++i) {
    EXPECT_EQ(E.vertex[i].y, y);
    EXPECT_EQ(E.vertex[i].z, z);
  }
  for (int i : {0, 1, 2, 5, 6}) EXPECT_EQ(E.vertex[i].updated, 1) << i;
  EXPECT_EQ(E.vertex[3].x, -50.0f);
  EXPECT_EQ(E.vertex[4].x, -50.5f);
  EXPECT_EQ(E.vertex[3].updated, 0);
  EXPECT_EQ(E.vertex[4].updated, 0);
}

TEST(ForcesDependents, ParentIsNotPushedByItsDependentButTheDependentIsPushed) {
  // 2 hangs on 0-1, right next to 0. 0 feels only its pull toward 1; 2 is pushed away
  // from 0, and that pair sets D.
  const float e = 0.1f;
  makeStore({{0, 0, 0, {1}}, {3, 0, 0, {0}}, {e, 0, 0, {}, 0, 1}}, 1, 20);
  const Gains g = expectedGains();
  const float f0 = g.Ka * (3.0f - 0.0f), f1 = g.Ka * (0.0f - 3.0f);
  const float d2 = e * e, dist = std::sqrt(d2);
  const float f2 = g.Kr * e / (d2 * dist * g.L2);
  const float m = lengthOf(vector(f2, 0, 0));
  forces(E);
  const float x0 = movedTo(0, f0, dist, m), x1 = movedTo(3, f1, dist, m);
  EXPECT_EQ(E.vertex[0].x, x0);
  EXPECT_EQ(E.vertex[1].x, x1);
  EXPECT_EQ(E.vertex[2].x, (x0 + x1) / 2);
}

TEST(ForcesFactors, SweepScalesAttractionAndRepulsionSeparately) {
  if constexpr (!variant::scaledForces) {
    // The seed program has no factors: zero factors change nothing.
    makePair(1.1f, true, 1, 20);
    E.forces.attraction = E.forces.repulsion = 0;
    const PairForces p = pairForces(1.1f, true, true, {1, 1, 1});
    const float m = lengthOf(vector(p.right, 0, 0));
    forces(E);
    EXPECT_EQ(E.vertex[1].x, movedTo(1.1f, p.right, p.D, m));
  } else {
    const struct { int attraction, repulsion; } cases[] = {{0, 1}, {0, 3}, {1, 0}, {2, 0}, {3, 5}};
    for (const auto& c : cases) {
      SCOPED_TRACE(testing::Message() << c.attraction << " " << c.repulsion);
      makePair(1.1f, true, 1, 20);
      E.forces.attraction = c.attraction;
      E.forces.repulsion = c.repulsion;
      // With repulsion 0 the close pair still sets D.
      expectPairStep(1.1f, true, true);
    }
  }
}

TEST(ForcesScale, LengthScaleFollowsTriangleCount) {
  makePair(0.9f, true, 1, 320);
  if constexpr (variant::scaledForces) E.numInitialTriangles = 20;
  const PairForces p = pairForces(0.9f, true, true, {8, 1, 64});
  const float m = lengthOf(vector(p.right, 0, 0));
  forces(E);
  EXPECT_EQ(E.lengthScale, 8.0f);
  EXPECT_EQ(E.vertex[0].x, movedTo(0, p.left, p.D, m));
  EXPECT_EQ(E.vertex[1].x, movedTo(0.9f, p.right, p.D, m));

  if constexpr (variant::scaledForces) {
    // The attraction gain is the factor times the scale; an empty reference means scale 1.
    makePair(0.9f, true, 1, 320);
    E.numInitialTriangles = 20;
    E.forces.attraction = 3;
    expectPairStep(0.9f, true, true);
    EXPECT_EQ(expectedGains().Ka, 24.0f);
    makePair(0.9f, true, 1, 320);
    E.numInitialTriangles = 0;
    forces(E);
    EXPECT_EQ(E.lengthScale, 1.0f);
  } else {
    // The seed measures against its 20 faces whatever the input count says.
    makePair(0.9f, true, 1, 320);
    E.numInitialTriangles = 320;
    forces(E);
    EXPECT_EQ(E.lengthScale, 8.0f);
  }
  // The power is taken in double and only then rounded.
  for (const int triangles : {21, 37, 999, 1234, 29999}) {
    makePair(0.9f, true, 1, triangles);
    if constexpr (variant::scaledForces) E.numInitialTriangles = 20;
    forces(E);
    EXPECT_EQ(E.lengthScale, static_cast<float>(std::pow(triangles / 20.0, 0.75))) << triangles;
  }
}

TEST(ForcesDegenerate, CoincidentVerticesNeitherPushNorSetD) {
  // 1 sits on 0, or so near that den vanishes (or even d2 does). Only 2 pushes them.
  for (const float offset : {0.0f, 1e-20f, 1e-30f}) {
    SCOPED_TRACE(offset);
    makeStore({{0, 0, 0}, {offset, 0, 0}, {1, 0, 0}}, 1, 20);
    const Gains g = expectedGains();
    const float push = g.Kr * 1.0f / (1.0f * 1.0f * g.L2);
    const float f2 = push + push;
    const float m = lengthOf(vector(f2, 0, 0));
    forces(E);
    EXPECT_EQ(E.vertex[0].x, movedTo(0, -push, 1, m));
    EXPECT_EQ(E.vertex[1].x, movedTo(offset, -push, 1, m));
    EXPECT_EQ(E.vertex[2].x, movedTo(1, f2, 1, m));
  }
}

// 0 and 1 pull and push each other, 2 hangs on them off its mid-point, 3 is alone and
// last: its force, and so m, is 0.
void makeStillLast() { makeStore({{0, 0, 0, {1}}, {1, 0, 0, {0}}, {-20, 0, 0, {}, 0, 1}, {10, 10, 10}}, 1, 20); }

TEST(ForcesDegenerate, ZeroLastForceMovesNothingFreeButPlacesDependents) {
  std::vector<std::pair<int, int>> factors{{1, 1}};
  if constexpr (variant::scaledForces) factors.push_back({0, 0});
  for (const auto& [attraction, repulsion] : factors) {
    makeStillLast();
    E.forces.attraction = attraction;
    E.forces.repulsion = repulsion;
    forces(E);
    EXPECT_EQ(E.vertex[0].x, 0.0f);
    EXPECT_EQ(E.vertex[1].x, 1.0f);
    EXPECT_EQ(E.vertex[3].x, 10.0f);
    EXPECT_EQ(E.vertex[2].x, 0.5f);
    EXPECT_EQ(E.vertex[2].y, 0.0f);
    EXPECT_EQ(E.vertex[2].updated, 1);
  }
  if constexpr (variant::scaledForces) {
    // Both factors 0 with a free last vertex: nothing to divide by either.
    makePair(1.1f, true, 1, 20);
    E.forces.attraction = E.forces.repulsion = 0;
    forces(E);
    EXPECT_EQ(E.vertex[0].x, 0.0f);
    EXPECT_EQ(E.vertex[1].x, 1.1f);
  }
}

TEST(ForcesDegenerate, OverflowingForceLeavesVerticesWhereTheyAre) {
  const float huge = 3e38f;
  const float s = 1.2f;
  // The far pair's pull overflows; the near pair moves as usual.
  makeStore({{huge, 0, 0, {1}}, {-huge, 0, 0, {0}}, {0, 0, 0, {3}}, {s, 0, 0, {2}}}, 1, 20);
  const PairForces p = pairForces(s, true, true, expectedGains());
  const float m = lengthOf(vector(p.right, 0, 0));
  forces(E);
  EXPECT_EQ(E.vertex[0].x, huge);
  EXPECT_EQ(E.vertex[1].x, -huge);
  EXPECT_EQ(E.vertex[2].x, movedTo(0, p.left, p.D, m));
  EXPECT_EQ(E.vertex[3].x, movedTo(s, p.right, p.D, m));
  EXPECT_EQ(E.vertex[0].updated, 1);

  // With the overflow last, m is infinite and nothing moves.
  makeStore({{0, 0, 0, {1}}, {s, 0, 0, {0}}, {huge, 0, 0, {3}}, {-huge, 0, 0, {2}}}, 1, 20);
  forces(E);
  EXPECT_EQ(E.vertex[0].x, 0.0f);
  EXPECT_EQ(E.vertex[1].x, s);
  EXPECT_EQ(E.vertex[3].x, -huge);
}

// Random stores, dependents and parent cycles included: the pair sum against an
// independent double-precision one, D exactly, every free vertex stepping
// 0.1 * D * force / m, and every dependent that can be placed at its parents' mid-point.
TEST(ForcesProperties, RandomStores) {
  std::mt19937 rng(5);
  std::uniform_real_distribution<float> coord(-1.5f, 1.5f);
  std::uniform_int_distribution<int> pick(0, 29);
  const unsigned cycles[] = {1, 600, 600};
  const int triangleCounts[] = {20, 400, 2000};
  const float cutoffs[] = {2.0f, 0.25f, 0.0625f};
  const int n = 30;
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE(round);
    std::vector<Spot> spots(n);
    for (Spot& spot : spots) {
      spot = {coord(rng), coord(rng), coord(rng)};
      const int count = pick(rng) % 7;
      for (int j = 0; j < count; ++j) spot.neighbours.push_back(static_cast<short>(pick(rng)));
      if (pick(rng) < 8) {
        spot.parentA = static_cast<short>(pick(rng));
        spot.parentB = static_cast<short>(pick(rng));
      }
    }
    makeStore(spots, cycles[round % 3], triangleCounts[round % 3]);
    if constexpr (variant::scaledForces) {
      E.numInitialTriangles = 20;
      E.forces.attraction = pick(rng) % 4;
      E.forces.repulsion = pick(rng) % 4;
    }
    const Gains g = expectedGains();

    // want[i]: the force in double; slack[i]: what float rounding may leave of its terms.
    std::vector<std::array<double, 3>> want(n);
    std::vector<double> slack(n);
    float D = noPair;
    for (int i = 0; i < n; ++i) {
      const double pi[3] = {spots[i].x, spots[i].y, spots[i].z};
      double size = 0;
      auto add = [&](int c, double term) {
        want[i][c] += term;
        size += std::fabs(term);
      };
      for (short k : spots[i].neighbours) {
        const double pk[3] = {spots[k].x, spots[k].y, spots[k].z};
        for (int c = 0; c < 3; ++c) add(c, g.Ka * (pk[c] - pi[c]));
      }
      for (int k = 0; k < n; ++k) {
        const vector d(spots[i].x - spots[k].x, spots[i].y - spots[k].y, spots[i].z - spots[k].z);
        const float d2 = d.x * d.x + d.y * d.y + d.z * d.z;
        if (k == i || !(d2 < cutoffs[round % 3]) || spots[k].parentA == i || spots[k].parentB == i) continue;
        D = std::min(D, std::sqrt(d2));
        const double pk[3] = {spots[k].x, spots[k].y, spots[k].z};
        const double r = std::sqrt(double(d2));
        for (int c = 0; c < 3; ++c) add(c, g.Kr * (pi[c] - pk[c]) / (r * r * r * g.L2));
      }
      slack[i] = 1e-5 * size + 1e-30;
    }

    forceField field = emptyForceField(E);
    referencePairForces(E, forceStepSettings(E), field);
    ASSERT_EQ(field.force.size(), static_cast<size_t>(n));
    EXPECT_EQ(field.D, D);
    EXPECT_EQ(field.m, lengthOf(field.force[n - 1]));
    for (int i = 0; i < n; ++i) {
      EXPECT_NEAR(field.force[i].x, want[i][0], slack[i]) << i;
      EXPECT_NEAR(field.force[i].y, want[i][1], slack[i]) << i;
      EXPECT_NEAR(field.force[i].z, want[i][2], slack[i]) << i;
    }

    EXPECT_EQ(forcesReference(E), 1);
    std::vector<bool> placeable(n);
    for (int i = 0; i < n; ++i) placeable[i] = spots[i].parentA == -1;
    for (bool grew = true; grew;) {
      grew = false;
      for (int i = 0; i < n; ++i) {
        if (placeable[i] || !placeable[spots[i].parentA] || !placeable[spots[i].parentB]) continue;
        placeable[i] = grew = true;
      }
    }
    const double stride = field.m == 0 ? 0 : 0.1 * field.D / field.m;
    for (int i = 0; i < n; ++i) {
      const vertex_struct& v = E.vertex[i];
      const float was[3] = {spots[i].x, spots[i].y, spots[i].z};
      const float now[3] = {v.x, v.y, v.z};
      if (spots[i].parentA == -1) {
        for (int c = 0; c < 3; ++c) {
          const double rounding = 1e-6 * std::fabs(was[c]) + 1e-7;
          EXPECT_NEAR(now[c] - was[c], stride * want[i][c], stride * slack[i] + rounding) << i << " " << c;
        }
        EXPECT_EQ(v.updated, 1);
      } else if (placeable[i]) {
        const vertex_struct& a = E.vertex[spots[i].parentA];
        const vertex_struct& b = E.vertex[spots[i].parentB];
        EXPECT_EQ(v.x, (a.x + b.x) / 2) << i;
        EXPECT_EQ(v.y, (a.y + b.y) / 2) << i;
        EXPECT_EQ(v.z, (a.z + b.z) / 2) << i;
        EXPECT_EQ(v.updated, 1);
      } else {
        for (int c = 0; c < 3; ++c) EXPECT_EQ(now[c], was[c]) << i;
        EXPECT_EQ(v.updated, 0);
      }
    }
  }
}

}  // namespace
