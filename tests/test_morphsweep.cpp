#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "batch.h"
#include "mechanics.h"
#include "meshio.h"
#include "normals.h"
#include "pointnames.h"
#include "signalling.h"
#include "store_fixture.h"
#include "sweepwords.h"
#include "sweep_command.h"
#include "templateload.h"

namespace fs = std::filesystem;

namespace {

const std::string usage = "Allowable parameters: \n-n growthCycles -m modificationCount -t [0/1] inFile\n";

std::vector<std::string> exampleWords() { return examplePointCommand("morphsweep", {300, true}); }

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::set<std::string> filesIn(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

std::string repeat(const std::string& text, int times) {
  std::string all;
  for (int i = 0; i < times; ++i) all += text;
  return all;
}

// The example call's words, read into a fresh run value by each parse.
class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    resetStore();
    words_ = exampleWords();
  }

  // Parses words_ and returns what went to standard error; the status goes to status_.
  std::string parse() {
    std::vector<char*> argv;
    for (std::string& w : words_) argv.push_back(w.data());
    ::testing::internal::CaptureStderr();
    status_ = parseCommandLine(static_cast<int>(argv.size()), argv.data(), run_);
    return ::testing::internal::GetCapturedStderr();
  }

  // The result name with `ending` as the command line gives the red lifespan.
  std::string outputName(const char* ending) const { return ::outputName(run_, red().lifespan, ending); }
  const Morphogen& red() const { return run_.settings().red; }
  const Morphogen& green() const { return run_.settings().green; }
  const Morphogen& blue() const { return run_.settings().blue; }
  const ForceFactors& forces() const { return run_.settings().forces; }

  std::vector<std::string> words_;
  SweepRun run_;
  int status_ = -1;
};

TEST_F(CommandLine, ExampleCallStoresEveryWordAndPointsAtTheNameWord) {
  EXPECT_EQ(parse(), "");
  EXPECT_EQ(status_, 0);
  EXPECT_EQ(run_.values.growthCycles, 300);
  EXPECT_EQ(run_.values.modificationCount, 1);
  EXPECT_EQ(run_.values.templateSwitch, 1);
  EXPECT_EQ(std::vector<int>({red().lifespan, red().threshold, red().secretor, green().lifespan, green().threshold, green().secretor, blue().lifespan, blue().threshold,
                              blue().secretor, forces().repulsion, forces().attraction}),
            std::vector<int>({40, 120, 5, 40, 120, 17, 40, 120, 33, 2, 3}));
  EXPECT_EQ(run_.input, words_[23]);
  EXPECT_EQ(outputName(".obj"), "start.3dv.n300.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.obj");
  EXPECT_EQ(outputName(".3dvTemplate"), "start.3dv.n300.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dvTemplate");
}

TEST_F(CommandLine, WrongWordCountIsRefusedBeforeAnyWordIsLookedAt) {
  for (int count : {23, 25, 1}) {
    words_ = exampleWords();
    words_.resize(static_cast<std::size_t>(count), "7");
    EXPECT_EQ(parse(), "Error #8: Unrecognized command\n" + usage) << count;
    EXPECT_EQ(status_, 1);
    EXPECT_EQ(run_.values.growthCycles, 1);
  }
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(parseCommandLine(0, nullptr, run_), 1);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Error #8: Unrecognized command\n" + usage);
}

TEST_F(CommandLine, EachFlagPositionHasItsOwnErrorText) {
  const std::pair<int, const char*> cases[] = {
      {1, "0Unrecognized command\n"},           {3, "Error #1: Unrecognized command\n"},
      {5, "Error #2: Unrecognized command\n"},  {7, "Error #3: Unrecognized command\n"},
      {11, "Error #4: Unrecognized command\n"}, {15, "Error #5: Unrecognized command\n"},
      {19, "Error #6: Unrecognized command\n"}, {21, "Error #7: Unrecognized command\n"}};
  for (const auto& [word, text] : cases) {
    for (const char* bad : {"-x", "-", "", "n", "--kr"}) {
      words_ = exampleWords();
      words_[word] = bad;
      EXPECT_EQ(parse(), text + usage) << word << " " << bad;
      EXPECT_EQ(status_, 1);
      EXPECT_EQ(run_.input, "");
    }
  }
}

TEST_F(CommandLine, WordsAreReadLeftToRightAndOnlyTheFirstFaultIsReported) {
  words_[2] = "0";
  words_[4] = "-4";
  words_[7] = "-x";
  words_[19] = "-x";
  EXPECT_EQ(parse(),
            "Batch cycle count must be >=1.  Setting to 1\n"
            "<modificationCount> count must be >=1.  Setting to 1\n"
            "Error #3: Unrecognized command\n" +
                usage);
  EXPECT_EQ(status_, 1);
}

TEST_F(CommandLine, UpperCaseAndLongerFlagWordsPass) {
  const std::vector<std::vector<const char*>> spellings = {
      {"-N", "-M", "-T", "-R", "-G", "-B", "-KR", "-KH"},
      {"-nx", "-mod", "-template", "-red", "-green", "-blue", "-k", "-KHz"},
      {"-Nn", "-Mm", "-Tt", "-Rr", "-Gg", "-Bb", "-Kh", "-kR"}};
  const int flagWords[] = {1, 3, 5, 7, 11, 15, 19, 21};
  for (const auto& flags : spellings) {
    words_ = exampleWords();
    for (int i = 0; i < 8; ++i) words_[flagWords[i]] = flags[i];
    EXPECT_EQ(parse(), "") << flags[0];
    EXPECT_EQ(status_, 0);
    EXPECT_EQ(outputName(".obj"), "start.3dv.n300.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.obj");
  }
}

TEST_F(CommandLine, ForceFlagsMayBeSwappedButPositionsDecide) {
  words_[19] = "-kh";
  words_[20] = "3";
  words_[21] = "-kr";
  words_[22] = "2";
  EXPECT_EQ(parse(), "");
  EXPECT_EQ(forces().repulsion, 3);
  EXPECT_EQ(forces().attraction, 2);
  EXPECT_EQ(outputName(".3dv"), "start.3dv.n300.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.2.kh.3.3dv");
}

TEST_F(CommandLine, CountsBelowOneBecomeOneWithTheirMessages) {
  for (const char* bad : {"0", "abc", "-4", ""}) {
    words_ = exampleWords();
    words_[2] = bad;
    words_[4] = bad;
    EXPECT_EQ(parse(),
              "Batch cycle count must be >=1.  Setting to 1\n"
              "<modificationCount> count must be >=1.  Setting to 1\n")
        << bad;
    EXPECT_EQ(status_, 0);
    EXPECT_EQ(outputName(".obj"), "start.3dv.n1.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.obj");
  }
  words_[2] = " 12abc";
  words_[4] = "+7";
  EXPECT_EQ(parse(), "");
  EXPECT_EQ(run_.values.growthCycles, 12);
  EXPECT_EQ(run_.values.modificationCount, 7);
}

TEST_F(CommandLine, ValuesNarrowToTheirFieldWidthsByLowBits) {
  words_[6] = "2";
  words_[8] = "70000";
  words_[9] = "300";
  words_[10] = "-1";
  words_[12] = "40000";
  words_[13] = "-1";
  words_[14] = "65535";
  words_[17] = "256";
  EXPECT_EQ(parse(), "");
  EXPECT_EQ(run_.values.templateSwitch, 2);
  EXPECT_EQ(red().lifespan, 4464);
  EXPECT_EQ(red().threshold, 44);
  EXPECT_EQ(red().secretor, -1);
  EXPECT_EQ(green().lifespan, -25536);
  EXPECT_EQ(green().threshold, 255);
  EXPECT_EQ(green().secretor, -1);
  EXPECT_EQ(blue().threshold, 0);
  EXPECT_EQ(outputName(".obj"), "start.3dv.n300.m1.r4464.44.-1.g.-25536.255.-1.b.40.0.33.kr.3.kh.2.obj");
}

// Whole-int words agree with the C library's atoi, out-of-range ones included.
TEST_F(CommandLine, WholeIntWordsConvertAsAtoi) {
  for (const char* word : {" +12", "-0", "12abc", "abc", "", "0x1F", "\t-3", "2147483647", "2147483648", "-2147483649",
                           "99999999999999999999", "-99999999999999999999"}) {
    words_[6] = words_[20] = words_[22] = word;
    parse();
    EXPECT_EQ(run_.values.templateSwitch, std::atoi(word)) << word;
    EXPECT_EQ(forces().repulsion, std::atoi(word)) << word;
    EXPECT_EQ(forces().attraction, std::atoi(word)) << word;
  }
}

TEST_F(CommandLine, ExtremeValuesAppearInTheNamesAsSignedDecimals) {
  words_ = {"morphsweep", "-n", "2147483647", "-m",  "5",           "-t",  "0",      "-r",
            "-32768",     "0",  "32767",      "-g",  "0",           "255", "-32768", "-b",
            "-1",         "1",  "0",          "-kr", "-2147483648", "-kh", "-7",     "a b/%d.3dv"};
  EXPECT_EQ(parse(), "");
  EXPECT_EQ(outputName(".3dvTemplate"),
            "a b/%d.3dv.n2147483647.m5.r-32768.0.32767.g.0.255.-32768.b.-1.1.0.kr.-7.kh.-2147483648.3dvTemplate");
}

// The longest formed name may take 259 characters; one more is refused before any read.
TEST_F(CommandLine, InputNamesTooLongForTheResultNamesAreRefused) {
  const std::string tail = ".n1.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2";
  struct Case {
    const char* templateSwitch;
    const char* redLifeSpan;
    int reserved;  // characters the name needs beyond the input name
  } cases[] = {{"1", "40", int(tail.size()) + 12},
               {"0", "40", int(tail.size()) + 4},
               {"7", "0", int(tail.size()) + 12 + 4},  // a red lifespan of 0 may become -32768
               {"1", "-3", int(tail.size()) + 12 + 4}};
  for (const Case& c : cases) {
    for (int extra : {0, 1}) {
      words_ = exampleWords();
      words_[2] = "0";
      words_[6] = c.templateSwitch;
      words_[8] = c.redLifeSpan;
      // A long folder part and a short file name: only the buffer limit is probed here.
      words_[23] = std::string(259 - c.reserved + extra - 10, 'd') + "/" + std::string(9, 'x');
      const std::string messages = parse();
      const std::string countMessage = "Batch cycle count must be >=1.  Setting to 1\n";
      if (extra == 0) {
        EXPECT_EQ(messages, countMessage) << c.templateSwitch << c.redLifeSpan;
        EXPECT_EQ(status_, 0);
        continue;
      }
      EXPECT_EQ(messages, countMessage + "morphsweep: input name '" + words_[23] +
                              "' is too long: the output names would need up to 260 characters, at "
                              "most 259 fit\n")
          << c.templateSwitch << c.redLifeSpan;
      EXPECT_EQ(status_, 1);
    }
  }
}

// Runs the built program in `dir` with the words after the program name.
struct RunResult {
  int status;
  std::string out, err;
};

RunResult runSweep(const fs::path& dir, const std::vector<std::string>& args) {
  const fs::path out = dir / "../stdout.txt", err = dir / "../stderr.txt";
  const pid_t child = fork();
  if (child == 0) {
    std::vector<std::string> words = {MORPHSWEEP_BINARY};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int o = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int e = open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (o < 0 || e < 0 || chdir(dir.c_str()) != 0 || dup2(o, 1) < 0 || dup2(e, 2) < 0) _exit(127);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, readFile(out), readFile(err)};
}

class Program : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("morphsweep_" + std::to_string(getpid()) + "_" +
                                         ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    dir_ = root_ / "work";
    fs::create_directories(dir_);
    resetStore();
    buildIcosahedron();
    writeTemplate(E, (dir_ / "start.3dv").c_str());
  }
  void TearDown() override { fs::remove_all(root_); }

  // The example call with the given cycle count, template switch and input name.
  static std::vector<std::string> call(const std::string& cycles, const std::string& templateSwitch = "1",
                                       const std::string& input = "start.3dv") {
    std::vector<std::string> words = exampleWords();
    words[2] = cycles;
    words[6] = templateSwitch;
    words[23] = input;
    return {words.begin() + 1, words.end()};
  }

  fs::path root_, dir_;
};

const std::string stem = "start.3dv.n11.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2";

TEST_F(Program, CompleteRunWritesTheThreeFilesAndItsProgress) {
  const RunResult run = runSweep(dir_, call("11"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "attractionFactor 3\nrepulsionFactor 2\n" + repeat("Hormone Grew!\n", 11));
  EXPECT_EQ(run.err, "Embryo 1\n..done\n");
  EXPECT_EQ(filesIn(dir_), std::set<std::string>({"start.3dv", stem + ".obj", stem + ".3dv", stem + ".3dvTemplate"}));

  // The OBJ and template come after the rescaling write: all three hold the same positions,
  // the largest of them exactly 1.
  std::istringstream flat(readFile(dir_ / (stem + ".3dv"))), obj(readFile(dir_ / (stem + ".obj"))),
      tmpl(readFile(dir_ / (stem + ".3dvTemplate")));
  std::string line, objLine, tmplLine;
  std::getline(flat, line);
  std::getline(flat, line);
  for (int i = 0; i < 2; ++i) std::getline(tmpl, tmplLine);
  while (std::getline(obj, objLine) && objLine.rfind("v  ", 0) != 0) {
  }
  float largestSeen = 0;
  for (int v = 0; v < 12; ++v) {
    std::getline(flat, line);
    EXPECT_EQ("v  " + line, objLine) << v;
    std::getline(tmpl, tmplLine);
    EXPECT_EQ(line, tmplLine) << v;
    for (int skip = 0; skip < 2; ++skip) std::getline(tmpl, tmplLine);
    std::istringstream xyz(line);
    for (float c; xyz >> c;) largestSeen = std::max(largestSeen, std::abs(c));
    std::getline(flat, line);
    std::getline(obj, objLine);
  }
  EXPECT_EQ(largestSeen, 1.0f);
}

TEST_F(Program, OneDotForEveryTenthCycleFromTheFirst) {
  const std::pair<const char*, int> cases[] = {{"1", 1}, {"10", 1}, {"20", 2}, {"21", 3}, {"abc", 1}};
  for (const auto& [cycles, dots] : cases) {
    const RunResult run = runSweep(dir_, call(cycles, "0"));
    const int n = std::max(1, std::atoi(cycles));
    const std::string countMessage = n == std::atoi(cycles) ? "" : "Batch cycle count must be >=1.  Setting to 1\n";
    EXPECT_EQ(run.err, countMessage + "Embryo 1\n" + std::string(dots, '.') + "done\n") << cycles;
    EXPECT_EQ(run.out, "attractionFactor 3\nrepulsionFactor 2\n" + repeat("Hormone Grew!\n", n)) << cycles;
    EXPECT_EQ(run.status, 0);
  }
}

TEST_F(Program, TemplateSwitchZeroWritesNoTemplate) {
  EXPECT_EQ(runSweep(dir_, call("11", "0")).status, 0);
  EXPECT_EQ(filesIn(dir_), std::set<std::string>({"start.3dv", stem + ".obj", stem + ".3dv"}));
  EXPECT_EQ(runSweep(dir_, call("11", "2")).status, 0);
  EXPECT_TRUE(fs::exists(dir_ / (stem + ".3dvTemplate")));
}

TEST_F(Program, OutputsLandBesideAnInputInAnotherFolder) {
  fs::create_directories(dir_ / "runs");
  fs::rename(dir_ / "start.3dv", dir_ / "runs/start.3dv");
  EXPECT_EQ(runSweep(dir_, call("11", "1", "runs/start.3dv")).status, 0);
  EXPECT_EQ(filesIn(dir_), std::set<std::string>({"runs"}));
  EXPECT_EQ(filesIn(dir_ / "runs"),
            std::set<std::string>({"start.3dv", stem + ".obj", stem + ".3dv", stem + ".3dvTemplate"}));
  EXPECT_NE(readFile(dir_ / "runs" / (stem + ".obj")).find("\n#\n#runs/start.3dv\n#\n"), std::string::npos);
}

TEST_F(Program, SameCommandLineWritesIdenticalFilesWhateverTheSeed) {
  fs::create_directories(root_ / "again");
  fs::copy_file(dir_ / "start.3dv", root_ / "again/start.3dv");
  EXPECT_EQ(runSweep(dir_, call("11")).status, 0);
  // Let the clock move on so that the second run has another seed.
  for (const std::time_t first = std::time(nullptr); std::time(nullptr) == first;) usleep(10000);
  EXPECT_EQ(runSweep(root_ / "again", call("11")).status, 0);
  for (const char* ending : {".obj", ".3dv", ".3dvTemplate"}) {
    const std::string written = readFile(dir_ / (stem + ending));
    EXPECT_FALSE(written.empty());
    EXPECT_EQ(written, readFile(root_ / "again" / (stem + ending))) << ending;
  }
}

TEST_F(Program, RefusedRunsWriteNothing) {
  const std::string tooLong(250, 'x');
  const std::vector<std::string> example = exampleWords();
  const struct {
    std::vector<std::string> args;
    int status;
    std::string err;
  } cases[] = {{call("11", "1", "missing.3dv"), 2,
                "Embryo 1\nmorphsweep: missing.3dv: cannot open: No such file or directory\n"},
               {call("11", "1", "bad.3dv"), 2,
                "Embryo 1\nmorphsweep: bad.3dv: vertex 0: y coordinate 'abc' is not a finite real number\n"},
               {call("11", "1", tooLong), 1,
                "morphsweep: input name '" + tooLong + "' is too long: the output names would need up to " +
                    std::to_string(250 + stem.size() - 9 + 12) + " characters, at most 259 fit\n"},
               {std::vector<std::string>(example.begin() + 1, example.end() - 1), 1,
                "Error #8: Unrecognized command\n" + usage}};
  std::ofstream(dir_ / "bad.3dv") << "12\n20\n0.5 abc 1\n";
  for (const auto& c : cases) {
    const RunResult run = runSweep(dir_, c.args);
    EXPECT_EQ(run.status, c.status) << c.err;
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(filesIn(dir_), std::set<std::string>({"start.3dv", "bad.3dv"}));
  }
}

// The red lifespan in the names is the one left after the cycles: on the bundled example
// (over 500 triangles) a spent red episode of lifespan 0 is begun again with lifespan 1.
TEST_F(Program, BundledExampleRunsAndNamesShowTheRenewedRedLifespan) {
  fs::copy_file(BUNDLED_EXAMPLE, dir_ / "example.3dv");
  std::vector<std::string> args = call("2", "1", "example.3dv");
  args[7] = "0";
  const RunResult run = runSweep(dir_, args);
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string name = "example.3dv.n2.m1.r1.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dvTemplate";
  ASSERT_TRUE(fs::exists(dir_ / name));
  resetStore();
  EXPECT_EQ(loadTemplate(E, (dir_ / name).c_str()), std::nullopt);
  EXPECT_EQ(E.numVertices, 642);
  EXPECT_EQ(E.numTriangles, 1280);
}

TEST(BundledExample, IsWhatTheGeneratorWritesAndASoundSplitIcosahedron) {
  const fs::path fresh = fs::temp_directory_path() / ("example_" + std::to_string(getpid()) + ".3dv");
  const std::string command = std::string(MAKE_EXAMPLE_BINARY) + " " + fresh.string() + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(readFile(fresh), readFile(BUNDLED_EXAMPLE));
  fs::remove(fresh);

  resetStore();
  ASSERT_EQ(loadTemplate(E, BUNDLED_EXAMPLE), std::nullopt);
  EXPECT_EQ(E.numVertices, 642);
  EXPECT_EQ(E.numTriangles, 1280);
  EXPECT_EQ(storeProblems(E), std::vector<std::string>());
  for (int i = 0; i < E.numVertices; ++i) {
    EXPECT_TRUE(E.vertex[i].numNeighbors == 5 || E.vertex[i].numNeighbors == 6) << i;
    EXPECT_EQ(E.vertex[i].parentA, -1) << i;
  }
}

// Parses the words and grows their embryo in this process, capturing what it prints. The
// words must outlive the run: the input name points into them.
void growInProcess(std::vector<std::string>& words, SweepRun& run, std::string& out, std::string& err) {
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  ASSERT_EQ(parseCommandLine(24, argv.data(), run), 0);
  resetStore(run.settings());
  ::testing::internal::CaptureStdout();
  ::testing::internal::CaptureStderr();
  growEmbryo(E, run);
  std::fflush(stdout);
  out = ::testing::internal::GetCapturedStdout();
  err = ::testing::internal::GetCapturedStderr();
}

// In process: the factors, the cycle counter and the files of one embryo.
TEST_F(Program, GrowEmbryoSetsFactorsAndCountsCycles) {
  std::vector<std::string> words = exampleWords();
  words[2] = "4";
  words[20] = "5";
  words[22] = "7";
  words[23] = (dir_ / "start.3dv").string();
  std::string out, err;
  SweepRun run;
  ASSERT_NO_FATAL_FAILURE(growInProcess(words, run, out, err));
  EXPECT_EQ(err, ".done\n");
  EXPECT_EQ(out, "attractionFactor 7\nrepulsionFactor 5\n" + repeat("Hormone Grew!\n", 4));
  EXPECT_EQ(E.forces.attraction, 7);
  EXPECT_EQ(E.forces.repulsion, 5);
  EXPECT_EQ(E.totalCycles, 4u);
  const std::string stem = words[23] + ".n4.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.7.kh.5";
  for (const char* ending : {".3dv", ".obj", ".3dvTemplate"}) EXPECT_TRUE(fs::exists(stem + ending)) << ending;
}

// A run's 3DV equals the store after, per cycle, one diffusion, one growth step and twenty
// force steps, then fresh normals; on the bundled example every one of these shows.
TEST_F(Program, RunIsDiffusionGrowthAndTwentyForceStepsPerCycle) {
  fs::copy_file(BUNDLED_EXAMPLE, dir_ / "example.3dv");
  std::vector<std::string> words = exampleWords();
  words[2] = "3";
  words[8] = "0";
  words[23] = (dir_ / "example.3dv").string();
  std::string out, err;
  SweepRun run;
  ASSERT_NO_FATAL_FAILURE(growInProcess(words, run, out, err));
  const std::string grown = readFile(outputName(run, E.red.lifespan, ".3dv"));

  resetStore(run.settings());
  ASSERT_EQ(loadTemplate(E, run.input.c_str()), std::nullopt);
  ASSERT_EQ(E.forces.attraction, 3);
  ASSERT_EQ(E.forces.repulsion, 2);
  for (unsigned cycle = 1; cycle <= 3; ++cycle) {
    E.totalCycles = cycle;
    diffuse(E);
    hormoneGrow(E);
    for (int step = 0; step < 20; ++step) forces(E);
  }
  recalcNorms(E);
  write3DV(E, (root_ / "reference.3dv").c_str());
  EXPECT_EQ(grown, readFile(root_ / "reference.3dv"));
}

}  // namespace
