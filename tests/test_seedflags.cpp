// morphseed's -t (templates beside the embryos) and -s (a given first seed): the command
// line, the files a run writes, and the programs end to end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "batch.h"
#include "commandline.h"
#include "failure.h"
#include "meshio.h"
#include "seedfile.h"
#include "signalling.h"
#include "progress.h"
#include "store_fixture.h"
#include "sweep_command.h"
#include "templateload.h"
#include "work_folder.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

std::string readFile(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

const std::string oldUsage = "Allowable parameters: \n-b batchCount cycleCount\n";
const std::string fullUsage =
    oldUsage +
    "-t 0|1    1: also write each embryo's template, embryo.<seed>.3dvTemplate\n"
    "-s seed   the first embryo's seed (0..2147483647), later ones seed+1, ...; default: the clock\n";

struct Parsed {
  int status;
  std::string err;
};

// What the last parse read.
::SeedRun given;

Parsed parse(std::vector<std::string> words) {
  words.insert(words.begin(), "morphseed");
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  CaptureStderr();
  const int status = parseCommandLine(static_cast<int>(words.size()), argv.data(), given);
  return {status, GetCapturedStderr()};
}

TEST(SeedFlags, TemplateAndSeedWordsAreReadWithTheBatchGroups) {
  struct Case {
    std::vector<std::string> words;
    int batches, cycles, writeTemplate;
    std::optional<int> seed;
  };
  for (const Case& c : std::vector<Case>{
           {{}, 1, 1, 0, std::nullopt},
           {{"-t", "1"}, 1, 1, 1, std::nullopt},
           {{"-t", "1", "-b", "3", "5", "-t", "0"}, 3, 5, 0, std::nullopt},
           {{"-s", "42", "-b", "3", "5"}, 3, 5, 0, 42},
           {{"-b", "2", "4", "-S", "7", "-T", "1"}, 2, 4, 1, 7},
           {{"-s", "9", "-s", "0"}, 1, 1, 0, 0},
           {{"-s", "2147483647"}, 1, 1, 0, INT_MAX},
           {{"-s", "2147483646", "-b", "2", "1"}, 2, 1, 0, INT_MAX - 1},
           {{"-s", "2147483647", "-b", "0", "1"}, 0, 1, 0, INT_MAX},
       }) {
    given.writeEmbryoTemplate = 5;
    given.firstSeed = 123;
    const Parsed p = parse(c.words);
    const std::string what = ::testing::PrintToString(c.words);
    EXPECT_EQ(p.status, 0) << what;
    EXPECT_EQ(p.err, "") << what;
    EXPECT_EQ(given.batches, c.batches) << what;
    EXPECT_EQ(given.batchCycles, c.cycles) << what;
    EXPECT_EQ(given.writeEmbryoTemplate, c.writeTemplate) << what;
    EXPECT_EQ(given.firstSeed, c.seed) << what;
  }
}

TEST(SeedFlags, BadValuesAreRefusedWithAMessageAndEveryFlagsUsage) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases{
      {{"-t"}, "-t needs a value: 0 or 1"},
      {{"-b", "1", "1", "-T"}, "-T needs a value: 0 or 1"},
      {{"-t", "7"}, "-t needs 0 or 1, not '7'"},
      {{"-t", "-1"}, "-t needs 0 or 1, not '-1'"},
      {{"-t", "1x"}, "-t needs 0 or 1, not '1x'"},
      {{"-t", ""}, "-t needs 0 or 1, not ''"},
      {{"-s"}, "-s needs a value: the first embryo's seed"},
      {{"-s", "abc"}, "-s needs a seed from 0 to 2147483647, not 'abc'"},
      {{"-s", "-5"}, "-s needs a seed from 0 to 2147483647, not '-5'"},
      {{"-s", " 5"}, "-s needs a seed from 0 to 2147483647, not ' 5'"},
      {{"-s", "2147483648"}, "-s needs a seed from 0 to 2147483647, not '2147483648'"},
      {{"-s", "99999999999999999999999"}, "-s needs a seed from 0 to 2147483647, not '99999999999999999999999'"},
      {{"-s", "2147483647", "-b", "2", "1"}, "-s 2147483647 leaves no seed for embryo 2: seeds stop at 2147483647"},
  };
  for (const auto& [words, message] : cases) {
    const Parsed p = parse(words);
    EXPECT_EQ(p.status, exitBadCommandLine) << ::testing::PrintToString(words);
    EXPECT_EQ(p.err, "morphseed: " + message + "\n" + fullUsage) << ::testing::PrintToString(words);
  }
  // Words that are no flag of either kind keep the short refusal.
  for (const std::vector<std::string>& words :
       std::vector<std::vector<std::string>>{{"-tx", "1"}, {"-seed", "5"}, {"-x"}, {"-t", "1", "-s", "4", "x"}}) {
    const Parsed p = parse(words);
    EXPECT_EQ(p.status, exitBadCommandLine) << ::testing::PrintToString(words);
    EXPECT_EQ(p.err, "Unrecognized command\n" + oldUsage) << ::testing::PrintToString(words);
  }
}

class SeedRuns : public WorkFolderTest {
 protected:
  void SetUp() override {
    enterFreshFolder("seedflags");
    fs::copy_file(SEED_FILE, "indexed_icosa");
    resetStore();
  }
  void TearDown() override { leaveFolder(); }

  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  struct Run {
    int status;
    std::string err;
  };
  // Runs a built program in `folder` (relative to the test folder), standard output
  // dropped and standard error kept.
  Run run(const std::string& program, const std::vector<std::string>& words, const std::string& folder = ".") const {
    const std::string errFile = (dir_ / "run.stderr").string();
    std::vector<std::string> all{program};
    all.insert(all.end(), words.begin(), words.end());
    std::vector<char*> argv;
    for (std::string& w : all) argv.push_back(w.data());
    argv.push_back(nullptr);
    const std::string where = (dir_ / folder).string();
    const pid_t pid = fork();
    if (pid == 0) {
      const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int out = open("/dev/null", O_WRONLY);
      if (err < 0 || out < 0 || dup2(err, 2) < 0 || dup2(out, 1) < 0 || chdir(where.c_str()) != 0) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string err = readFile(errFile);
    fs::remove(errFile);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, err};
  }
};

// Per vertex: both parents, then the neighbour list in its order.
std::vector<std::vector<short>> topology() {
  std::vector<std::vector<short>> all;
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    all.push_back({v.parentA, v.parentB});
    for (int j = 0; j < v.numNeighbors && j < 6; ++j) all.back().push_back(v.neighbors[j]);
  }
  return all;
}

// Files are compared whole; a difference is reported without printing them.
#define EXPECT_SAME_FILE(a, b) EXPECT_TRUE(readFile(a) == readFile(b)) << (a) << " and " << (b) << " differ"

// The embryo of `seed` grown by hand as the first of a run, written as "expect.3dv" and
// "expect.3dvTemplate".
void growByHand(int seed, int cycles) {
  resetStore();
  ASSERT_EQ(loadSeed(E, "indexed_icosa"), std::nullopt);
  E.random.seed(static_cast<unsigned>(seed));
  CaptureStderr();
  growEmbryo(E, cycles);
  GetCapturedStderr();
    write3DV(E, "expect.3dv");
  writeTemplate(E, "expect.3dvTemplate");
}

TEST_F(SeedRuns, GivenSeedNamesTheEmbryosAndTheTemplateHoldsTheGrownTopology) {
  ASSERT_EQ(parse({"-t", "1", "-s", "77", "-b", "2", "16"}).status, 0);
  CaptureStderr();
  runBatches(given);
  EXPECT_EQ(GetCapturedStderr(), "Embryo 1\nseed: 77\n..done\nEmbryo 2\nseed: 78\n..done\n");
  EXPECT_EQ(files(), (std::vector<std::string>{"embryo.77.3dv", "embryo.77.3dvTemplate", "embryo.78.3dv",
                                               "embryo.78.3dvTemplate", "indexed_icosa"}));

  // The first embryo depends on its seed alone, so growing it by hand gives the same files.
  growByHand(77, 16);
  EXPECT_SAME_FILE("embryo.77.3dv", "expect.3dv");
  EXPECT_SAME_FILE("embryo.77.3dvTemplate", "expect.3dvTemplate");

  // A grown embryo has T-junctions: vertices with both parents, and only two neighbours
  // while their edge's far side is whole. Loading the template gives them back.
  const auto expected = topology();
  int withParents = 0;
  for (const auto& v : expected) withParents += v[0] >= 0 && v[1] >= 0;
  EXPECT_GT(withParents, 0);
  ASSERT_EQ(loadTemplate(E, "embryo.77.3dvTemplate"), std::nullopt);
  EXPECT_EQ(topology(), expected);
}

TEST_F(SeedRuns, WithoutTheTemplateFlagOnlyThe3dvIsWrittenAndItIsTheSame) {
  ASSERT_EQ(parse({"-s", "77", "-b", "1", "16"}).status, 0);
  CaptureStderr();
  runBatches(given);
  GetCapturedStderr();
  EXPECT_EQ(files(), (std::vector<std::string>{"embryo.77.3dv", "indexed_icosa"}));
  growByHand(77, 16);
  EXPECT_SAME_FILE("embryo.77.3dv", "expect.3dv");
}

TEST_F(SeedRuns, GivenSeedsDoNotWaitForTheClock) {
  // Five embryos on the clock need five distinct seconds, so more than three seconds.
  ASSERT_EQ(parse({"-s", "5", "-b", "5", "0"}).status, 0);
  const auto start = std::chrono::steady_clock::now();
  CaptureStderr();
  runBatches(given);
  const std::string err = GetCapturedStderr();
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 2.0);
  for (int seed = 5; seed <= 9; ++seed) EXPECT_TRUE(fs::exists("embryo." + std::to_string(seed) + ".3dv")) << seed;
  EXPECT_NE(err.find("seed: 9\ndone\n"), std::string::npos) << err;
}

TEST_F(SeedRuns, AnEmbryoGrownOnTheClockIsRegrownFromTheSeedInItsName) {
  Run r = run(MORPHSEED_BINARY, {"-b", "1", "14"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::smatch m;
  ASSERT_TRUE(std::regex_search(r.err, m, std::regex("seed: (\\d+)\n"))) << r.err;
  const std::string seed = m[1].str();  // r.err is overwritten below
  const std::string name = "embryo." + seed + ".3dv";
  const std::string original = readFile(name);
  ASSERT_FALSE(original.empty());
  fs::remove(name);

  r = run(MORPHSEED_BINARY, {"-s", seed, "-b", "1", "14"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "Embryo 1\nseed: " + seed + "\n..done\n");
  EXPECT_TRUE(readFile(name) == original) << "the regrown " << name << " differs";
}

TEST_F(SeedRuns, ALaterEmbryoOfABatchAlsoDependsOnTheEmbryoBeforeIt) {
  // Seed 500 grows past 500 triangles in 20 cycles, so green and blue episodes begin, and
  // their secretors and thresholds carry over into the next embryo of the batch.
  fs::create_directories("batch");
  fs::create_directories("again");
  fs::create_directories("alone");
  for (const char* folder : {"batch", "again", "alone"})
    fs::copy_file("indexed_icosa", fs::path(folder) / "indexed_icosa");
  ASSERT_EQ(run(MORPHSEED_BINARY, {"-s", "500", "-b", "2", "20"}, "batch").status, 0);
  ASSERT_EQ(run(MORPHSEED_BINARY, {"-s", "500", "-b", "2", "20"}, "again").status, 0);
  ASSERT_EQ(run(MORPHSEED_BINARY, {"-s", "501", "-b", "1", "20"}, "alone").status, 0);
  for (const char* file : {"embryo.500.3dv", "embryo.501.3dv"}) {
    ASSERT_FALSE(readFile(fs::path("batch") / file).empty()) << file;
    EXPECT_SAME_FILE(fs::path("again") / file, fs::path("batch") / file);
  }
  std::istringstream first(readFile("batch/embryo.500.3dv"));
  int vertices = 0, triangles = 0;
  ASSERT_TRUE(first >> vertices >> triangles);
  EXPECT_GT(triangles, episodeMinTriangles);
  EXPECT_FALSE(readFile("alone/embryo.501.3dv") == readFile("batch/embryo.501.3dv"));
}

TEST_F(SeedRuns, MorphsweepRunsOnATemplateGrownByMorphseed) {
  Run r = run(MORPHSEED_BINARY, {"-t", "1", "-s", "31", "-b", "1", "14"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream header(readFile("embryo.31.3dvTemplate"));
  int vertices = 0, triangles = 0;
  ASSERT_TRUE(header >> vertices >> triangles);
  EXPECT_GT(vertices, 12);

  const std::vector<std::string> words = examplePointWords({3, true, "40", "embryo.31.3dvTemplate"});
  r = run(MORPHSWEEP_BINARY, words);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "Embryo 1\n.done\n");
  const std::string stem = "embryo.31.3dvTemplate.n3.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2";
  EXPECT_TRUE(fs::exists(stem + ".obj"));
  // The sweep kept the embryo's topology: the template it wrote has the same neighbour
  // lists and parents (its dependent counts are the sweep's own, and positions are
  // rescaled and relaxed, so those are not compared).
  auto topologyLines = [](const std::string& file) {
    std::istringstream in(readFile(file));
    int v = 0, t = 0;
    std::vector<std::vector<long>> lines;
    if (!(in >> v >> t)) return lines;
    float coordinate = 0;
    for (int i = 0; i < v; ++i) {
      for (int k = 0; k < 6; ++k) in >> coordinate;
      long n = 0, dependents = 0, capacity = 0;
      if (!(in >> n) || n < 0 || n > 6) break;
      std::vector<long> line(static_cast<std::size_t>(n) + 2);
      for (long j = 0; j < n; ++j) in >> line[static_cast<std::size_t>(j)];
      in >> dependents >> capacity >> line[static_cast<std::size_t>(n)] >> line[static_cast<std::size_t>(n) + 1];
      if (!in) break;
      lines.push_back(line);
    }
    return lines;
  };
  const auto before = topologyLines("embryo.31.3dvTemplate");
  EXPECT_EQ(static_cast<int>(before.size()), vertices);
  EXPECT_EQ(topologyLines(stem + ".3dvTemplate"), before);
}

}  // namespace

namespace {

// The live line's words: the cycle about to run, the size, and the time left at the pace
// of the cycle before, in units a person reads at a glance.
TEST(Progress, LineSaysCycleSizePaceAndTimeLeft) {
  EXPECT_EQ(CycleProgress::line(0, 60, 12, 20, 0.0), "cycle 1 of 60: 12 vertices, 20 triangles");
  EXPECT_EQ(CycleProgress::line(10, 60, 642, 1280, 0.25), "cycle 11 of 60: 642 vertices, 1280 triangles, 0.25 s/cycle, 13 s left");
  EXPECT_EQ(CycleProgress::line(1, 200, 5, 6, 1.5), "cycle 2 of 200: 5 vertices, 6 triangles, 1.5 s/cycle, 4 min 59 s left");
  EXPECT_EQ(CycleProgress::line(100, 6000, 1, 2, 12.0), "cycle 101 of 6000: 1 vertices, 2 triangles, 12 s/cycle, 19 h 40 min left");
}

}  // namespace
