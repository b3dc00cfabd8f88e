// Growth up to a full vertex array. Built against the tiny variant, whose array holds only
// a few generations of splits, so real growth reaches the limit within a few cycles.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "growth.h"
#include "meshio.h"
#include "normals.h"
#include "signalling.h"
#include "store_fixture.h"
#include "templateload.h"
#include "topology.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

static_assert(variant::vertexCapacity == 120, "these tests are meant for the tiny variant");
static_assert(testCapacity - 1 == 119);

namespace {

// Reads a 3DV file back and checks that it holds what its two counts state.
void expectParsesBack(const std::string& file, int vertices, int triangles) {
  std::ifstream in(file);
  int statedVertices = -1, statedTriangles = -1;
  ASSERT_TRUE(in >> statedVertices >> statedTriangles);
  EXPECT_EQ(statedVertices, vertices);
  EXPECT_EQ(statedTriangles, triangles);
  for (int i = 0; i < 6 * statedVertices; ++i) {
    float c = NAN;
    ASSERT_TRUE(in >> c) << "number " << i;
    ASSERT_TRUE(std::isfinite(c)) << "number " << i;
  }
  for (int i = 0; i < statedTriangles; ++i) {
    int corners = 0, a = -1, b = -1, c = -1;
    ASSERT_TRUE(in >> corners >> a >> b >> c) << "triangle " << i;
    EXPECT_EQ(corners, 3);
    for (int v : {a, b, c}) ASSERT_TRUE(v >= 0 && v < statedVertices) << "triangle " << i;
  }
  std::string rest;
  EXPECT_FALSE(in >> rest) << "text after the last triangle: " << rest;
}

class Capacity : public ::testing::Test {
 protected:
  void SetUp() override {
    resetStore();
    file_ = (fs::temp_directory_path() / ("capacity_" + std::to_string(getpid()) + ".3dv")).string();
  }
  void TearDown() override { fs::remove(file_); }
  std::string file_;
};

// morphseed's cycle, run from the icosahedron with fixed random seeds until well past the
// point where the array is full.
TEST_F(Capacity, SeedGrowthFillsTheArrayAndGoesOnSoundly) {
  for (unsigned seed : {1u, 2u, 1253901202u}) {
    SCOPED_TRACE("srand " + std::to_string(seed));
    buildIcosahedron();
    E.random.seed(seed);
    E.red.lifespan = E.green.lifespan = E.blue.lifespan = 0;
    E.totalCycles = 0;
    int fullAt = -1;
    for (int j = 0; j < 400 && (fullAt < 0 || j < fullAt + 15); ++j) {
      const int verticesBefore = E.numVertices;
      const float xBefore = E.vertex[0].x;
      CaptureStderr();
      growthCycle(E);
      const std::string err = GetCapturedStderr();
      ASSERT_EQ(storeProblems(E), std::vector<std::string>{}) << "cycle " << j;
      ASSERT_LE(E.numVertices, subdivisionVertexLimit(E)) << "cycle " << j;
      // Three more triangles for every split, and never a vertex without its split.
      ASSERT_EQ((E.numTriangles - 20) % 3, 0);
      ASSERT_GE(E.numVertices, verticesBefore);
      const bool reported = err.find("Vertex array is full.\n") != std::string::npos;
      if (fullAt < 0 && reported) {
        fullAt = j;
        // Refused only when too few slots were left for a whole split.
        EXPECT_GE(E.numVertices, subdivisionVertexLimit(E) - 2) << "cycle " << j;
      }
      if (fullAt >= 0 && j > fullAt) {
        // Relaxation still moves the surface after growth has stopped adding vertices.
        EXPECT_NE(E.vertex[0].x, xBefore) << "cycle " << j;
      }
      for (int i = 0; i < E.numVertices; ++i) {
        ASSERT_TRUE(std::isfinite(E.vertex[i].x) && std::isfinite(E.vertex[i].y) && std::isfinite(E.vertex[i].z))
            << "vertex " << i << " in cycle " << j;
      }
    }
    ASSERT_GE(fullAt, 0) << "the array never filled";
    EXPECT_GE(E.numVertices, subdivisionVertexLimit(E) - 2);

    recalcNorms(E);
    write3DV(E, file_.c_str());
    expectParsesBack(file_, E.numVertices, E.numTriangles);
  }
}

// Random splits on a subdivided icosahedron until none fits: a refused split leaves the
// store exactly as it was, and the store stays sound after every split.
TEST_F(Capacity, RandomSplitsStopAtTheLimitWithoutTouchingTheStore) {
  std::mt19937 random(7);
  for (int round = 0; round < 20; ++round) {
    buildSubdividedIcosahedron(1);
    int refusals = 0;
    for (int attempt = 0; attempt < 2000 && refusals < 200; ++attempt) {
      std::uniform_int_distribution<int> pick(0, E.numTriangles - 1);
      triangle* t = E.headTriangle;
      for (int i = pick(random); i > 0; --i) t = t->next;
      const std::vector<Face> listBefore = triangleList();
      const int verticesBefore = E.numVertices;
      CaptureStderr();
      splitTriangle(E, t);
      const std::string err = GetCapturedStderr();
      if (E.numTriangles == static_cast<int>(listBefore.size())) {
        ++refusals;
        ASSERT_EQ(err, "Vertex array is full.\n") << "round " << round << ", attempt " << attempt;
        ASSERT_EQ(triangleList(), listBefore);
        ASSERT_EQ(E.numVertices, verticesBefore);
      } else {
        ASSERT_EQ(E.numTriangles, static_cast<int>(listBefore.size()) + 3);
        ASSERT_LE(E.numVertices, subdivisionVertexLimit(E));
        // Only the call that fills the last slots says so.
        ASSERT_EQ(err, E.numVertices == subdivisionVertexLimit(E) ? "Vertex array is full.\n" : "");
      }
      ASSERT_EQ(storeProblems(E), std::vector<std::string>{}) << "round " << round << ", attempt " << attempt;
    }
    EXPECT_GT(refusals, 0) << "round " << round;
    EXPECT_GE(E.numVertices, subdivisionVertexLimit(E) - 2) << "round " << round;

    recalcNorms(E);
    write3DV(E, file_.c_str());
    expectParsesBack(file_, E.numVertices, E.numTriangles);
  }
}

// Template vertex counts: the 16-bit index bounds every store, the array bounds this one.
TEST_F(Capacity, TemplatesPastTheIndexRangeOrTheArrayAreRefused) {
  auto templateOf = [](int vertices) {
    std::ostringstream text;
    text << vertices << "\n1\n";
    for (int i = 0; i < vertices; ++i) text << i << " 0 0\n0 0 0\n0 0 0 -1 -1\n";
    text << "3\n0 1 2\n";
    return text.str();
  };
  auto load = [](const std::string& text) {
    std::istringstream in(text);
    return loadTemplate(E, in, "t").value_or("");
  };
  EXPECT_EQ(load(templateOf(32769)), "t: vertex count 32769 is outside 1..32768");
  EXPECT_EQ(load(templateOf(121)), "t: vertex count 121 exceeds the capacity of 120 vertices");
  EXPECT_EQ(E.numVertices, 0);
  EXPECT_EQ(E.headTriangle, nullptr);
  EXPECT_EQ(load(templateOf(120)), "");
  EXPECT_EQ(E.numVertices, 120);
  EXPECT_EQ(storeProblems(E), std::vector<std::string>{});
}

}  // namespace
