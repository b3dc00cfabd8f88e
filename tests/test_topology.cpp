#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "store_fixture.h"
#include "topology.h"

namespace {

using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;
using Entries = std::vector<std::pair<short, short>>;  // (dependent, spouse)

std::vector<short> neighborsOf(int v) { return {E.vertex[v].neighbors, E.vertex[v].neighbors + E.vertex[v].numNeighbors}; }

Entries entriesOf(int v) {
  Entries entries;
  for (int i = 0; i < E.vertex[v].numDependents; ++i) {
    entries.emplace_back(E.vertex[v].dependents[i], E.vertex[v].spouses[i]);
  }
  return entries;
}

triangle* nthTriangle(int n) {
  triangle* t = E.headTriangle;
  for (int i = 0; i < n && t; ++i) t = t->next;
  return t;
}

triangle* findTriangle(Face corners) {
  for (triangle* t = E.headTriangle; t; t = t->next) {
    if (Face{t->v[0], t->v[1], t->v[2]} == corners) return t;
  }
  return nullptr;
}

bool contains(const short* begin, int count, int value) {
  return std::find(begin, begin + count, value) != begin + count;
}

// What the store checker does not look at: the neighbour lists against the triangles.
// Lists are mutual, without repeats or self-loops, and every listed pair is a triangle
// edge; every triangle edge a-b has b listed by a, pending on a, or as a's parent.
std::vector<std::string> adjacencyProblems() {
  std::vector<std::string> problems;
  std::set<std::pair<int, int>> edges;
  for (const Face& f : triangleList()) {
    for (int e = 0; e < 3; ++e) {
      edges.insert({f[e], f[(e + 1) % 3]});
      edges.insert({f[(e + 1) % 3], f[e]});
    }
  }
  for (int a = 0; a < E.numVertices; ++a) {
    const vertex_struct& v = E.vertex[a];
    for (int j = 0; j < v.numNeighbors; ++j) {
      const short n = v.neighbors[j];
      if (n == a || std::count(v.neighbors, v.neighbors + v.numNeighbors, n) != 1 ||
          !contains(E.vertex[n].neighbors, E.vertex[n].numNeighbors, a) || !edges.count({a, n})) {
        problems.push_back("vertex " + std::to_string(a) + ": bad neighbour " + std::to_string(n));
      }
    }
  }
  for (const auto& [a, b] : edges) {
    const vertex_struct& v = E.vertex[a];
    if (!contains(v.neighbors, v.numNeighbors, b) && !contains(v.dependents, v.numDependents, b) && v.parentA != b &&
        v.parentB != b) {
      problems.push_back("edge " + std::to_string(a) + "-" + std::to_string(b) + " unknown to " + std::to_string(a));
    }
  }
  return problems;
}

// 0 for a free vertex, 1 for a dependent of two free vertices, more when a parent is pending.
int nestingDepth(int v) {
  const vertex_struct& w = E.vertex[v];
  if (w.parentA == -1 || w.parentB == -1) return 0;
  return 1 + std::max(nestingDepth(w.parentA), nestingDepth(w.parentB));
}

// Splits every triangle of the list as it stands, the way hormone-driven growth walks it.
void splitWholeList() {
  const int steps = E.numTriangles;
  triangle* t = E.headTriangle;
  for (int i = 0; i < steps && t; ++i) {
    triangle* next = t->next;
    splitTriangle(E, t);
    t = next;
  }
}

// No dependent left; every edge in exactly two triangles, once each way; V - E + F = 2.
void expectClosedSurfaceWithoutDependents() {
  for (int i = 0; i < E.numVertices; ++i) {
    EXPECT_EQ(E.vertex[i].numDependents, 0) << "vertex " << i;
    EXPECT_EQ(E.vertex[i].parentA, -1) << "vertex " << i;
  }
  std::map<std::pair<int, int>, int> directed;
  const std::vector<Face> faces = triangleList();
  for (const Face& f : faces) {
    for (int e = 0; e < 3; ++e) ++directed[{f[e], f[(e + 1) % 3]}];
  }
  for (const auto& [edge, uses] : directed) {
    EXPECT_EQ(uses, 1) << edge.first << "-" << edge.second;
    EXPECT_EQ(directed.count({edge.second, edge.first}), 1u) << edge.first << "-" << edge.second;
  }
  const long edges = static_cast<long>(directed.size()) / 2;
  EXPECT_EQ(E.numVertices - edges + static_cast<long>(faces.size()), 2);
}

// ---------------------------------------------------------------- array routines

TEST(DependentArrays, RemoveShortElementShiftsTheTailDown) {
  short values[5] = {10, 11, 12, 13, 14};
  removeShortElement(values, 1, 5);
  EXPECT_EQ(std::vector<short>(values, values + 5), (std::vector<short>{10, 12, 13, 14, 14}));
  removeShortElement(values, 3, 4);  // the last valid element: nothing moves
  EXPECT_EQ(std::vector<short>(values, values + 5), (std::vector<short>{10, 12, 13, 14, 14}));
  removeShortElement(values, 0, 2);  // only the first two count
  EXPECT_EQ(std::vector<short>(values, values + 5), (std::vector<short>{12, 12, 13, 14, 14}));
}

TEST(DependentArrays, MoreShortsGrowsBothArraysBySixWhenFull) {
  resetStore();
  vertex_struct& v = E.vertex[0];
  moreShorts(E, &v, dependentGrowth);
  ASSERT_EQ(v.maxDependents, 6);
  for (short i = 0; i < 6; ++i) {
    moreShorts(E, &v, dependentGrowth);  // room already there: nothing changes
    EXPECT_EQ(v.maxDependents, 6);
    v.dependents[i] = static_cast<short>(100 + i);
    v.spouses[i] = static_cast<short>(200 + i);
    ++v.numDependents;
  }
  moreShorts(E, &v, dependentGrowth);
  EXPECT_EQ(v.maxDependents, 12);
  for (short i = 0; i < 6; ++i) {
    EXPECT_EQ(v.dependents[i], 100 + i);
    EXPECT_EQ(v.spouses[i], 200 + i);
  }
  v.dependents[11] = v.spouses[11] = 1;  // the new room is writable (checked under ASan)
  resetStore();
}

TEST(DependentArraysDeathTest, GrowthPastASixteenBitCountEndsTheRun) {
  resetStore();
  E.vertex[3].numDependents = E.vertex[3].maxDependents = 32761;  // grows to exactly 32767
  moreShorts(E, &E.vertex[3], dependentGrowth);
  EXPECT_EQ(E.vertex[3].maxDependents, 32767);
  E.vertex[3].dependents[32766] = 1;
  E.vertex[3].numDependents = E.vertex[3].maxDependents = 32762;
  EXPECT_EXIT(asProgram([&] { moreShorts(E, &E.vertex[3], dependentGrowth); }), testing::ExitedWithCode(3), "vertex 3 .*16-bit");
  resetStore();
}

// ---------------------------------------------------------------- single splits by hand

TEST(Split, OneSeedFaceMakesThreeMidpointsInOrder) {
  buildIcosahedron();
  // Slot 12 as an earlier embryo left it: the new vertex must not inherit any of it.
  vertex_struct& stale = E.vertex[12];
  moreShorts(E, &stale, dependentGrowth);
  stale.numNeighbors = stale.numDependents = 6;
  stale.hormoneR = stale.hormoneG = stale.hormoneB = 200;
  stale.parentA = stale.parentB = 7;
  const std::vector<Face> before = triangleList();
  const std::vector<short> n1 = neighborsOf(1), n5 = neighborsOf(5), n9 = neighborsOf(9);
  splitTriangle(E, nthTriangle(5));  // (1, 5, 9)

  ASSERT_EQ(E.numVertices, 15);
  const short a = 12, b = 13, c = 14;  // on 1-5, 1-9, 5-9
  const std::vector<Face> after = triangleList();
  ASSERT_EQ(E.numTriangles, 23);
  ASSERT_EQ(after.size(), 23u);
  for (int i = 0; i < 19; ++i) EXPECT_EQ(after[i], before[i < 5 ? i : i + 1]);
  EXPECT_EQ(after[19], (Face{a, c, b}));
  EXPECT_EQ(after[20], (Face{a, b, 1}));
  EXPECT_EQ(after[21], (Face{5, c, a}));
  EXPECT_EQ(after[22], (Face{c, 9, b}));

  EXPECT_EQ(entriesOf(1), (Entries{{a, 5}, {b, 9}}));
  EXPECT_EQ(entriesOf(5), (Entries{{a, 1}, {c, 9}}));
  EXPECT_EQ(entriesOf(9), (Entries{{b, 1}, {c, 5}}));
  EXPECT_EQ(neighborsOf(a), (std::vector<short>{b, c}));
  EXPECT_EQ(neighborsOf(b), (std::vector<short>{c, a}));
  EXPECT_EQ(neighborsOf(c), (std::vector<short>{a, b}));
  const std::pair<short, short> parents[3] = {{5, 1}, {1, 9}, {9, 5}};
  for (int k = 0; k < 3; ++k) {
    const vertex_struct& m = E.vertex[a + k];
    EXPECT_EQ(std::make_pair(m.parentA, m.parentB), parents[k]);
    const vertex_struct& p = E.vertex[parents[k].first];
    const vertex_struct& q = E.vertex[parents[k].second];
    EXPECT_EQ(m.x, static_cast<float>((p.x + q.x) / 2.0));
    EXPECT_EQ(m.y, static_cast<float>((p.y + q.y) / 2.0));
    EXPECT_EQ(m.z, static_cast<float>((p.z + q.z) / 2.0));
    EXPECT_EQ(m.hormoneR + m.hormoneG + m.hormoneB, 0);
    EXPECT_EQ(m.maxDependents, 0);
  }
  // The corners still list each other: the far sides of the edges are whole.
  EXPECT_EQ(neighborsOf(1), n1);
  EXPECT_EQ(neighborsOf(5), n5);
  EXPECT_EQ(neighborsOf(9), n9);
  EXPECT_TRUE(storeProblems(E).empty());
  EXPECT_TRUE(adjacencyProblems().empty());
}

TEST(Split, NeighbourSplitResolvesTheSharedMidpoint) {
  buildIcosahedron();
  splitTriangle(E, findTriangle({0, 11, 5}));  // 12 on 0-11, 13 on 0-5, 14 on 11-5
  std::vector<short> n0 = neighborsOf(0), n11 = neighborsOf(11);
  splitTriangle(E, findTriangle({0, 10, 11}));  // shares 0-11

  EXPECT_EQ(E.numVertices, 17);  // only 15 on 0-10 and 16 on 10-11 are new
  EXPECT_EQ(E.vertex[12].parentA, -1);
  EXPECT_EQ(E.vertex[12].parentB, -1);
  EXPECT_EQ(neighborsOf(12), (std::vector<short>{13, 14, 0, 11, 16, 15}));
  std::replace(n0.begin(), n0.end(), short{11}, short{12});
  std::replace(n11.begin(), n11.end(), short{0}, short{12});
  EXPECT_EQ(neighborsOf(0), n0);
  EXPECT_EQ(neighborsOf(11), n11);
  EXPECT_EQ(entriesOf(0), (Entries{{13, 5}, {15, 10}}));
  EXPECT_EQ(entriesOf(11), (Entries{{14, 5}, {16, 10}}));
  EXPECT_EQ(entriesOf(10), (Entries{{15, 0}, {16, 11}}));
  EXPECT_EQ(triangleList().back(), (Face{16, 11, 12}));
  EXPECT_TRUE(storeProblems(E).empty());
  EXPECT_TRUE(adjacencyProblems().empty());
}

TEST(Split, MissingSpouseIsReportedAndTheRestGoesAhead) {
  buildIcosahedron();
  splitTriangle(E, findTriangle({0, 11, 5}));
  ASSERT_TRUE(contains(E.vertex[0].neighbors, E.vertex[0].numNeighbors, 11));
  std::replace(E.vertex[0].neighbors, E.vertex[0].neighbors + E.vertex[0].numNeighbors, short{11}, short{1});
  const std::vector<short> corrupted = neighborsOf(0);
  triangle other;
  other.v[0] = 0;
  other.v[1] = 10;
  other.v[2] = 11;
  short p = -5, q = -5, r = -5;
  CaptureStderr();
  addRemoveDependents(E, &other, &p, &q, &r);
  EXPECT_EQ(GetCapturedStderr(), "Spouse should be in neighbor list.\n");
  EXPECT_EQ(q, 12);
  EXPECT_EQ(neighborsOf(0), corrupted);
  EXPECT_EQ(E.vertex[12].parentA, -1);
  EXPECT_EQ(entriesOf(0), (Entries{{13, 5}, {15, 10}}));
}

TEST(Split, ReportsLargeXOfTheV0V2MidpointAndDuplicateCorners) {
  const std::vector<Face> tetrahedron{{0, 1, 2}, {0, 2, 3}, {0, 3, 1}, {1, 3, 2}};
  // All three mid-points lie beyond 100 in x; only the v0-v2 one is reported.
  buildMesh({{351.602f, 0, 0}, {351.602f, 1, 0}, {351.602f, 0, 1}, {0, 0, 0}}, tetrahedron);
  CaptureStderr();
  splitTriangle(E, E.headTriangle);
  EXPECT_EQ(GetCapturedStderr(), "large vertex x 351.602\n");
  // Exactly 100 is not beyond it.
  buildMesh({{100, 0, 0}, {300, 1, 0}, {100, 0, 1}, {0, 0, 0}}, tetrahedron);
  CaptureStderr();
  splitTriangle(E, E.headTriangle);
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(E.vertex[4].x, 200.0f);

  buildIcosahedron();
  auto* bad = new triangle();
  bad->v[0] = bad->v[1] = 4;
  bad->v[2] = 9;
  addTriangle(E, bad, E.tailTriangle);
  ++E.numTriangles;
  CaptureStderr();
  splitTriangle(E, bad);
  EXPECT_EQ(GetCapturedStderr(), "Error: duplicate verts!\n4\n4\n9\n");
  EXPECT_EQ(E.numTriangles, 24);
  EXPECT_EQ(E.numVertices, 15);
  EXPECT_TRUE(storeProblems(E).empty());
}

// ---------------------------------------------------------------- the list

TEST(TriangleList, AddAndRemoveKeepBothDirections) {
  buildIcosahedron();
  triangle* successor = E.headTriangle->next;
  splitTriangle(E, E.headTriangle);
  EXPECT_EQ(E.headTriangle, successor);
  EXPECT_EQ(E.headTriangle->prev, nullptr);

  auto* t = new triangle();
  t->v[0] = t->v[1] = t->v[2] = 0;
  addTriangle(E, t, successor);
  EXPECT_EQ(t->prev, successor);
  EXPECT_EQ(t->next->prev, t);
  auto* last = new triangle();
  last->v[0] = last->v[1] = last->v[2] = 0;
  addTriangle(E, last, E.tailTriangle);
  EXPECT_EQ(E.tailTriangle, last);
  E.numTriangles += 2;
  EXPECT_TRUE(storeProblems(E).empty());
  removeTriangle(E, last);  // the tail: its predecessor takes over
  removeTriangle(E, t);
  E.numTriangles -= 2;
  EXPECT_TRUE(storeProblems(E).empty());

  while (E.headTriangle) removeTriangle(E, E.headTriangle);
  EXPECT_EQ(E.tailTriangle, nullptr);
  addTriangle(E, t = new triangle(), nullptr);  // into the empty list
  t->v[0] = t->v[1] = t->v[2] = 0;
  EXPECT_EQ(E.headTriangle, t);
  EXPECT_EQ(E.tailTriangle, t);
  E.numTriangles = 1;
  EXPECT_TRUE(storeProblems(E).empty());
}

TEST(TriangleList, WalksSplitEachTriangleOnceAndCloseTheSurface) {
  buildIcosahedron();
  splitWholeList();
  EXPECT_EQ(E.numTriangles, 80);
  EXPECT_EQ(E.numVertices, 42);  // one vertex per edge of the icosahedron: no child was split
  for (const Face& f : triangleList()) {
    EXPECT_LE(std::count_if(f.begin(), f.end(), [](short c) { return c < 12; }), 1);
  }
  EXPECT_TRUE(storeProblems(E).empty());
  expectClosedSurfaceWithoutDependents();

  splitWholeList();
  EXPECT_EQ(E.numTriangles, 320);
  EXPECT_EQ(E.numVertices, 162);
  EXPECT_TRUE(storeProblems(E).empty());
  EXPECT_TRUE(adjacencyProblems().empty());
  expectClosedSurfaceWithoutDependents();
  for (int i = 0; i < E.numVertices; ++i) EXPECT_EQ(E.vertex[i].numNeighbors, i < 12 ? 5 : 6) << "vertex " << i;
}

// ---------------------------------------------------------------- nested dependents

TEST(Nested, ClosestDepOrNeighborFindsTheNearestWhateverTheOrder) {
  buildIcosahedron();
  EXPECT_EQ(closestDepOrNeighbor(E, 0, 11), 11);  // nothing pending
  splitTriangle(E, findTriangle({0, 11, 5}));     // D = 12 on 0-11
  EXPECT_EQ(closestDepOrNeighbor(E, 0, 11), 12);
  EXPECT_EQ(closestDepOrNeighbor(E, 0, 1), 1);
  // The corner piece at 0: 15 on D-13, E = 16 on D-0, F = 17 on 13-0, the last two
  // pending because the far sides of 0-11 and 0-5 are whole.
  splitTriangle(E, findTriangle({12, 13, 0}));
  ASSERT_EQ(std::make_pair(E.vertex[16].parentA, E.vertex[16].parentB), std::make_pair(short{12}, short{0}));
  ASSERT_EQ(E.vertex[0].numDependents, 4);
  EXPECT_EQ(closestDepOrNeighbor(E, 11, 0), 12);  // from the far end, D is nearest

  vertex_struct& v = E.vertex[0];
  std::vector<int> order{0, 1, 2, 3};
  const Entries entries = entriesOf(0);
  do {
    for (int i = 0; i < 4; ++i) std::tie(v.dependents[i], v.spouses[i]) = entries[order[i]];
    EXPECT_EQ(closestDepOrNeighbor(E, 0, 11), 16);
    EXPECT_EQ(closestDepOrNeighbor(E, 0, 5), 17);
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_TRUE(storeProblems(E).empty());

  // Resolving D keeps the entry of E, which now lies on the edge 0-D.
  splitTriangle(E, findTriangle({0, 10, 11}));
  EXPECT_EQ(E.vertex[12].parentA, -1);
  EXPECT_EQ(E.vertex[16].parentA, 12);
  const Entries now = entriesOf(0);
  EXPECT_EQ(std::count(now.begin(), now.end(), std::make_pair(short{16}, short{12})), 1);
  EXPECT_EQ(closestDepOrNeighbor(E, 0, 12), 16);
  EXPECT_EQ(closestDepOrNeighbor(E, 12, 0), 16);
  EXPECT_TRUE(storeProblems(E).empty());
  EXPECT_TRUE(adjacencyProblems().empty());

  // Lists that name each other in a circle end the search instead of hanging it.
  v.dependents[0] = 1;
  v.spouses[0] = 2;
  v.dependents[1] = 2;
  v.spouses[1] = 1;
  v.numDependents = 2;
  const short result = closestDepOrNeighbor(E, 0, 2);
  EXPECT_TRUE(result == 1 || result == 2);
}

// ---------------------------------------------------------------- a full vertex array

TEST(FullArray, AddRemoveDependentsCreatesOnlyWhatFits) {
  buildIcosahedron();
  E.numVertices = subdivisionVertexLimit(E) - 1;  // the slots above the icosahedron are blank
  short p = -7, q = -7, r = -7;
  CaptureStderr();
  addRemoveDependents(E, E.headTriangle, &p, &q, &r);
  EXPECT_EQ(GetCapturedStderr(), "Vertex array is full.\n");
  EXPECT_EQ(p, subdivisionVertexLimit(E) - 1);
  EXPECT_EQ(q, -7);
  EXPECT_EQ(r, -7);
  EXPECT_EQ(E.numVertices, subdivisionVertexLimit(E));
  EXPECT_EQ(E.vertex[p].numNeighbors, 0);  // nothing to link it to
  EXPECT_TRUE(storeProblems(E).empty());
  // Once full, every call says so again and creates nothing.
  CaptureStderr();
  addRemoveDependents(E, nthTriangle(7), &p, &q, &r);
  EXPECT_EQ(GetCapturedStderr(), "Vertex array is full.\n");
  EXPECT_EQ(E.numVertices, subdivisionVertexLimit(E));
  EXPECT_EQ(q, -7);
}

TEST(FullArray, SplitIsRefusedWholeUnlessEveryMidpointFits) {
  buildIcosahedron();
  splitTriangle(E, findTriangle({0, 11, 5}));
  E.numVertices = subdivisionVertexLimit(E) - 2;
  const std::vector<Face> before = triangleList();
  const Entries entries5 = entriesOf(5);
  CaptureStderr();
  splitTriangle(E, findTriangle({4, 9, 5}));  // needs three
  EXPECT_EQ(GetCapturedStderr(), "Vertex array is full.\n");
  EXPECT_EQ(E.numVertices, subdivisionVertexLimit(E) - 2);
  EXPECT_EQ(triangleList(), before);
  EXPECT_EQ(E.numTriangles, 23);
  EXPECT_EQ(E.vertex[4].numDependents, 0);
  EXPECT_EQ(entriesOf(5), entries5);

  CaptureStderr();
  splitTriangle(E, findTriangle({0, 10, 11}));  // needs two: fits exactly
  EXPECT_EQ(GetCapturedStderr(), "Vertex array is full.\n");
  EXPECT_EQ(E.numVertices, subdivisionVertexLimit(E));
  EXPECT_EQ(E.numTriangles, 26);
  EXPECT_TRUE(storeProblems(E).empty());
}

TEST(FullArray, SplitNeedingNoNewVertexStillGoesAhead) {
  buildIcosahedron();
  // The three neighbours of (0, 11, 5) leave a pending mid-point on each of its edges.
  splitTriangle(E, findTriangle({0, 10, 11}));
  splitTriangle(E, findTriangle({5, 11, 4}));
  splitTriangle(E, findTriangle({0, 5, 1}));
  E.numVertices = subdivisionVertexLimit(E);
  CaptureStderr();
  splitTriangle(E, findTriangle({0, 11, 5}));
  EXPECT_EQ(GetCapturedStderr(), "Vertex array is full.\n");
  EXPECT_EQ(E.numVertices, subdivisionVertexLimit(E));
  EXPECT_EQ(E.numTriangles, 32);
  for (int i : {13, 15, 18}) EXPECT_EQ(E.vertex[i].parentA, -1) << "vertex " << i;
  EXPECT_TRUE(storeProblems(E).empty());
  EXPECT_TRUE(adjacencyProblems().empty());
}

TEST(OverflowDeathTest, SeventhNeighbourEndsTheRun) {
  buildIcosahedron();
  splitTriangle(E, findTriangle({0, 11, 5}));
  vertex_struct& d = E.vertex[12];  // pending on 0-11; pretend its list is already full
  for (short i = 2; i < 6; ++i) d.neighbors[i] = i;
  d.numNeighbors = 6;
  EXPECT_EXIT(asProgram([&] { splitTriangle(E, findTriangle({0, 10, 11})); }), testing::ExitedWithCode(3),
              "vertex 12 already has 6 neighbours");
}

// ---------------------------------------------------------------- random splitting

// Mostly short runs and two long ones: the checker walks the whole store after every
// split, so its cost grows with the mesh. Half the picks fall on the newest pieces, which
// refines locally and nests dependents deeply next to coarse, unsplit triangles.
TEST(Property, RandomSplitsKeepEveryInvariant) {
  std::vector<std::pair<unsigned, int>> runs;  // (seed, splits)
  for (unsigned seed = 1; seed <= 40; ++seed) runs.emplace_back(seed, 200);
  runs.emplace_back(1001, 1000);
  runs.emplace_back(2002, 1000);
  int splits = 0, deepest = 0, longestDependents = 0;
  for (const auto& [seed, length] : runs) {
    std::mt19937 random(seed);
    buildIcosahedron();
    for (int s = 0; s < length; ++s, ++splits) {
      const bool local = random() % 2 == 0;
      std::uniform_int_distribution<int> pick(local ? E.numTriangles - 8 : 0, E.numTriangles - 1);
      triangle* t = nthTriangle(pick(random));
      const Face corners{t->v[0], t->v[1], t->v[2]};
      const int verticesBefore = E.numVertices, trianglesBefore = E.numTriangles;
      splitTriangle(E, t);
      const std::vector<std::string> problems = storeProblems(E);
      ASSERT_TRUE(problems.empty()) << "seed " << seed << ", split " << s << ": " << problems.front();
      ASSERT_EQ(E.numTriangles, trianglesBefore + 3);
      ASSERT_LE(E.numVertices - verticesBefore, 3);
      // The last four are the pieces, built on three mid-points distinct from the corners.
      std::vector<Face> pieces;
      for (const triangle* p = E.tailTriangle; pieces.size() < 4; p = p->prev) {
        pieces.insert(pieces.begin(), {p->v[0], p->v[1], p->v[2]});
      }
      const short a = pieces[0][0], c = pieces[0][1], b = pieces[0][2];
      ASSERT_EQ(pieces[1], (Face{a, b, corners[0]}));
      ASSERT_EQ(pieces[2], (Face{corners[1], c, a}));
      ASSERT_EQ(pieces[3], (Face{c, corners[2], b}));
      ASSERT_EQ(std::set<short>({a, b, c, corners[0], corners[1], corners[2]}).size(), 6u);
      if (s % 20 == 19) {
        const std::vector<std::string> adjacency = adjacencyProblems();
        ASSERT_TRUE(adjacency.empty()) << "seed " << seed << ", split " << s << ": " << adjacency.front();
      }
    }
    for (int i = 0; i < E.numVertices; ++i) {
      deepest = std::max(deepest, nestingDepth(i));
      longestDependents = std::max(longestDependents, static_cast<int>(E.vertex[i].numDependents));
    }
  }
  EXPECT_GE(splits, 10000);
  EXPECT_GE(deepest, 5);                              // mid-points pending on pending mid-points
  EXPECT_GT(longestDependents, 2 * dependentGrowth);  // the arrays grew more than once
}

}  // namespace
