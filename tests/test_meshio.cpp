#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "failure.h"
#include "meshio.h"
#include "store_fixture.h"
#include "templateload.h"
#include "work_folder.h"

using morph::vector;

namespace fs = std::filesystem;

namespace {

class MeshFiles : public WorkFolderTest {
 protected:
  void SetUp() override {
    // Work inside the folder: morphseed's result name holds at most 63 characters.
    enterFreshFolder("meshio");
    resetStore();
  }
  void TearDown() override { leaveFolder(); }

  std::string path(const std::string& name) const { return name; }

  static std::string read(const std::string& file) {
    std::ifstream in(file);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  static void write(const std::string& file, const std::string& text) { std::ofstream(file) << text; }

  // Names the result file the way the program's driver does.
  void setResultName(const std::string& file) { resultName = file; }
  std::string resultName;

  // Files left in the folder (a failed write must leave neither result nor temporary).
  std::vector<std::string> filesLeft() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    return names;
  }
};

// Two triangles sharing an edge, one vertex at -2.5.
void buildSmallMesh() { buildMesh({{0, 0, 0}, {1, 0, 0}, {0, -2.5f, 0}, {1, 1, 0.5f}}, {{0, 1, 2}, {0, 3, 1}}); }

TEST_F(MeshFiles, Write3DVLayout) {
  buildSmallMesh();
  E.vertex[1].norm = vector(0.5f, -0.0f, 0.25f);
  setResultName(path("a.3dv"));
  write3DV(E, resultName.c_str());
  std::istringstream lines(read(path("a.3dv")));
  std::string line;
  std::getline(lines, line);
  EXPECT_EQ(line, "4");
  std::getline(lines, line);
  EXPECT_EQ(line, "2");
  if constexpr (!variant::rescaleOnWrite) {
    std::getline(lines, line);
    EXPECT_EQ(line, "0.000000 0.000000 0.000000");
    std::getline(lines, line);  // normal of vertex 0
    std::getline(lines, line);
    EXPECT_EQ(line, "1.000000 0.000000 0.000000");
    std::getline(lines, line);
    EXPECT_EQ(line, "0.500000 -0.000000 0.250000");  // a negative zero keeps its sign
  }
  const std::string text = read(path("a.3dv"));
  EXPECT_NE(text.find("\n3\n0 1 2\n3\n0 3 1\n"), std::string::npos);
  // Nothing follows the last triangle.
  EXPECT_EQ(text.substr(text.size() - 8), "3\n0 3 1\n");
}

TEST_F(MeshFiles, SweepRescalesByLargestAndRemembersIt) {
  if constexpr (!variant::rescaleOnWrite) GTEST_SKIP() << "morphseed writes unscaled";
  buildSmallMesh();
  const vector normal1 = E.vertex[1].norm;
  setResultName(path("first.3dv"));
  write3DV(E, resultName.c_str());
  EXPECT_EQ(E.writer.largest, 2.5f);
  EXPECT_EQ(E.vertex[2].y, -1.0f);
  EXPECT_EQ(E.vertex[1].x, 1.0f / 2.5f);
  EXPECT_EQ(E.vertex[3].z, 0.5f / 2.5f);
  EXPECT_EQ(E.vertex[1].norm.z, normal1.z / 2.5f);
  const std::string text = read(path("first.3dv"));
  EXPECT_NE(text.find("\n0.000000 -1.000000 0.000000\n"), std::string::npos);
  EXPECT_NE(text.find("\n0.400000 0.000000 0.000000\n"), std::string::npos);

  // A second write in the same process divides by the earlier, larger value.
  for (int i = 0; i < E.numVertices; ++i) E.vertex[i].x = E.vertex[i].y = E.vertex[i].z = 0;
  E.vertex[3].x = 1.5f;
  setResultName(path("second.3dv"));
  write3DV(E, resultName.c_str());
  EXPECT_EQ(E.writer.largest, 2.5f);
  EXPECT_EQ(E.vertex[3].x, 1.5f / 2.5f);
}

TEST_F(MeshFiles, SweepWritesAnAllZeroStoreUnscaled) {
  if constexpr (!variant::rescaleOnWrite) GTEST_SKIP() << "morphseed writes unscaled";
  buildMesh({{0, 0, 0}, {0, 0, 0}, {0, 0, 0}}, {{0, 1, 2}});
  setResultName(path("zero.3dv"));
  write3DV(E, resultName.c_str());
  EXPECT_EQ(E.writer.largest, 0.0f);
  EXPECT_EQ(read(path("zero.3dv")).find("nan"), std::string::npos);
  EXPECT_EQ(E.vertex[0].x, 0.0f);
}

TEST_F(MeshFiles, SeedWritesUnscaledAndRepeatably) {
  if constexpr (variant::rescaleOnWrite) GTEST_SKIP() << "morphsweep rescales";
  buildSmallMesh();
  setResultName(path("one.3dv"));
  write3DV(E, resultName.c_str());
  setResultName(path("two.3dv"));
  write3DV(E, resultName.c_str());
  EXPECT_EQ(read(path("one.3dv")), read(path("two.3dv")));
  EXPECT_EQ(E.vertex[2].y, -2.5f);
}

TEST_F(MeshFiles, ObjFileWholeText) {
  buildSmallMesh();
  E.vertex[0].norm = vector(0, 0, 1);
  E.vertex[1].norm = vector(0, -0.0f, 1);
  E.vertex[2].norm = vector(0.25f, 0, -1);
  E.vertex[3].norm = vector(0, 0, 0);
  const std::string input = "runs/start%d.3dv";
  writeOBJ(E, path("a.obj").c_str(), input.c_str());
  const std::string expected =
      "#Tovel's .3dv to .obj Conversion \n"
      "#File Created: 00-XXX-0000 00:00:00 \n\n"
      "mtllib original.mtl \n\n"
      "#\n#runs/start%d.3dv\n#\n\n"
      "v  0.000000 0.000000 0.000000\n"
      "v  1.000000 0.000000 0.000000\n"
      "v  0.000000 -2.500000 0.000000\n"
      "v  1.000000 1.000000 0.500000\n"
      "vn  0.000000 0.000000 1.000000\n"
      "vn  0.000000 -0.000000 1.000000\n"
      "vn  0.250000 0.000000 -1.000000\n"
      "vn  0.000000 0.000000 0.000000\n"
      "# 4 vertices\n\n"
      "g embryo.1253901202.3dvTemplate.n2.m2\n"
      "usemtl _embryo.1253901202.3dvTemplate.n2.m2default\n\n"
      "s 1\n"
      "f 1  2  3\n"
      "f 1  4  2\n"
      "# 0 polygons - 2 triangles\n";
  EXPECT_EQ(read(path("a.obj")), expected);
  EXPECT_EQ(filesLeft(), std::vector<std::string>{"a.obj"});
}

TEST_F(MeshFiles, TemplateLayoutAndRoundTrip) {
  buildSmallMesh();
  // Give vertex 3 a pending role so the topology line carries parents.
  E.vertex[3].parentA = 0;
  E.vertex[3].parentB = 1;
  writeTemplate(E, path("a.3dvTemplate").c_str());
  const std::string text = read(path("a.3dvTemplate"));
  // Vertex 0's neighbours in order of first appearance: 1, 2, 3; every number followed by a blank.
  EXPECT_NE(text.find("\n3 1 2 3 0 0 -1 -1 \n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n2 0 1 0 0 0 1 \n"), std::string::npos) << text;

  std::vector<vertex_struct> before(E.vertex.begin(), E.vertex.begin() + E.numVertices);
  const auto facesBefore = triangleList();
  ASSERT_EQ(loadTemplate(E, path("a.3dvTemplate").c_str()), std::nullopt);
  ASSERT_EQ(E.numVertices, 4);
  EXPECT_EQ(triangleList(), facesBefore);
  EXPECT_EQ(E.numInitialTriangles, 2);
  for (int i = 0; i < E.numVertices; ++i) {
    EXPECT_NEAR(E.vertex[i].x, before[i].x, 5e-7);
    EXPECT_NEAR(E.vertex[i].y, before[i].y, 5e-7);
    EXPECT_EQ(E.vertex[i].numNeighbors, before[i].numNeighbors);
    for (int j = 0; j < E.vertex[i].numNeighbors; ++j) EXPECT_EQ(E.vertex[i].neighbors[j], before[i].neighbors[j]);
    EXPECT_EQ(E.vertex[i].parentA, before[i].parentA);
    EXPECT_EQ(E.vertex[i].parentB, before[i].parentB);
    EXPECT_EQ(E.vertex[i].numDependents, 0);
    EXPECT_EQ(E.vertex[i].maxDependents, 0);
  }
  EXPECT_EQ(E.tailTriangle->prev, E.headTriangle);
  EXPECT_EQ(E.headTriangle->prev, nullptr);
}

TEST_F(MeshFiles, LoaderRecomputesNormalsAndReadsTokensAsAStream) {
  // Tabs, blank lines, a leading + sign, .5 and exponent forms, a corner count of 4,
  // and file normals that the load replaces.
  write(path("t.3dvTemplate"),
        "3\n\n1\n"
        "0 0 0\t9 9 9\n2 1 2 7 7 -1 -1\n"
        "+1.0 0 0 9 9 9 2 0 2 0 0 -1 -1\n"
        "0 1e0 0 9 9 9\n2 0 1 0 0 -1 -1\n"
        "4\n0 1 2\n");
  ASSERT_EQ(loadTemplate(E, path("t.3dvTemplate").c_str()), std::nullopt);
  EXPECT_EQ(E.numVertices, 3);
  EXPECT_EQ(E.numTriangles, 1);
  EXPECT_EQ(E.headTriangle, E.tailTriangle);
  EXPECT_EQ(E.headTriangle->next, nullptr);
  EXPECT_EQ(E.vertex[1].x, 1.0f);
  EXPECT_EQ(E.vertex[2].y, 1.0f);
  EXPECT_EQ(E.vertex[0].norm.z, 1.0f);  // recomputed, not the 9 of the file
  EXPECT_EQ(E.vertex[0].hormoneR, 0);
  EXPECT_TRUE(storeProblems(E).empty());

  write(path("u.3dvTemplate"), "1 1 .525731 -2.5E-1 0 0 0 0 0 0 0 -1 -1 3 0 0 0");
  ASSERT_EQ(loadTemplate(E, path("u.3dvTemplate").c_str()), std::nullopt);
  EXPECT_EQ(E.vertex[0].x, 0.525731f);
  EXPECT_EQ(E.vertex[0].y, -0.25f);
}

// A valid three-vertex template with one token replaced.
std::string templateWith(const std::string& from, const std::string& to) {
  std::string text =
      "3 1\n"
      "0 0 0 0 0 1 2 1 2 0 0 -1 -1\n"
      "1 0 0 0 0 1 2 0 2 0 0 -1 -1\n"
      "0 1 0 0 0 1 2 0 1 0 0 -1 -1\n"
      "3 0 1 2\n";
  if (!from.empty()) {
    const auto at = text.find(from);
    text.replace(at, from.size(), to);
  }
  return text;
}

TEST_F(MeshFiles, LoaderRefusesBadTemplates) {
  struct Case {
    std::string text;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"", "file ends before the vertex count"},
      {"3 1\n0 0 0 0 0 1 2 1", "vertex 0: file ends before the neighbour index"},
      {templateWith("3 0 1 2\n", "3 0 1"), "triangle 0: file ends before the corner index"},
      {templateWith("3 1\n", "x 1\n"), "vertex count 'x' is not an integer"},
      {templateWith("3 1\n", "0 1\n"), "vertex count 0 is outside 1..32768"},
      {templateWith("3 1\n", "32769 1\n"), "vertex count 32769 is outside 1..32768"},
      {templateWith("3 1\n", "3 0\n"), "triangle count 0 is outside"},
      {templateWith("1 0 0 0 0 1", "1 0 nan 0 0 1"), "vertex 1: z coordinate 'nan' is not a finite real number"},
      {templateWith("1 0 0 0 0 1", "1 0 1e39 0 0 1"), "vertex 1: z coordinate '1e39' is not a finite real number"},
      {templateWith("1 0 0 0 0 1", "1 0 0.5x 0 0 1"), "'0.5x' is not a finite real number"},
      {templateWith("1 0 0 0 0 1 2 0 2", "1 0 0 0 0 1 7 0 2"), "vertex 1: neighbour count 7 is outside 0..6"},
      {templateWith("1 0 0 0 0 1 2 0 2", "1 0 0 0 0 1 2 0 3"), "vertex 1: neighbour index 3 is outside 0..2"},
      {templateWith("0 1 0 0 0 1 2 0 1 0 0 -1 -1", "0 1 0 0 0 1 2 0 1 0 0 -2 -1"),
       "vertex 2: parentA -2 is outside -1..2"},
      {templateWith("0 1 0 0 0 1 2 0 1 0 0 -1 -1", "0 1 0 0 0 1 2 0 1 40000 0 -1 -1"),
       "vertex 2: dependent count 40000 is outside -32768..32767"},
      {templateWith("3 0 1 2\n", "3 0 1 -1\n"), "triangle 0: corner index -1 is outside 0..2"},
      {templateWith("3 0 1 2\n", "3.0 0 1 2\n"), "triangle 0: corner count '3.0' is not an integer"},
  };
  for (const Case& c : cases) {
    write(path("bad.3dvTemplate"), c.text);
    const auto error = loadTemplate(E, path("bad.3dvTemplate").c_str());
    ASSERT_TRUE(error.has_value()) << c.message;
    EXPECT_NE(error->find(path("bad.3dvTemplate") + ": "), std::string::npos) << *error;
    EXPECT_NE(error->find(c.message), std::string::npos) << "got: " << *error;
    // A refused load leaves an empty, consistent store.
    EXPECT_EQ(E.numVertices, 0);
    EXPECT_EQ(E.headTriangle, nullptr);
  }
  const auto missing = loadTemplate(E, path("missing.3dvTemplate").c_str());
  ASSERT_TRUE(missing.has_value());
  EXPECT_NE(missing->find("cannot open: No such file or directory"), std::string::npos) << *missing;
  EXPECT_TRUE(loadTemplate(E, dir_.c_str()).has_value());
}

TEST_F(MeshFiles, LoaderHonoursTheCapacity) {
  // The largest mesh a 16-bit index can name loads only where the array holds it.
  std::ostringstream text;
  text << "32768 1\n";
  for (int i = 0; i < 32768; ++i) text << i << " 0 0 0 0 1 0 0 0 -1 -1\n";
  text << "3 0 1 32767\n";
  write(path("big.3dvTemplate"), text.str());
  const auto error = loadTemplate(E, path("big.3dvTemplate").c_str());
  if constexpr (variant::vertexCapacity >= 32768) {
    EXPECT_EQ(error, std::nullopt);
    EXPECT_EQ(E.numVertices, 32768);
    EXPECT_EQ(E.tailTriangle->v[2], 32767);
  } else {
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("exceeds the capacity"), std::string::npos) << *error;
  }
}

TEST_F(MeshFiles, BadTemplateEndsTheRunWithStatus2) {
  write(path("bad.3dvTemplate"), templateWith("3 1\n", "3 -1\n"));
  const std::string name = path("bad.3dvTemplate");
  EXPECT_EXIT(asProgram([&] { readIntoStructs(E, name.c_str()); }), ::testing::ExitedWithCode(exitBadFile),
              "bad.3dvTemplate: triangle count -1 is outside");
}

TEST_F(MeshFiles, UncreatableOutputEndsTheRunAndLeavesNoFile) {
  buildSmallMesh();
  write(path("plain"), "not a folder");
  setResultName(path("plain/a.3dv"));
  EXPECT_EXIT(asProgram([&] { write3DV(E, resultName.c_str()); }), ::testing::ExitedWithCode(exitBadFile), "cannot write '.*plain/a.3dv': Not a directory");
  setResultName(path("no-such-folder/a.3dv"));
  EXPECT_EXIT(asProgram([&] { write3DV(E, resultName.c_str()); }), ::testing::ExitedWithCode(exitBadFile), "no-such-folder/a.3dv': No such file");
  EXPECT_EQ(filesLeft(), std::vector<std::string>{"plain"});
}

TEST_F(MeshFiles, FailedWriteLeavesNoHalfFile) {
  // A file-size limit makes the writes fail part way, as a full disk would; the run must
  // end with status 2 and leave neither the result nor its temporary behind.
  buildIcosahedron();
  setResultName(path("a.3dv"));
  auto writeWithLimit = [&] {
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{200, 200};
    setrlimit(RLIMIT_FSIZE, &limit);
    asProgram([&] { write3DV(E, resultName.c_str()); });
    std::exit(0);
  };
  EXPECT_EXIT(writeWithLimit(), ::testing::ExitedWithCode(exitBadFile), "cannot write '.*a.3dv': File too large");
  EXPECT_TRUE(filesLeft().empty());
}

}  // namespace
