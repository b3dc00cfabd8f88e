// The store's lifecycle and its invariant walker: a reset leaves a sound empty store, and
// every kind of broken invariant is named by the walker (it is the oracle of many other
// tests, so a walker that misses a fault would let those pass).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "signalling.h"
#include "store_fixture.h"
#include "topology.h"
#include "wholenumber.h"

namespace {

bool mentions(const std::vector<std::string>& problems, const std::string& part) {
  for (const std::string& p : problems) {
    if (p.find(part) != std::string::npos) return true;
  }
  return false;
}

TEST(StoreReset, ClearStoreLeavesASoundEmptyList) {
  buildIcosahedron();
  splitTriangle(E, E.headTriangle);
  E.clearStore();
  EXPECT_EQ(E.headTriangle, nullptr);
  EXPECT_EQ(E.tailTriangle, nullptr);
  EXPECT_EQ(E.numVertices, 0);
  EXPECT_EQ(E.numTriangles, 0);
  EXPECT_EQ(E.numInitialTriangles, 0);
  EXPECT_EQ(storeProblems(E), std::vector<std::string>{});

  // A list built after a reset starts at the head, not behind a freed tail.
  buildIcosahedron();
  EXPECT_EQ(E.headTriangle->prev, nullptr);
  EXPECT_EQ(storeProblems(E), std::vector<std::string>{});
}

// One fault at a time on a split icosahedron (which has pending mid-points), each with a
// word the walker's report must contain.
TEST(StoreCheck, EveryKindOfBrokenInvariantIsReported) {
  struct Fault {
    const char* name;
    std::function<void()> inject;
    const char* reported;
  };
  const std::vector<Fault> faults = {
      {"count too high", [] { ++E.numTriangles; }, "!= numTriangles"},
      {"dangling tail", [] { E.tailTriangle = E.headTriangle; }, "tailTriangle"},
      {"broken prev link", [] { E.headTriangle->next->prev = nullptr; }, "prev link"},
      {"head with a predecessor", [] { E.headTriangle->prev = E.tailTriangle; }, "predecessor"},
      {"dead corner", [] { E.headTriangle->v[1] = static_cast<short>(E.numVertices); }, "not live"},
      {"negative corner", [] { E.tailTriangle->v[2] = -3; }, "corner -3"},
      {"seventh neighbour", [] { E.vertex[0].numNeighbors = 7; }, "numNeighbors 7"},
      {"dead neighbour", [] { E.vertex[1].neighbors[0] = static_cast<short>(E.numVertices + 4); }, "neighbour"},
      {"count past capacity", [] { E.vertex[0].numDependents = E.vertex[0].maxDependents + 1; }, "numDependents"},
      {"unpaired entry", [] { E.vertex[E.vertex[12].parentA].spouses[0] = 7; }, "no partner"},
      {"unlisted dependent", [] { E.vertex[12].parentA = E.vertex[12].parentB = 3; }, "not listed"},
      {"listed but freed", [] { E.vertex[12].parentA = E.vertex[12].parentB = noVertex; }, "does not have parents"},
      {"one parent", [] { E.vertex[2].parentA = 5; }, "exactly one parent"},
      {"dead parent", [] { E.vertex[3].parentB = static_cast<short>(E.numVertices); }, "parent"},
      {"vertex count", [] { E.numVertices = -1; }, "numVertices"},
  };
  for (const Fault& f : faults) {
    SCOPED_TRACE(f.name);
    buildIcosahedron();
    splitTriangle(E, E.headTriangle);
    ASSERT_TRUE(isDependent(E.vertex[12]));
    ASSERT_EQ(storeProblems(E), std::vector<std::string>{});
    f.inject();
    const auto problems = storeProblems(E);
    EXPECT_TRUE(mentions(problems, f.reported)) << (problems.empty() ? "no problem reported" : problems.front());
    E.numVertices = 15;  // so that the next reset walks a list it can free
  }
}

// A loaded template keeps its pending mid-points' parents without their entries, which
// only the loaded-store rule accepts; a listed entry without parents is wrong under both.
TEST(StoreCheck, LoadedStoreRuleAcceptsParentsWithoutEntriesOnly) {
  buildIcosahedron();
  E.vertex[4].parentA = 0;
  E.vertex[4].parentB = 1;
  E.vertex[5].parentA = 2;  // one parent: as a file may give it
  EXPECT_TRUE(mentions(storeProblems(E, PendingMidpoints::listed), "not listed"));
  EXPECT_TRUE(mentions(storeProblems(E, PendingMidpoints::listed), "exactly one parent"));
  EXPECT_EQ(storeProblems(E, PendingMidpoints::parentsOnly), std::vector<std::string>{});

  buildIcosahedron();
  splitTriangle(E, E.headTriangle);
  E.vertex[12].parentA = E.vertex[12].parentB = noVertex;
  EXPECT_TRUE(mentions(storeProblems(E, PendingMidpoints::parentsOnly), "does not have parents"));
  EXPECT_EQ(programPendingRule(E), variant::growthSplits ? PendingMidpoints::listed : PendingMidpoints::parentsOnly);
}

TEST(StoreCheck, ReportIsCappedAndADependentNeedsBothParents) {
  buildSubdividedIcosahedron(1);
  for (int i = 0; i < E.numVertices; ++i) E.vertex[i].neighbors[0] = -2;
  EXPECT_EQ(storeProblems(E).size(), 20u);

  vertex_struct v{};
  v.parentA = 3;
  v.parentB = noVertex;
  EXPECT_FALSE(isDependent(v));
  v.parentB = 0;
  EXPECT_TRUE(isDependent(v));
  v.parentA = -7;  // a stray negative is no parent
  EXPECT_FALSE(isDependent(v));
}

// Checked builds stop at an index outside the vertex array; Release builds carry no check.
TEST(StoreCheckDeathTest, VertexIndexOutsideTheArrayStopsACheckedBuild) {
  EXPECT_EQ(&E.vertexAt(variant::vertexCapacity - 1), &E.vertex[variant::vertexCapacity - 1]);
  if constexpr (!checkedIndexing) GTEST_SKIP() << "a Release build without MORPH_VALIDATE does not check indices";
  EXPECT_DEATH(E.vertexAt(variant::vertexCapacity), "vertex index .* outside the .*-slot vertex array");
  EXPECT_DEATH(E.vertexAt(-1), "vertex index -1 outside");
}

// A validate build stops at the split that breaks the store, naming it.
TEST(StoreCheckDeathTest, ValidateBuildStopsAtTheSplitThatBreaksTheStore) {
  if constexpr (!validateBuild) GTEST_SKIP() << "only a MORPH_VALIDATE build checks the store after each split";
  buildIcosahedron();
  E.numTriangles = 21;  // a count the list does not match
  EXPECT_DEATH(splitTriangle(E, E.headTriangle), "store check failed after a split: list length");
  E.numTriangles = 20;
}

// Where the steps tolerate a state no sound store reaches, a validate build stops and names
// it; other builds go on with the tolerant value (a corner naming no live vertex counts as
// level 0, a short list is walked as far as it goes).
TEST(StoreCheckDeathTest, ToleratedImpossibleStatesStopAValidateBuild) {
  buildIcosahedron();
  E.headTriangle->v[0] = static_cast<short>(E.numVertices);  // a slot past the live vertices
  if constexpr (!validateBuild) {
    hormoneGrow(E);
    diffuse(E);
    int aged = 0;
    for (const triangle* t = E.headTriangle; t; t = t->next) aged += t->age == 1;
    EXPECT_EQ(aged, E.numTriangles) << "every triangle is still visited and aged once";
  } else {
    EXPECT_DEATH(hormoneGrow(E), "store check failed: a triangle corner names no live vertex");
    E.headTriangle->v[0] = 0;
    E.vertex[3].numNeighbors = 7;
    EXPECT_DEATH(diffuse(E), "store check failed: a neighbour count is outside 0..6");
    E.vertex[3].numNeighbors = 5;
    ++E.numTriangles;
    EXPECT_DEATH(hormoneGrow(E), "store check failed: the triangle list is shorter than its count");
    --E.numTriangles;
  }
  resetStore();
}

TEST(WholeNumber, DigitsAloneUpToTheLimit) {
  EXPECT_EQ(parseWholeNumber("0", 1), 0);
  EXPECT_EQ(parseWholeNumber("007", 7), 7);
  EXPECT_EQ(parseWholeNumber("2147483647", 2147483647), 2147483647);
  EXPECT_EQ(parseWholeNumber("2147483648", 2147483647), std::nullopt);
  EXPECT_EQ(parseWholeNumber("99999999999999999999999", 5), std::nullopt);  // refused before overflow
  for (const char* bad : {"", " 1", "1 ", "1x", "+1", "-1", "0x10", "1.0"}) {
    EXPECT_EQ(parseWholeNumber(bad, 100), std::nullopt) << "'" << bad << "'";
  }
  EXPECT_EQ(parseWholeNumber("-12", 100, Sign::allowed), -12);
  EXPECT_EQ(parseWholeNumber("+12", 100, Sign::allowed), 12);
  EXPECT_EQ(parseWholeNumber("-101", 100, Sign::allowed), std::nullopt);
  for (const char* bad : {"-", "+", "--1", "+-1", "- 1"}) {
    EXPECT_EQ(parseWholeNumber(bad, 100, Sign::allowed), std::nullopt) << "'" << bad << "'";
  }
}

}  // namespace
