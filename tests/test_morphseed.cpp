#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "batch.h"
#include "commandline.h"
#include "failure.h"
#include "growth.h"
#include "mechanics.h"
#include "meshio.h"
#include "normals.h"
#include "seedfile.h"
#include "signalling.h"
#include "store_fixture.h"
#include "work_folder.h"

using morph::vector;

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

std::string readFile(const fs::path& file) {
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void writeFile(const fs::path& file, const std::string& text) { std::ofstream(file) << text; }

// The parts of a seed file, defaulting to the icosahedron of the fixture.
struct SeedParts {
  std::vector<std::string> header{"a test seed", "second header line", "third", "fourth"};
  std::vector<Point> points = icosahedronPoints();
  std::vector<std::array<int, 5>> neighbours;
  std::vector<std::string> separator{"separator one", "separator two", "separator three"};
  std::string words = "faces: 20";
  std::vector<std::array<int, 4>> faces;

  SeedParts() {
    for (int v = 0; v < 12; ++v) neighbours.push_back({(v + 1) % 12, (v + 5) % 12, 3, 11, v});
    int n = 0;
    for (const Face& f : icosahedronFaces()) faces.push_back({f[0], f[1], f[2], n++});
  }

  std::string text() const {
    std::string out;
    for (const std::string& line : header) out += line + "\n";
    char line[200];
    for (size_t v = 0; v < points.size(); ++v) {
      std::snprintf(line, sizeof line, "%.9g %.9g %.9g   vertex %zu\nneighbors: %d %d %d %d %d\n", points[v][0],
                    points[v][1], points[v][2], v, neighbours[v][0], neighbours[v][1], neighbours[v][2],
                    neighbours[v][3], neighbours[v][4]);
      out += line;
    }
    for (const std::string& s : separator) out += s + "\n";
    out += words + "\n";
    for (const auto& f : faces)
      out += std::to_string(f[0]) + ", " + std::to_string(f[1]) + ", " + std::to_string(f[2]) + ", " +
             std::to_string(f[3]) + ",\n";
    return out;
  }
};

std::string replaceOnce(std::string text, const std::string& from, const std::string& to) {
  const size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class SeedTest : public WorkFolderTest {
 protected:
  void SetUp() override {
    enterFreshFolder("morphseed");
    resetStore();
  }
  void TearDown() override {
    leaveFolder();
    fs::remove(dir_.string() + ".stderr");
  }

  // Loads `text` as a seed file named "seed"; the refusal message, or "" when loaded.
  static std::string load(const std::string& text) {
    writeFile("seed", text);
    return loadSeed(E, "seed").value_or("");
  }

  static void expectEmptyStore() {
    EXPECT_EQ(E.numVertices, 0);
    EXPECT_EQ(E.numTriangles, 0);
    EXPECT_EQ(E.headTriangle, nullptr);
    EXPECT_EQ(E.tailTriangle, nullptr);
  }

  std::vector<std::string> filesLeft() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  struct Run {
    int status;
    std::string err;
  };
  // Runs the built program in the test folder; its standard error goes beside the folder.
  Run runProgram(const std::vector<std::string>& words) const {
    const std::string errFile = dir_.string() + ".stderr";
    std::vector<std::string> all{MORPHSEED_BINARY};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& w : all) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0 || dup2(fd, 2) < 0 || chdir(dir_.c_str()) != 0) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(errFile)};
  }
};

// The store as text: everything a load sets, bit for bit.
std::string storeDump() {
  std::ostringstream out;
  out << std::hexfloat << E.numVertices << ' ' << E.numTriangles << '\n';
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    out << v.x << ' ' << v.y << ' ' << v.z << ' ' << v.norm.x << ' ' << v.norm.y << ' ' << v.norm.z << " n"
        << v.numNeighbors;
    for (int j = 0; j < v.numNeighbors; ++j) out << ' ' << v.neighbors[j];
    out << " p" << v.parentA << ' ' << v.parentB << " d" << v.numDependents << ' ' << v.maxDependents << " h"
        << +v.hormoneR << ' ' << +v.hormoneG << ' ' << +v.hormoneB << '\n';
  }
  for (const triangle* t = E.headTriangle; t; t = t->next) {
    out << t->v[0] << ' ' << t->v[1] << ' ' << t->v[2] << ' ' << t->age << ' ' << t->norm.x << ' ' << t->norm.y << ' '
        << t->norm.z << '\n';
  }
  return out.str();
}

std::vector<Face> withCorners(const std::vector<std::array<int, 4>>& faces) {
  std::vector<Face> out;
  for (const auto& f : faces) out.push_back({short(f[0]), short(f[1]), short(f[2])});
  return out;
}

// ---- The seed loader ----

TEST_F(SeedTest, BundledSeedIsARegularIcosahedronFacingOutward) {
  ASSERT_EQ(loadSeed(E, SEED_FILE), std::nullopt);
  ASSERT_EQ(E.numVertices, 12);
  ASSERT_EQ(E.numTriangles, 20);
  EXPECT_TRUE(storeProblems(E).empty());
  for (const triangle* t = E.headTriangle; t; t = t->next) {
    const vertex_struct& first = E.vertex[t->v[0]];
    EXPECT_GT(t->norm.dot(vector(first.x, first.y, first.z)), 0.5f) << t->v[0] << t->v[1] << t->v[2];
  }
  auto distance = [](int a, int b) {
    return std::hypot(E.vertex[a].x - E.vertex[b].x, E.vertex[a].y - E.vertex[b].y, E.vertex[a].z - E.vertex[b].z);
  };
  for (int i = 0; i < 12; ++i) {
    EXPECT_NEAR(std::hypot(E.vertex[i].x, E.vertex[i].y, E.vertex[i].z), 1.0, 1e-6);
    std::set<int> geometric;
    for (int k = 0; k < 12; ++k) {
      if (k != i && distance(i, k) < 1.2) geometric.insert(k);
    }
    ASSERT_EQ(E.vertex[i].numNeighbors, 5);
    EXPECT_EQ(std::set<int>(E.vertex[i].neighbors, E.vertex[i].neighbors + 5), geometric) << "vertex " << i;
    for (int k : geometric) EXPECT_NEAR(distance(i, k), 1.0514622, 1e-6);
  }
}

TEST_F(SeedTest, FacesAreTurnedOutwardKeepingTheirFirstCorner) {
  SeedParts parts;
  for (auto& f : parts.faces) std::swap(f[1], f[2]);  // every face listed inward
  std::rotate(parts.faces[3].begin(), parts.faces[3].begin() + 1, parts.faces[3].begin() + 3);
  ASSERT_EQ(load(parts.text()), "");
  std::vector<Face> expected = icosahedronFaces();
  std::rotate(expected[3].begin(), expected[3].begin() + 2, expected[3].end());  // outward, b first
  EXPECT_EQ(triangleList(), expected);

  // A face 0, 2, 1 whose right-handed normal points toward the origin is stored 0, 1, 2;
  // listed 0, 1, 2 it stays. Points in the plane z = 1 above the origin.
  parts = SeedParts();
  parts.points[0] = {0, 0, 1};
  parts.points[1] = {1, 0, 1};
  parts.points[2] = {0, 1, 1};
  parts.faces[0] = {0, 2, 1, 7};
  parts.faces[1] = {0, 1, 2, 7};
  ASSERT_EQ(load(parts.text()), "");
  EXPECT_EQ(triangleList()[0], (Face{0, 1, 2}));
  EXPECT_EQ(triangleList()[1], (Face{0, 1, 2}));
  EXPECT_FLOAT_EQ(E.headTriangle->norm.z, 1.0f);

  // A face in a plane through the origin: the dot product is exactly 0, so either
  // listing keeps the file's order.
  parts.points[0] = {1, 0, 0};
  parts.points[1] = {0, 1, 0};
  parts.points[2] = {-1, 0, 0};
  parts.faces[0] = {0, 1, 2, 0};
  parts.faces[1] = {0, 2, 1, 0};
  ASSERT_EQ(load(parts.text()), "");
  EXPECT_EQ(triangleList()[0], (Face{0, 1, 2}));
  EXPECT_EQ(triangleList()[1], (Face{0, 2, 1}));
}

TEST_F(SeedTest, LoadSetsEveryVertexFieldAndReplacesTheOldStore) {
  buildSubdividedIcosahedron(1);
  for (int i = 0; i < E.numVertices; ++i) {
    E.vertex[i].parentA = E.vertex[i].parentB = 7;
    E.vertex[i].hormoneR = E.vertex[i].hormoneG = E.vertex[i].hormoneB = 200;
    E.vertex[i].maxDependents = 6;
  }
  SeedParts parts;
  ASSERT_EQ(load(parts.text()), "");
  const std::string first = storeDump();
  EXPECT_EQ(triangleList(), withCorners(parts.faces));
  for (int i = 0; i < 12; ++i) {
    const vertex_struct& v = E.vertex[i];
    EXPECT_EQ(v.x, parts.points[i][0]);
    EXPECT_EQ(v.z, parts.points[i][2]);
    ASSERT_EQ(v.numNeighbors, 5);
    EXPECT_TRUE(std::equal(v.neighbors, v.neighbors + 5, parts.neighbours[i].begin())) << "vertex " << i;
    EXPECT_EQ(v.parentA, -1);
    EXPECT_EQ(v.parentB, -1);
    EXPECT_EQ(v.numDependents, 0);
    EXPECT_EQ(v.maxDependents, 0);
    EXPECT_EQ(v.hormoneR + v.hormoneG + v.hormoneB, 0);
  }
  // Normals are those of the loaded positions.
  recalcNorms(E);
  EXPECT_EQ(storeDump(), first);

  // Loading again over a changed store gives the same store.
  for (triangle* t = E.headTriangle; t; t = t->next) t->age = 9;
  E.vertex[4].x = 5;
  E.vertex[4].hormoneB = 3;
  ASSERT_EQ(load(parts.text()), "");
  EXPECT_EQ(storeDump(), first);
  EXPECT_TRUE(storeProblems(E).empty());
}

TEST_F(SeedTest, LineReadsTakeAtMost63Characters) {
  // A 70-character first line takes two of the four header reads, so the fourth header
  // line is read as the start of vertex 0.
  SeedParts parts;
  parts.header = {std::string(70, 'h'), "two", "three"};
  ASSERT_EQ(load(parts.text()), "");
  EXPECT_EQ(E.vertex[0].x, parts.points[0][0]);

  parts.header = {std::string(62, 'h'), "two", "three", "four"};
  EXPECT_EQ(load(parts.text()), "");
  parts.header[0] += 'h';
  EXPECT_EQ(load(parts.text()), "seed: vertex 0: x coordinate is not a number");

  // The rest of a coordinate line is one read too: a longer tail leaves a word behind.
  const std::string text = SeedParts().text();
  EXPECT_EQ(load(replaceOnce(text, "vertex 5\n", std::string(51, ' ') + "vertex 5\n")), "");
  EXPECT_EQ(load(replaceOnce(text, "vertex 5\n", std::string(60, ' ') + "vertex 5\n")),
            "seed: vertex 5: neighbour 2 of 5 is not an integer");
}

TEST_F(SeedTest, FaceRecordsAreCommaSeparated) {
  const std::string text = SeedParts().text();
  EXPECT_EQ(load(replaceOnce(text, "0, 1, 7, 2,", "0,\n\n1,\t7,   2")), "");
  EXPECT_EQ(triangleList()[2], (Face{0, 1, 7}));

  CaptureStderr();
  EXPECT_EQ(load(replaceOnce(text, "0, 10, 11, 4,", "0, 10, 11 4,")),
            "seed: face 4: only 3 of the 4 numbers could be read (each must be followed directly by a comma)");
  // The number not converted keeps the value of the record before.
  EXPECT_EQ(GetCapturedStderr(), "Failure to read indices.3 0 10 11 3\n");
  expectEmptyStore();

  CaptureStderr();
  EXPECT_EQ(load(replaceOnce(text, "0, 10, 11, 4,", "0 , 10, 11, 4,")),
            "seed: face 4: only 1 of the 4 numbers could be read (each must be followed directly by a comma)");
  EXPECT_EQ(GetCapturedStderr(), "Failure to read indices.1 0 7 10 3\n");
}

TEST_F(SeedTest, MalformedSeedsAreRefusedAndLeaveAnEmptyStore) {
  const std::string text = SeedParts().text();
  const std::string word63(63, 'w');
  const std::map<std::string, std::string> cases{
      {"", "seed: header: file ends before header line 1 of 4"},
      {text.substr(0, text.find("neighbors: 4")),
       "seed: vertex 3: file ends before the word ahead of the neighbour list"},
      {text.substr(0, text.find("4 8 3 11 3")), "seed: vertex 3: file ends before the neighbour list"},
      {text.substr(0, text.find("4 8 3 11 3") + 4), "seed: vertex 3: file ends before the end of the neighbour list"},
      {text.substr(0, text.find("separator two")), "seed: separator: file ends before separator line 2 of 3"},
      {text.substr(0, text.find("faces: 20") + 7), "seed: separator: file ends before separator word 2 of 2"},
      {replaceOnce(text, "neighbors: 4", word63 + "w 4"), "seed: vertex 3: a word is longer than 63 characters"},
      {replaceOnce(text, "faces:", word63 + "w"), "seed: separator: a word is longer than 63 characters"},
      {replaceOnce(text, "4 8 3 11 3", "4 8 3 12 3"), "seed: vertex 3: neighbour index 12 is outside 0..11"},
      {replaceOnce(text, "4 8 3 11 3", "-1 8 3 11 3"), "seed: vertex 3: neighbour index -1 is outside 0..11"},
      {replaceOnce(text, "4 8 3 11 3", "4 8 x 11 3"), "seed: vertex 3: neighbour 3 of 5 is not an integer"},
      {replaceOnce(text, "0, 10, 11, 4,", "0, 10, 12, 4,"), "seed: face 4: corner index 12 is outside 0..11"},
      {replaceOnce(text, "0, 10, 11, 4,", "-1, 10, 11, 4,"), "seed: face 4: corner index -1 is outside 0..11"},
      {replaceOnce(text, "0.850650787", "nan"), "seed: vertex 0: y coordinate is not finite"},
      {replaceOnce(text, "0.850650787", "-inf"), "seed: vertex 0: y coordinate is not finite"},
      {replaceOnce(text, "0.850650787", "1e39"), "seed: vertex 0: y coordinate is not finite"},
      {replaceOnce(text, "0.850650787", "y"), "seed: vertex 0: y coordinate is not a number"},
  };
  for (const auto& [seed, message] : cases) {
    CaptureStderr();
    EXPECT_EQ(load(seed), message);
    GetCapturedStderr();
    expectEmptyStore();
  }
  // Long words that still fit are read.
  EXPECT_EQ(load(replaceOnce(replaceOnce(text, "neighbors: 4", word63 + " 4"), "faces:", word63)), "");

  // Every cut of the file before its last number is refused as ending early.
  const size_t lastNumber = text.rfind("19,");
  for (size_t cut = 0; cut < lastNumber; ++cut) {
    CaptureStderr();
    const std::string message = load(text.substr(0, cut));
    const std::string printed = GetCapturedStderr();
    EXPECT_NE(message.find(": file ends before "), std::string::npos) << cut << ": " << message;
    if (message.find(": face ") != std::string::npos) {
      EXPECT_EQ(printed.rfind("Failure to read indices.", 0), 0u) << cut;
    }
    ASSERT_TRUE(storeProblems(E).empty()) << cut;
    expectEmptyStore();
  }
  EXPECT_EQ(load(text.substr(0, lastNumber + 2)), "");

  EXPECT_EQ(loadSeed(E, "absent"), "absent: cannot open: No such file or directory");
  fs::create_directory("folder");
  EXPECT_EQ(loadSeed(E, "folder"), "folder: cannot read: Is a directory");
  expectEmptyStore();
  EXPECT_EXIT(asProgram([&] { readSeedIntoStructs(E, std::string("absent").data()); }), ::testing::ExitedWithCode(exitBadFile),
              "^morphseed: absent: cannot open: No such file or directory\n$");
}

// ---- The command line ----

// What the last parse read.
SeedRun given;

struct Parsed {
  int status;
  int batches;
  int cycles;
  std::string err;
};

Parsed parse(std::vector<std::string> words) {
  words.insert(words.begin(), "morphseed");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  given.batches = given.batchCycles = 99;
  CaptureStderr();
  const int status = parseCommandLine(static_cast<int>(words.size()), argv.data(), given);
  return {status, given.batches, given.batchCycles, GetCapturedStderr()};
}

TEST(CommandLine, GroupsSetTheCountsAndTheLastGroupWins) {
  const std::string negativeBatches = "batches must be non-negative, setting to 0\n";
  const std::string negativeCycles = "batch cycle count must be non-negative, setting to 1\n";
  auto expectParsed = [](const std::vector<std::string>& words, int b, int c, const std::string& err) {
    const Parsed p = parse(words);
    EXPECT_EQ(p.status, 0) << words.size();
    EXPECT_EQ(p.batches, b) << words.size();
    EXPECT_EQ(p.cycles, c) << words.size();
    EXPECT_EQ(p.err, err) << words.size();
  };
  expectParsed({}, 1, 1, "");
  expectParsed({"-b", "0", "5"}, 0, 5, "");
  expectParsed({"-b", "-2", "5"}, 0, 5, negativeBatches);
  expectParsed({"-b", "2", "-7"}, 2, 1, negativeCycles);
  expectParsed({"-b", "1", "5", "-b", "2", "3"}, 2, 3, "");
  expectParsed({"-b", "-1", "-1", "-b", "4", "6"}, 4, 6, negativeBatches + negativeCycles);
  expectParsed({"-B", "1", "5"}, 1, 5, "");
  expectParsed({"-batch", "1", "5"}, 1, 5, "");
  expectParsed({"-b", " 3x", "+07"}, 3, 7, "");
  expectParsed({"-b", "many", ""}, 0, 0, "");
}

TEST(CommandLine, RefusedWordsPrintTheUsage) {
  const std::string usage = "Unrecognized command\nAllowable parameters: \n-b batchCount cycleCount\n";
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{{"-c"},
                                                                                     {"1"},
                                                                                     {"-c", "1", "1"},
                                                                                     {"b", "1", "1"},
                                                                                     {"-"},
                                                                                     {"-b"},
                                                                                     {"-b", "3"},
                                                                                     {"-b", "1", "5", "-b", "2"},
                                                                                     {"-b", "1", "5", "x"}}) {
    const Parsed p = parse(words);
    EXPECT_EQ(p.status, exitBadCommandLine) << words[0] << " of " << words.size();
    EXPECT_EQ(p.err, usage) << words[0] << " of " << words.size();
  }
}

// ---- The batch run ----

TEST_F(SeedTest, EveryTenthCycleWritesADot) {
  for (const auto& [cycles, dots] :
       std::vector<std::pair<int, std::string>>{{0, ""}, {1, "."}, {10, "."}, {11, ".."}}) {
    ASSERT_EQ(loadSeed(E, SEED_FILE), std::nullopt);
    E.red.lifespan = E.green.lifespan = E.blue.lifespan = 5;
    E.totalCycles = 77;
    CaptureStderr();
    growEmbryo(E, cycles);
    EXPECT_EQ(GetCapturedStderr(), dots) << cycles << " cycles";
    EXPECT_EQ(E.totalCycles, static_cast<unsigned>(cycles));
    if (cycles == 0) {
      EXPECT_EQ(E.red.lifespan + E.green.lifespan + E.blue.lifespan, 0);
    }
  }
}

TEST_F(SeedTest, CycleGrowsRelaxesThenDiffusesByTheCountItStartedWith) {
  // Every triangle is marked, so the growth step turns 20 triangles into 80: the cycle
  // must still diffuse 4 times, not 8.
  auto start = [] {
    ASSERT_EQ(loadSeed(E, SEED_FILE), std::nullopt);
    for (int i = 0; i < 12; ++i) E.vertex[i].hormoneR = static_cast<unsigned char>(150 + 5 * i);
    E.red.threshold = 100;
    E.red.secretor = 3;
    E.red.lifespan = 50;
    E.totalCycles = 4;
    E.random.seed(7);
  };
  auto byHand = [&](int diffusions) {
    start();
    ++E.totalCycles;
    hormoneGrow(E);
    EXPECT_EQ(E.numTriangles, 80);
    for (int i = 0; i < 20; ++i) forces(E);
    for (int i = 0; i < diffusions; ++i) diffuse(E);
    return storeDump();
  };
  start();
  CaptureStderr();
  growthCycle(E);
  EXPECT_EQ(GetCapturedStderr(), "");
  EXPECT_EQ(E.totalCycles, 5u);
  const std::string cycled = storeDump();
  EXPECT_EQ(cycled, byHand(4));
  EXPECT_NE(cycled, byHand(8));
}

TEST_F(SeedTest, GrownEmbryoKeepsEveryInvariantAndWritesAFileThatParsesBack) {
  ASSERT_EQ(loadSeed(E, SEED_FILE), std::nullopt);
  E.random.seed(1253901202);
  CaptureStderr();
  growEmbryo(E, 24);
  GetCapturedStderr();
  EXPECT_GT(E.numTriangles, 20);
  EXPECT_GT(E.numVertices, 12);
  EXPECT_EQ(storeProblems(E), std::vector<std::string>{});
    write3DV(E, "grown.3dv");

  std::ifstream in("grown.3dv");
  int vertices = 0, triangles = 0;
  ASSERT_TRUE(in >> vertices >> triangles);
  EXPECT_EQ(vertices, E.numVertices);
  EXPECT_EQ(triangles, E.numTriangles);
  for (int i = 0; i < 6 * vertices; ++i) {
    float c = NAN;
    ASSERT_TRUE(in >> c) << i;
    ASSERT_TRUE(std::isfinite(c)) << i;
  }
  for (int i = 0; i < triangles; ++i) {
    int n = 0, a = -1, b = -1, c = -1;
    ASSERT_TRUE(in >> n >> a >> b >> c) << i;
    EXPECT_EQ(n, 3);
    for (int corner : {a, b, c}) ASSERT_TRUE(corner >= 0 && corner < vertices) << i;
  }
  std::string rest;
  EXPECT_FALSE(in >> rest);
}

TEST_F(SeedTest, LastGroupDecidesEmbryosAndCyclesEachInASecondOfItsOwn) {
  fs::copy_file(SEED_FILE, "indexed_icosa");
  parse({"-b", "1", "5", "-b", "2", "3"});
  CaptureStderr();
  const Embryo last = runBatches(given);
  const std::string err = GetCapturedStderr();
  std::smatch m;
  ASSERT_TRUE(
      std::regex_match(err, m, std::regex("Embryo 1\nseed: (\\d+)\n\\.done\nEmbryo 2\nseed: (\\d+)\n\\.done\n")))
      << err;
  EXPECT_EQ(last.totalCycles, 3u);
  EXPECT_GE(std::stoll(m[2]), std::stoll(m[1]) + 1);
  EXPECT_EQ(filesLeft(), (std::vector<std::string>{"embryo." + m[1].str() + ".3dv", "embryo." + m[2].str() + ".3dv",
                                                   "indexed_icosa"}));
}

TEST_F(SeedTest, ProgramWritesOneFilePerEmbryoNamedBySeed) {
  fs::copy_file(SEED_FILE, "indexed_icosa");
  ASSERT_EQ(loadSeed(E, SEED_FILE), std::nullopt);
    write3DV(E, "expected.3dv");
  const std::string seedWithNormals = readFile("expected.3dv");
  fs::remove("expected.3dv");

  Run run = runProgram({"-b", "3", "0"});
  EXPECT_EQ(run.status, 0);
  std::smatch m;
  ASSERT_TRUE(std::regex_match(
      run.err, m,
      std::regex("Embryo 1\nseed: (\\d+)\ndone\nEmbryo 2\nseed: (\\d+)\ndone\nEmbryo 3\nseed: (\\d+)\ndone\n")))
      << run.err;
  for (int e = 1; e <= 3; ++e) {
    if (e > 1) {
      EXPECT_GE(std::stoll(m[e]), std::stoll(m[e - 1]) + 1);
    }
    EXPECT_EQ(readFile("embryo." + m[e].str() + ".3dv"), seedWithNormals) << e;
  }
  EXPECT_EQ(filesLeft().size(), 4u);

  for (const auto& file : filesLeft()) {
    if (file != "indexed_icosa") fs::remove(file);
  }
  run = runProgram({});
  EXPECT_EQ(run.status, 0);
  ASSERT_TRUE(std::regex_match(run.err, m, std::regex("Embryo 1\nseed: (\\d+)\n\\.done\n"))) << run.err;
  EXPECT_EQ(filesLeft(), (std::vector<std::string>{"embryo." + m[1].str() + ".3dv", "indexed_icosa"}));
}

TEST_F(SeedTest, ProgramRefusalsWriteNoFile) {
  fs::copy_file(SEED_FILE, "indexed_icosa");
  const std::vector<std::string> seedOnly{"indexed_icosa"};
  Run run = runProgram({"-b", "0", "5"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  run = runProgram({"-b", "-2", "5"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "batches must be non-negative, setting to 0\n");
  run = runProgram({"-c", "1", "1"});
  EXPECT_EQ(run.status, exitBadCommandLine);
  EXPECT_EQ(run.err, "Unrecognized command\nAllowable parameters: \n-b batchCount cycleCount\n");
  EXPECT_EQ(runProgram({"-b", "1"}).status, exitBadCommandLine);
  EXPECT_EQ(filesLeft(), seedOnly);

  writeFile("indexed_icosa", replaceOnce(readFile(SEED_FILE), " 0, 10, 11,", " 0, 10, 12,"));
  run = runProgram({"-b", "1", "0"});
  EXPECT_EQ(run.status, exitBadFile);
  EXPECT_TRUE(std::regex_match(
      run.err,
      std::regex("Embryo 1\nseed: \\d+\nmorphseed: indexed_icosa: face 4: corner index 12 is outside 0..11\n")))
      << run.err;
  fs::remove("indexed_icosa");
  run = runProgram({});
  EXPECT_EQ(run.status, exitBadFile);
  EXPECT_NE(run.err.find("\nmorphseed: indexed_icosa: cannot open: No such file or directory\n"), std::string::npos);
  EXPECT_EQ(filesLeft(), std::vector<std::string>{});
}

}  // namespace
