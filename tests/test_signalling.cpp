#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "signalling.h"
#include "store_fixture.h"
#include "topology.h"

namespace {

// morphseed's numbers are the second of each pair below.
constexpr bool seedProgram = variant::randomEpisodes;
int expected(int sweepValue, int seedValue) { return seedProgram ? seedValue : sweepValue; }

unsigned char vertex_struct::*const colours[3] = {&vertex_struct::hormoneR, &vertex_struct::hormoneG,
                                                  &vertex_struct::hormoneB};
Morphogen Embryo::*const morphogens[3] = {&Embryo::red, &Embryo::green, &Embryo::blue};

// Lifespans far from running out: diffusion steps then begin no episode.
void holdEpisodes() { E.red.lifespan = E.green.lifespan = E.blue.lifespan = 1000; }

// Centre 0 ringed by vertices 1..6 (so the centre has six neighbours), then `extra`
// vertices that no face uses.
void buildFan(int extra = 0) {
  std::vector<Point> points{{0, 0, 0}};
  std::vector<Face> faces;
  for (int k = 0; k < 6; ++k) {
    const double angle = k * std::numbers::pi / 3;
    points.push_back({static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)), 0});
    faces.push_back({0, static_cast<short>(1 + k), static_cast<short>(1 + (k + 1) % 6)});
  }
  for (int e = 0; e < extra; ++e) points.push_back({0, 0, static_cast<float>(1 + e)});
  buildMesh(points, faces);
  holdEpisodes();
}

void setRing(unsigned char vertex_struct::*level, const std::array<int, 6>& ring) {
  for (int k = 0; k < 6; ++k) E.vertex[1 + k].*level = static_cast<unsigned char>(ring[k]);
}

void addDependentEntry(short holder, short dependent, short spouse) {
  vertex_struct& v = E.vertex[holder];
  moreShorts(E, &v, dependentGrowth);
  v.dependents[v.numDependents] = dependent;
  v.spouses[v.numDependents] = spouse;
  ++v.numDependents;
}

std::array<int, 3> levelsOf(int i) { return {E.vertex[i].hormoneR, E.vertex[i].hormoneG, E.vertex[i].hormoneB}; }

}  // namespace

TEST(Diffusion, HandComputedCentreLevels) {
  struct Case {
    int own;
    std::array<int, 6> ring;
    int sweep, seed;
  };
  const Case cases[] = {
      {100, {100, 100, 100, 100, 100, 100}, 99, 99},
      {0, {200, 200, 200, 200, 200, 200}, 99, 94},
      {0, {70, 70, 70, 70, 70, 70}, 34, 33},  // exactly 33 in real numbers; float steps keep it
      {100, {240, 240, 240, 240, 240, 240}, 168, 164},
      {80, {253, 253, 253, 253, 253, 255}, 164, 160},  // own + s is rounded to float before the decay
      {2, {65, 65, 65, 65, 64, 64}, 33, 31},
  };
  constexpr int count = std::size(cases);
  // Each colour gets a different case in one step, so a pass reading another colour's
  // levels shows up.
  for (int first = 0; first < count; ++first) {
    buildFan();
    for (int c = 0; c < 3; ++c) {
      const Case& k = cases[(first + c) % count];
      E.vertex[0].*colours[c] = static_cast<unsigned char>(k.own);
      setRing(colours[c], k.ring);
    }
    diffuse(E);
    for (int c = 0; c < 3; ++c) {
      const Case& k = cases[(first + c) % count];
      EXPECT_EQ(E.vertex[0].*colours[c], expected(k.sweep, k.seed)) << "case " << (first + c) % count << " colour " << c;
    }
  }
}

TEST(Diffusion, AllZeroStaysZeroAndLoneVerticesOnlyDecay) {
  buildSubdividedIcosahedron(2);
  holdEpisodes();
  for (int step = 0; step < 5; ++step) diffuse(E);
  for (int i = 0; i < E.numVertices; ++i) ASSERT_EQ(levelsOf(i), (std::array<int, 3>{0, 0, 0})) << "vertex " << i;

  // Vertex 7 has no neighbours and no parents: it keeps 0.99 of its level, truncated.
  buildFan(1);
  E.vertex[7].hormoneR = 101;
  E.vertex[7].hormoneG = 255;
  E.vertex[7].hormoneB = 200;
  diffuse(E);
  EXPECT_EQ(levelsOf(7), (std::array<int, 3>{99, 252, 198}));
}

TEST(Diffusion, DependentsCountTheirParentsAsTheyAre) {
  // Centre at 0 with six neighbours at 200; vertices 7 and 8 at 255 and 45 as parents;
  // vertex 9 at 0 pending on the centre's edge to 7, which must not stand in for parent 7.
  struct Case {
    short parentA, parentB;
    bool pendingOnParent;
    int sweep, seed;
  };
  const Case cases[] = {
      {7, 8, false, 92, 88},  // m = n + 2
      {7, 8, true, 92, 88},
      {7, -1, false, 99, 94},  // one parent: m = n, parents ignored
      {-1, 8, false, 99, 94},
  };
  for (const Case& k : cases) {
    buildFan(3);
    setRing(&vertex_struct::hormoneR, {200, 200, 200, 200, 200, 200});
    E.vertex[7].hormoneR = 255;
    E.vertex[8].hormoneR = 45;
    E.vertex[0].parentA = k.parentA;
    E.vertex[0].parentB = k.parentB;
    if (k.pendingOnParent) addDependentEntry(0, 9, 7);
    diffuse(E);
    EXPECT_EQ(E.vertex[0].hormoneR, expected(k.sweep, k.seed))
        << k.parentA << " " << k.parentB << " " << k.pendingOnParent;
  }
}

TEST(Diffusion, NeighboursAreReadThroughTheNearestPendingMidpoint) {
  // Vertex 7 (110) is pending on edge 0-1, vertex 8 (20) on edge 0-7: neighbour 1 is read as
  // vertex 8, whatever the order of the two entries.
  for (bool nestedFirst : {false, true}) {
    buildFan(2);
    setRing(&vertex_struct::hormoneR, {200, 200, 200, 200, 200, 200});
    E.vertex[7].hormoneR = 110;
    E.vertex[8].hormoneR = 20;
    if (nestedFirst) addDependentEntry(0, 8, 7);
    addDependentEntry(0, 7, 1);
    if (!nestedFirst) addDependentEntry(0, 8, 7);
    diffuse(E);
    EXPECT_EQ(E.vertex[0].hormoneR, expected(84, 80)) << "nested entry first: " << nestedFirst;
  }
}

TEST(Diffusion, SecretorsAreHeldAndSeenOnlyFromTheNextStep) {
  buildFan();
  E.red.secretor = 0;
  E.green.secretor = 1;
  E.blue.secretor = 2;
  diffuse(E);
  EXPECT_EQ(E.vertex[0].hormoneR, 255);
  EXPECT_EQ(E.vertex[1].hormoneG, variant::greenSecretorLevel);
  EXPECT_EQ(E.vertex[1].hormoneG, expected(99, 255));
  EXPECT_EQ(E.vertex[2].hormoneB, 255);
  EXPECT_EQ(E.vertex[1].hormoneR, 0) << "neighbours read the levels from before the pass";
  diffuse(E);
  EXPECT_EQ(E.vertex[0].hormoneR, 255);
  EXPECT_EQ(E.vertex[1].hormoneG, expected(99, 255));
  EXPECT_EQ(E.vertex[1].hormoneR, expected(42, 40));  // 255 from one of three neighbours

  // Secretor indices that name no vertex hold nothing: every level just decays.
  buildFan();
  E.red.secretor = -1;
  E.green.secretor = static_cast<short>(E.numVertices);
  E.blue.secretor = 32767;
  for (int i = 0; i < E.numVertices; ++i) E.vertex[i].hormoneR = E.vertex[i].hormoneG = E.vertex[i].hormoneB = 255;
  diffuse(E);
  for (int i = 0; i < E.numVertices; ++i) EXPECT_EQ(levelsOf(i), (std::array<int, 3>{252, 252, 252})) << "vertex " << i;
  EXPECT_EQ(levelsOf(E.numVertices), (std::array<int, 3>{0, 0, 0}));
}

namespace {

struct VertexCopy {
  std::array<int, 3> levels;
  std::vector<short> neighbours;
  short parentA, parentB;
  std::vector<std::pair<short, short>> entries;  // (dependent, spouse)
};

std::vector<VertexCopy> copyVertices() {
  std::vector<VertexCopy> copy;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    VertexCopy c{levelsOf(i), {v.neighbors, v.neighbors + v.numNeighbors}, v.parentA, v.parentB, {}};
    for (int j = 0; j < v.numDependents; ++j) c.entries.emplace_back(v.dependents[j], v.spouses[j]);
    copy.push_back(c);
  }
  return copy;
}

// Loads the copied vertices (no triangles) with vertex i renamed to name[i].
void loadRenamed(const std::vector<VertexCopy>& copy, const std::vector<short>& name) {
  resetStore();
  E.numVertices = static_cast<int>(copy.size());
  auto rename = [&](short i) { return i < 0 ? i : name[i]; };
  for (int i = 0; i < E.numVertices; ++i) {
    const VertexCopy& c = copy[i];
    vertex_struct& v = E.vertex[name[i]];
    for (int k = 0; k < 3; ++k) v.*colours[k] = static_cast<unsigned char>(c.levels[k]);
    v.numNeighbors = static_cast<short>(c.neighbours.size());
    for (size_t j = 0; j < c.neighbours.size(); ++j) v.neighbors[j] = rename(c.neighbours[j]);
    v.parentA = rename(c.parentA);
    v.parentB = rename(c.parentB);
    for (const auto& [d, s] : c.entries) addDependentEntry(name[i], rename(d), rename(s));
  }
  holdEpisodes();
}

}  // namespace

TEST(Diffusion, SameResultWhateverTheVertexOrder) {
  // Splits leave pending mid-points, some of them nested, so the replacement path runs too.
  buildIcosahedron();
  for (int k = 0; k < 3; ++k) splitTriangle(E, E.headTriangle);
  for (int k = 0; k < 2; ++k) splitTriangle(E, E.tailTriangle);
  ASSERT_EQ(storeProblems(E), std::vector<std::string>{});
  std::mt19937 random(7);
  for (int i = 0; i < E.numVertices; ++i) {
    for (auto level : colours) E.vertex[i].*level = static_cast<unsigned char>(random() % 256);
  }
  const std::vector<VertexCopy> original = copyVertices();
  std::vector<short> name(original.size());
  for (size_t i = 0; i < name.size(); ++i) name[i] = static_cast<short>(i);
  std::shuffle(name.begin(), name.end(), random);

  holdEpisodes();
  E.red.secretor = 3;
  E.green.secretor = 14;
  for (int step = 0; step < 4; ++step) diffuse(E);
  std::vector<std::array<int, 3>> inOrder;
  for (int i = 0; i < E.numVertices; ++i) inOrder.push_back(levelsOf(i));

  loadRenamed(original, name);
  E.red.secretor = name[3];
  E.green.secretor = name[14];
  for (int step = 0; step < 4; ++step) diffuse(E);
  for (int i = 0; i < E.numVertices; ++i) EXPECT_EQ(levelsOf(name[i]), inOrder[i]) << "vertex " << i;
}

// A cycle plans its diffusion steps once; what changes between them (levels, secretors)
// must not be taken into the plan.
TEST(Diffusion, OnePlanServesStepsWhoseSecretorsChange) {
  buildIcosahedron();
  for (int k = 0; k < 3; ++k) splitTriangle(E, E.headTriangle);
  for (int k = 0; k < 2; ++k) splitTriangle(E, E.tailTriangle);
  std::mt19937 random(11);
  for (int i = 0; i < E.numVertices; ++i) {
    for (auto level : colours) E.vertex[i].*level = static_cast<unsigned char>(random() % 256);
  }
  std::vector<std::array<int, 3>> start;
  for (int i = 0; i < E.numVertices; ++i) start.push_back(levelsOf(i));
  const auto steps = [&](bool onePlan) {
    for (int i = 0; i < E.numVertices; ++i) {
      for (int c = 0; c < 3; ++c) E.vertex[i].*colours[c] = static_cast<unsigned char>(start[i][c]);
    }
    holdEpisodes();
    const diffusionPlan plan = planDiffusion(E);
    std::vector<std::array<int, 3>> levels;
    for (int step = 0; step < 6; ++step) {
      E.red.secretor = static_cast<short>(step * 5 % E.numVertices);
      E.blue.secretor = static_cast<short>(step < 3 ? 2 : noVertex);
      onePlan ? diffuse(E, plan) : diffuse(E);
    }
    for (int i = 0; i < E.numVertices; ++i) levels.push_back(levelsOf(i));
    return levels;
  };
  const auto planned = steps(true);
  EXPECT_NE(planned, start);
  EXPECT_EQ(steps(false), planned);
}

// Large surfaces diffuse on several threads: the levels must not depend on how many.
TEST(Diffusion, ALargeSurfaceGivesTheSameLevelsOnAnyNumberOfThreads) {
  buildSubdividedIcosahedron(5);
  // Splits past the size where threads share the work, leaving pending mid-points.
  for (int k = 0; k < 20000 && E.numVertices < 17000; ++k) splitTriangle(E, E.headTriangle);
  ASSERT_GE(E.numVertices, 17000);
  std::mt19937 random(5);
  std::vector<std::array<int, 3>> start;
  for (int i = 0; i < E.numVertices; ++i) {
    for (auto level : colours) E.vertex[i].*level = static_cast<unsigned char>(random() % 256);
    start.push_back(levelsOf(i));
  }
  const int threadsBefore = omp_get_max_threads();
  std::vector<std::array<int, 3>> want;
  for (const int threads : {1, 2, 3}) {
    omp_set_num_threads(threads);
    for (int i = 0; i < E.numVertices; ++i) {
      for (int c = 0; c < 3; ++c) E.vertex[i].*colours[c] = static_cast<unsigned char>(start[i][c]);
    }
    holdEpisodes();
    E.red.secretor = 7;
    E.green.secretor = 9000;
    E.blue.secretor = 16999;
    const diffusionPlan plan = planDiffusion(E);
    for (int step = 0; step < 3; ++step) diffuse(E, plan);
    std::vector<std::array<int, 3>> got;
    for (int i = 0; i < E.numVertices; ++i) got.push_back(levelsOf(i));
    if (want.empty()) {
      want = got;
      EXPECT_NE(want, start);
    } else {
      EXPECT_EQ(got, want) << threads << " threads";
    }
  }
  omp_set_num_threads(threadsBefore);
}

TEST(Growth, MarksByTheIntegerAverageOfAnyColour) {
  struct Case {
    std::array<int, 3> corners;
    int threshold;
    bool marked;
  };
  const Case cases[] = {
      {{90, 90, 91}, 91, false},  // average 90
      {{90, 91, 91}, 91, false},  // 90.67 is not rounded up
      {{91, 91, 91}, 91, true},  {{255, 255, 254}, 255, false}, {{255, 255, 255}, 255, true},
  };
  for (int c = 0; c < 3; ++c) {
    for (const Case& k : cases) {
      buildIcosahedron();
      (E.*morphogens[c]).threshold = static_cast<unsigned char>(k.threshold);
      for (int corner = 0; corner < 3; ++corner) {
        E.vertex[E.headTriangle->v[corner]].*colours[c] = static_cast<unsigned char>(k.corners[corner]);
      }
      const std::vector<Face> before = triangleList();
      hormoneGrow(E);
      const bool split = seedProgram && k.marked;
      ASSERT_EQ(E.numTriangles, split ? 23 : 20) << "colour " << c << " threshold " << k.threshold;
      EXPECT_EQ(storeProblems(E), std::vector<std::string>{});
      if (!split) {
        EXPECT_EQ(triangleList(), before);
      }
      int index = 0;
      for (const triangle* t = E.headTriangle; t; t = t->next, ++index) {
        EXPECT_EQ(t->age, split && index >= 19 ? 0 : 1) << "triangle " << index;
      }
    }
  }
}

TEST(Growth, ChildrenAreNeitherAgedNorExaminedInTheSameCall) {
  buildIcosahedron();
  E.red.threshold = 0;  // every triangle, and every piece of one, reaches it
  E.red.lifespan = 0;
  E.green.lifespan = 5;
  E.blue.lifespan = -3;
  E.green.secretor = 4;
  const std::vector<Face> before = triangleList();
  for (int call = 1; call <= 2; ++call) {
    hormoneGrow(E);
    ASSERT_EQ(storeProblems(E), std::vector<std::string>{});
    if constexpr (seedProgram) {
      ASSERT_EQ(E.numTriangles, call == 1 ? 80 : 320);
      for (const triangle* t = E.headTriangle; t; t = t->next) ASSERT_EQ(t->age, 0);
    } else {
      EXPECT_EQ(triangleList(), before);
      for (const triangle* t = E.headTriangle; t; t = t->next) ASSERT_EQ(t->age, call);
    }
  }
  // Only morphseed counts the lifespans down, without a lower bound.
  EXPECT_EQ(E.red.lifespan, expected(0, -2));
  EXPECT_EQ(E.green.lifespan, expected(5, 3));
  EXPECT_EQ(E.blue.lifespan, expected(-3, -5));
  EXPECT_EQ(E.red.threshold, 0);
  EXPECT_EQ(E.green.secretor, 4);
}

namespace {

// What the C library's own generator gives: an embryo's numbers must be exactly these.
std::vector<int> draws(unsigned seed, int count) {
  std::srand(seed);
  std::vector<int> values;
  for (int k = 0; k < count; ++k) values.push_back(std::rand());
  return values;
}

// The first seed whose first two draws give the red lifespan and threshold asked for (the
// seed program's case alone asks).
[[maybe_unused]] unsigned seedDrawingRed(int lifeSpan, int threshold) {
  for (unsigned seed = 1; seed < 1000000; ++seed) {
    const std::vector<int> d = draws(seed, 2);
    if (d[0] % 12 + 1 == lifeSpan && d[1] % 65 + 16 == threshold) return seed;
  }
  return 0;
}

}  // namespace

TEST(Episodes, RedLifespanRescaling) {
  if constexpr (seedProgram) {
    struct Case {
      int drawn, threshold, lifeSpan;
    };
    for (const Case& k : {Case{12, 80, 13}, Case{12, 16, 1}, Case{5, 28, 2}}) {
      const unsigned seed = seedDrawingRed(k.drawn, k.threshold);
      ASSERT_NE(seed, 0u);
      const std::vector<int> d = draws(seed, 4);
      buildIcosahedron();
      E.random.seed(seed);
      newEpisodeR(E);
      EXPECT_EQ(E.red.threshold, k.threshold);
      EXPECT_EQ(E.red.lifespan, k.lifeSpan) << "drawn " << k.drawn << " threshold " << k.threshold;
      EXPECT_EQ(E.red.secretor, d[2] % 12);
      EXPECT_EQ(E.random.next(), d[3]) << "three draws per episode";
    }
  } else {
    // Exact rational, truncated toward zero; out of the 16-bit range stores -32768.
    struct Case {
      int lifeSpan, threshold, result;
    };
    const Case cases[] = {
        {0, 7, 1},     {-1, 2, 0},        {1, 0, 0},           {-1, 4, 0},         {5, 28, 68},
        {-5, 28, -66}, {258, 255, 32767}, {-258, 255, -32765}, {259, 255, -32768}, {-300, 255, -32768},
    };
    for (const Case& k : cases) {
      resetStore();
      E.red.lifespan = static_cast<short>(k.lifeSpan);
      E.red.threshold = static_cast<unsigned char>(k.threshold);
      E.red.secretor = 2;
      newEpisodeR(E);
      EXPECT_EQ(E.red.lifespan, k.result) << k.lifeSpan << " with threshold " << k.threshold;
      EXPECT_EQ(E.red.threshold, k.threshold);
      EXPECT_EQ(E.red.secretor, 2);
    }
  }
}

TEST(Episodes, GreenAndBlue) {
  if constexpr (seedProgram) {
    // Lifespan, threshold, secretor: three draws in that order.
    buildIcosahedron();
    for (unsigned seed = 1; seed <= 40; ++seed) {
      const std::vector<int> d = draws(seed, 4);
      E.random.seed(seed);
      newEpisodeG(E);
      EXPECT_EQ(E.green.lifespan, d[0] % 12 + 1);
      EXPECT_EQ(E.green.threshold, d[1] % 30 + 51);
      EXPECT_EQ(E.green.secretor, d[2] % 12);
      E.random.seed(seed);
      newEpisodeB(E);
      EXPECT_EQ(E.blue.lifespan, d[0] % 12 + 1);
      EXPECT_EQ(E.blue.threshold, d[1] % 20 + 61);
      EXPECT_EQ(E.blue.secretor, d[2] % 12);
      EXPECT_EQ(E.random.next(), d[3]);
    }
    // With no vertex to pick there is no secretor, and still three draws.
    resetStore();
    const std::vector<int> d = draws(3, 4);
    E.random.seed(3);
    newEpisodeB(E);
    EXPECT_EQ(E.blue.secretor, -1);
    EXPECT_EQ(E.random.next(), d[3]);
  } else {
    resetStore();
    E.green.lifespan = E.blue.lifespan = -4;
    newEpisodeG(E);
    newEpisodeB(E);
    EXPECT_EQ(std::make_tuple(E.green.lifespan, E.green.threshold, E.green.secretor), std::make_tuple(short{-4}, 255, short{-1}));
    EXPECT_EQ(std::make_tuple(E.blue.lifespan, E.blue.threshold, E.blue.secretor), std::make_tuple(short{-4}, 255, short{-1}));
  }
}

TEST(Episodes, FirstDiffusionStepsOfARun) {
  if constexpr (seedProgram) {
    // A fresh embryo: the first growth takes the lifespans to -1 and the first diffusion
    // step begins the red episode only.
    buildIcosahedron();
    hormoneGrow(E);
    ASSERT_EQ(E.numTriangles, 20);
    std::vector<int> d = draws(11, 4);
    E.random.seed(11);
    diffuse(E);
    EXPECT_EQ(E.red.threshold, d[1] % 65 + 16);
    EXPECT_EQ(E.red.lifespan, (d[0] % 12 + 1) * (E.red.threshold - 15) / 65 + 1);
    ASSERT_EQ(E.red.secretor, d[2] % 12);
    EXPECT_EQ(E.vertex[E.red.secretor].hormoneR, 255);
    EXPECT_EQ(E.random.next(), d[3]);
    EXPECT_EQ(std::make_tuple(E.green.lifespan, E.green.threshold, E.green.secretor), std::make_tuple(short{-1}, 255, short{-1}));
    EXPECT_EQ(std::make_tuple(E.blue.lifespan, E.blue.threshold, E.blue.secretor), std::make_tuple(short{-1}, 255, short{-1}));

    // Above 500 triangles all three begin, drawing red's numbers, then green's, then blue's.
    buildSubdividedIcosahedron(3);
    d = draws(11, 10);
    E.random.seed(11);
    diffuse(E);
    EXPECT_EQ(E.red.secretor, d[2] % E.numVertices);
    EXPECT_EQ(std::make_tuple(int{E.green.lifespan}, int{E.green.threshold}, int{E.green.secretor}),
              std::make_tuple(d[3] % 12 + 1, d[4] % 30 + 51, d[5] % E.numVertices));
    EXPECT_EQ(std::make_tuple(int{E.blue.lifespan}, int{E.blue.threshold}, int{E.blue.secretor}),
              std::make_tuple(d[6] % 12 + 1, d[7] % 20 + 61, d[8] % E.numVertices));
    EXPECT_EQ(E.random.next(), d[9]);
  } else {
    // The red lifespan is rescaled at each step above 500 triangles until it is positive.
    struct Case {
      int levels, lifeSpan, threshold;
      std::vector<int> afterEachStep;
    };
    const Case cases[] = {
        {2, 0, 7, {0, 0}},      // 320 triangles: nothing begins
        {3, 0, 7, {1, 1, 1}},   // 1280 triangles
        {3, -1, 4, {0, 1, 1}},  // -0.5 truncates to 0, which has run out again
    };
    for (const Case& k : cases) {
      buildSubdividedIcosahedron(k.levels);
      E.red.lifespan = static_cast<short>(k.lifeSpan);
      E.red.threshold = static_cast<unsigned char>(k.threshold);
      for (int after : k.afterEachStep) {
        diffuse(E);
        EXPECT_EQ(E.red.lifespan, after) << E.numTriangles << " triangles, from " << k.lifeSpan;
      }
      EXPECT_EQ(std::make_pair(E.green.lifespan, E.blue.lifespan), std::make_pair(short{0}, short{0}));
    }
  }
}

TEST(Episodes, SizeConditionIsMoreThan500) {
  for (int count : {500, 501}) {
    buildIcosahedron();
    E.numTriangles = count;  // the episode checks read only the count
    E.random.seed(1);
    diffuse(E);
    E.numTriangles = 20;
    const bool large = count > 500;
    EXPECT_EQ(E.red.lifespan > 0, large || !variant::redEpisodeNeedsSize) << count;
    EXPECT_EQ(E.green.lifespan > 0, large && seedProgram) << count;
    EXPECT_EQ(E.blue.lifespan > 0, large && seedProgram) << count;
  }
}
