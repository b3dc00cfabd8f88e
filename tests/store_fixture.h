// Helpers that let tests make a fresh embryo and build small meshes in it; the invariant
// walker (storeProblems) comes with them from the core. Each core test is built once per
// program's rules (MORPH_TEST_SWEEP picks morphsweep's) and, for the tiny build, with a
// small vertex array (MORPH_TEST_CAPACITY) that growth fills within a few cycles.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "embryostate.h"
#include "failure.h"
#include "storecheck.h"

#ifdef MORPH_TEST_SWEEP
inline constexpr const modelRules& testRules = sweepRules;
#else
inline constexpr const modelRules& testRules = seedRules;
#endif
#ifdef MORPH_TEST_CAPACITY
inline constexpr int testCapacity = MORPH_TEST_CAPACITY;
#else
inline constexpr int testCapacity = testRules.vertexCapacity;
#endif

// The rules under test as constants, so that a test can branch on them at compile time.
namespace variant {
inline constexpr const char* programName = testRules.programName;
inline constexpr int vertexCapacity = testCapacity;
inline constexpr int startNumVertices = testRules.startNumVertices;
inline constexpr int startNumTriangles = testRules.startNumTriangles;
inline constexpr bool growthSplits = testRules.growthSplits;
inline constexpr bool randomEpisodes = testRules.randomEpisodes;
inline constexpr unsigned char greenSecretorLevel = testRules.greenSecretorLevel;
inline constexpr bool redEpisodeNeedsSize = testRules.redEpisodeNeedsSize;
inline constexpr bool scaledForces = testRules.scaledForces;
inline constexpr bool rescaleOnWrite = testRules.rescaleOnWrite;
inline constexpr bool sweepOutputs = !testRules.growthSplits;
}  // namespace variant

using Point = std::array<float, 3>;
using Face = std::array<short, 3>;

// The embryo the helpers below build into and the tests inspect; resetStore replaces it
// with a new one, so every test starts from an embryo's start state.
Embryo& testEmbryo();
// Test code names it E; the same object for the whole test program.
inline Embryo& E = testEmbryo();

void resetStore(const GrowthSettings& settings = startingSettings(testRules));

// Fills the store with the given vertices and faces (list in the given order). Each
// vertex's neighbour list holds its edge partners in order of first appearance.
void buildMesh(const std::vector<Point>& positions, const std::vector<Face>& faces);

// A regular icosahedron around the origin (12 vertices, 20 outward faces, edge about 1.05).
std::vector<Point> icosahedronPoints();
std::vector<Face> icosahedronFaces();
void buildIcosahedron();
// The icosahedron with every face cut 1-to-4 `levels` times, new points pushed out to the
// unit sphere (20 * 4^levels faces, every vertex with 5 or 6 neighbours, no dependents).
void buildSubdividedIcosahedron(int levels);

// The triangle list from head to tail, as corner triples.
std::vector<Face> triangleList();

// Runs `step` as a program's main runs the model: a runError ends the process with the
// program's message and status, so death tests see what a user sees.
template <class Step>
void asProgram(Step&& step) {
  try {
    step();
  } catch (const runError& error) {
    std::fprintf(stderr, "%s: %s\n", variant::programName, error.what());
    std::fflush(stdout);
    std::exit(error.status());
  }
}
