// Sweep plans: definitions expand into manifests of morphsweep calls, faults are named by
// line, manifest lines read back as the shell reads them, and each line names its result.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <tuple>

#include "sweepwords.h"
#include "failure.h"
#include "pointnames.h"
#include "growthpoints.h"
#include "plan.h"
#include "resultname.h"
#include "shellwords.h"
#include "signalling.h"
#include "sweep_command.h"

namespace fs = std::filesystem;
using testing::internal::CaptureStderr;
using testing::internal::GetCapturedStderr;

namespace {

// Every parameter with one value; tests replace the lines they vary.
const std::vector<std::pair<std::string, std::string>> baseLines{
    {"growthCycles", "300"}, {"modificationCount", "1"}, {"templateSwitch", "1"},        {"redLifespan", "40"},
    {"redThreshold", "120"}, {"redSecretor", "5"},       {"greenLifespan", "40"},        {"greenThreshold", "120"},
    {"greenSecretor", "17"}, {"blueLifespan", "40"},     {"blueThreshold", "120"},       {"blueSecretor", "33"},
    {"repulsion", "2"},      {"attraction", "3"},        {"inputTemplate", "start.3dv"},
};

std::string definition(const std::map<std::string, std::string>& changes = {}) {
  std::string text = "# a test sweep\n\n";
  for (const auto& [name, value] : baseLines) {
    const auto changed = changes.find(name);
    if (changed == changes.end()) {
      text += name + " = " + value + "\n";
    } else if (!changed->second.empty()) {
      text += changed->second + "\n";
    }
  }
  return text;
}

std::optional<std::string> parse(const std::string& text, plan::Definition& d) {
  std::istringstream in(text);
  return plan::parseDefinition(in, "s.sweep", d);
}

std::vector<long long> valuesOf(const std::string& list) {
  plan::Definition d;
  const auto problem = parse(definition({{"attraction", "attraction = " + list}}), d);
  EXPECT_EQ(problem, std::nullopt) << list;
  return d.values[13];
}

std::vector<std::string> manifestLines(const plan::Definition& d, const std::string& program) {
  std::ostringstream out;
  plan::writeManifest(d, program, out);
  std::istringstream in(out.str());
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(SweepPlan, OneValueEachGivesTheSingleCompleteCall) {
  plan::Definition d;
  ASSERT_EQ(parse(definition(), d), std::nullopt);
  EXPECT_EQ(plan::pointCount(d), 1);
  EXPECT_EQ(manifestLines(d, "morphsweep"),
            std::vector<std::string>{
                "morphsweep -n 300 -m 1 -t 1 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 3 start.3dv"});
}

TEST(SweepPlan, ValuesListsAndRangesCombine) {
  EXPECT_EQ(valuesOf("7"), (std::vector<long long>{7}));
  EXPECT_EQ(valuesOf("5, 1:3:1, 10:20:5"), (std::vector<long long>{5, 1, 2, 3, 10, 15, 20}));
  EXPECT_EQ(valuesOf("0:10:4"), (std::vector<long long>{0, 4, 8}));
  EXPECT_EQ(valuesOf(" -3 : 3 : 3 ,+9"), (std::vector<long long>{-3, 0, 3, 9}));
  EXPECT_EQ(valuesOf("4:4:100"), (std::vector<long long>{4}));
  EXPECT_EQ(valuesOf("-2147483648, 2147483647"), (std::vector<long long>{-2147483648LL, 2147483647}));
}

TEST(SweepPlan, EveryCombinationIsListedWithTheLaterWordsVaryingFaster) {
  plan::Definition d;
  ASSERT_EQ(parse(definition({{"redThreshold", "redThreshold = 100:140:20   # three"},
                              {"attraction", "attraction=1,3"},
                              {"inputTemplate", "inputTemplate = a.3dvTemplate, my runs/b.3dvTemplate"}}),
                  d),
            std::nullopt);
  ASSERT_EQ(plan::pointCount(d), 12);
  std::vector<std::string> expected;
  for (const char* threshold : {"100", "120", "140"}) {
    for (const char* attraction : {"1", "3"}) {
      for (const char* input : {"a.3dvTemplate", "'my runs/b.3dvTemplate'"}) {
        expected.push_back(std::string("'/opt/m sweep/morphsweep' -n 300 -m 1 -t 1 -r 40 ") + threshold +
                           " 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh " + attraction + " " + input);
      }
    }
  }
  const std::vector<std::string> lines = manifestLines(d, "/opt/m sweep/morphsweep");
  EXPECT_EQ(lines, expected);
  // Each line reads back as the words of its point.
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::vector<std::string> words;
    ASSERT_EQ(plan::splitShellWords(lines[i], words), std::nullopt) << lines[i];
    EXPECT_EQ(words, plan::pointWords(d, "/opt/m sweep/morphsweep", static_cast<long long>(i)));
  }
}

TEST(SweepPlan, FaultsAreNamedByFileLineAndParameter) {
  // The changed parameter stays on its own line: line 3 plus its place in baseLines.
  const std::vector<std::tuple<std::string, std::string, std::string>> cases{
      {"redThreshold", "redThreshold = 300", "s.sweep:7: redThreshold: 300 is outside 0..255"},
      {"redThreshold", "redThreshold = 100:300:100", "s.sweep:7: redThreshold: 300 is outside 0..255"},
      {"redSecretor", "redSecretor = -2", "s.sweep:8: redSecretor: -2 is outside -1..32767"},
      {"redLifespan", "redLifespan = 40000", "s.sweep:6: redLifespan: 40000 is outside -32768..32767"},
      {"growthCycles", "growthCycles = 0", "s.sweep:3: growthCycles: 0 is outside 1..2147483647"},
      {"templateSwitch", "templateSwitch = 2", "s.sweep:5: templateSwitch: 2 is outside 0..1"},
      {"attraction", "attraction = 2147483648",
       "s.sweep:16: attraction: 2147483648 is outside -2147483648..2147483647"},
      {"attraction", "attraction = 99999999999999999999",
       "s.sweep:16: attraction: '99999999999999999999' is not a whole number"},
      {"attraction", "attraction = 1x", "s.sweep:16: attraction: '1x' is not a whole number"},
      {"attraction", "attraction = 1.5", "s.sweep:16: attraction: '1.5' is not a whole number"},
      {"attraction", "attraction = 1:5",
       "s.sweep:16: attraction: '1:5' is neither a value nor a range start:stop:step"},
      {"attraction", "attraction = 1:5:0", "s.sweep:16: attraction: the step of '1:5:0' must be 1 or more"},
      {"attraction", "attraction = 5:1:1", "s.sweep:16: attraction: the range '5:1:1' starts past its stop"},
      {"attraction", "attraction = 1, 2, 1", "s.sweep:16: attraction: 1 is listed twice"},
      {"attraction", "attraction = 0:10:5, 10", "s.sweep:16: attraction: 10 is listed twice"},
      {"attraction", "attraction = 1,,2", "s.sweep:16: attraction: an item of the list is empty"},
      {"attraction", "attraction = 1,", "s.sweep:16: attraction: an item of the list is empty"},
      {"attraction", "attraction =   # nothing", "s.sweep:16: attraction has no value"},
      {"attraction", "attraction = 0:2000000:1",
       "s.sweep:16: attraction: the range '0:2000000:1' has more than 1000000 values"},
      {"attraction", "attraction 3", "s.sweep:16: expected 'name = values', got 'attraction 3'"},
      {"attraction", "Attraction = 3",
       "s.sweep:16: unknown parameter 'Attraction' (known: growthCycles, "
       "modificationCount, templateSwitch, redLifespan, redThreshold, redSecretor, "
       "greenLifespan, greenThreshold, greenSecretor, blueLifespan, blueThreshold, "
       "blueSecretor, repulsion, attraction, inputTemplate)"},
      {"attraction", "repulsion = 4", "s.sweep:16: repulsion is given twice (first on line 15)"},
      {"inputTemplate", "inputTemplate = a, b, a", "s.sweep:17: inputTemplate: 'a' is listed twice"},
      {"inputTemplate", "inputTemplate = a\tb", "s.sweep:17: inputTemplate: the name 'a\tb' holds a control character"},
  };
  for (const auto& [name, line, message] : cases) {
    plan::Definition d;
    EXPECT_EQ(parse(definition({{name, line}}), d), message) << line;
  }
}

TEST(SweepPlan, MissingParametersAndOversizedSweepsAreRefused) {
  plan::Definition d;
  EXPECT_EQ(parse(definition({{"redSecretor", ""}, {"inputTemplate", ""}}), d),
            "s.sweep: missing parameters: redSecretor, inputTemplate");
  EXPECT_EQ(parse("", d),
            "s.sweep: missing parameters: growthCycles, modificationCount, templateSwitch, redLifespan, redThreshold, "
            "redSecretor, greenLifespan, greenThreshold, greenSecretor, blueLifespan, blueThreshold, blueSecretor, "
            "repulsion, attraction, inputTemplate");
  // 101 * 100 * 100 points: each list is small, the product is not.
  EXPECT_EQ(parse(definition({{"redThreshold", "redThreshold = 0:100:1"},
                              {"greenThreshold", "greenThreshold = 1:100:1"},
                              {"blueThreshold", "blueThreshold = 1:100:1"}}),
                  d),
            "s.sweep: the sweep has more than 1000000 points");
  ASSERT_EQ(parse(definition({{"redThreshold", "redThreshold = 1:100:1"},
                              {"greenThreshold", "greenThreshold = 1:100:1"},
                              {"blueThreshold", "blueThreshold = 1:100:1"}}),
                  d),
            std::nullopt);
  EXPECT_EQ(plan::pointCount(d), 1000000);
}

TEST(ShellWords, QuotedWordsReadBackAsTheyWere) {
  const std::vector<std::string> words{"plain",       "with space", "it's",       "",    "$HOME",     "a*b",
                                       "back\\slash", "\"quoted\"", "semi;colon", "-kr", "../x/y.3dv"};
  const std::string line = plan::shellLine(words);
  std::vector<std::string> back;
  ASSERT_EQ(plan::splitShellWords(line, back), std::nullopt) << line;
  EXPECT_EQ(back, words);
  EXPECT_EQ(plan::shellQuote("start.3dv"), "start.3dv");
  EXPECT_EQ(plan::shellQuote("it's"), "'it'\\''s'");

  ASSERT_EQ(plan::splitShellWords("  \"a b\"  c\\ d 'e'\"f\"g\t\"\\$x\" ", back), std::nullopt);
  EXPECT_EQ(back, (std::vector<std::string>{"a b", "c d", "efg", "$x"}));
}

TEST(ShellWords, ShellSyntaxBeyondQuotingIsRefused) {
  std::vector<std::string> words;
  for (const auto& [line, message] : std::vector<std::pair<std::string, std::string>>{
           {"morphsweep -n 1 | tee x", "'|' would be read by the shell; quote it"},
           {"a; b", "';' would be read by the shell; quote it"},
           {"a $(b)", "'$' would be read by the shell; quote it"},
           {"a > out", "'>' would be read by the shell; quote it"},
           {"runs/*.3dv", "'*' would be read by the shell; quote it"},
           {"# a comment", "'#' would be read by the shell; quote it"},
           {"'open", "a single quote is not closed"},
           {"\"open", "a double quote is not closed"},
           {"\"$HOME\"", "'$' inside double quotes is not supported"},
           {"end\\", "the line ends in a backslash"},
       }) {
    EXPECT_EQ(plan::splitShellWords(line, words), message) << line;
  }
}

std::vector<std::string> call(const std::string& red, const std::string& input, const std::string& cycles = "300") {
  std::istringstream words("morphsweep -n " + cycles + " -m 1 -t 1 -r " + red +
                           " 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 3 " + input);
  return {std::istream_iterator<std::string>(words), {}};
}

class ResultNames : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("sweepplan_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    home_ = fs::current_path();
    fs::current_path(dir_);
  }
  void TearDown() override {
    fs::current_path(home_);
    fs::remove_all(dir_);
  }

  static std::string name(const std::vector<std::string>& words) {
    std::string result;
    CaptureStderr();
    const auto problem = plan::resultName(words, result);
    const std::string err = GetCapturedStderr();
    EXPECT_EQ(problem, std::nullopt) << err;
    return result;
  }

  fs::path dir_;
  fs::path home_;
};

TEST_F(ResultNames, ALineNamesItsResultAsMorphsweepDoes) {
  EXPECT_EQ(name(call("40 120", "start.3dv")), "start.3dv.n300.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv");
  std::vector<std::string> spaced = call("40 120", "x");
  spaced.back() = "runs/a b.3dv";
  EXPECT_EQ(name(spaced), "runs/a b.3dv.n300.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv");
  // morphsweep's own reading: short flags by two characters, numbers narrowed.
  std::vector<std::string> words = call("70000 300", "x");
  words[1] = "-Nx";
  words[19] = "-KH";
  EXPECT_EQ(name(words), "x.n300.m1.r4464.44.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv");
}

TEST_F(ResultNames, ARedLifespanTheRunRenewsIsFollowedThroughItsCycles) {
  // Only the triangle count of the header is read.
  std::ofstream("big.3dvTemplate") << "642\n1280\n";
  std::ofstream("small.3dvTemplate") << "12\n20\n";
  const std::string rest = ".120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv";
  // (L * (T - 1) + 2) / 2 with T = 120: 0 gives 1, which holds; -1 gives -58, then
  // -3450, then -205274, past a short, which is kept as -32768 from then on.
  EXPECT_EQ(name(call("0 120", "big.3dvTemplate", "300")), "big.3dvTemplate.n300.m1.r1" + rest);
  EXPECT_EQ(name(call("-1 120", "big.3dvTemplate", "1")), "big.3dvTemplate.n1.m1.r-58" + rest);
  EXPECT_EQ(name(call("-1 120", "big.3dvTemplate", "2")), "big.3dvTemplate.n2.m1.r-3450" + rest);
  EXPECT_EQ(name(call("-1 120", "big.3dvTemplate", "2147483647")), "big.3dvTemplate.n2147483647.m1.r-32768" + rest);
  // 500 triangles or fewer start no red episode; nor does a template that cannot be read.
  EXPECT_EQ(name(call("0 120", "small.3dvTemplate")), "small.3dvTemplate.n300.m1.r0" + rest);
  EXPECT_EQ(name(call("-1 120", "absent.3dvTemplate")), "absent.3dvTemplate.n300.m1.r-1" + rest);
}

TEST_F(ResultNames, CallsMorphsweepWouldRefuseAreNamedByTheirFault) {
  std::string result;
  std::vector<std::string> words = call("40 120", "x");
  words.pop_back();
  EXPECT_EQ(plan::resultName(words, result), "23 words where a morphsweep call has 24");
  words = call("40 120", "x");
  words[7] = "-x";
  EXPECT_EQ(plan::resultName(words, result), "word 7 is '-x' where morphsweep expects a flag -r...");
  words = call("40 120", std::string(300, 'x'));
  CaptureStderr();
  EXPECT_EQ(plan::resultName(words, result), "morphsweep refuses this call");
  EXPECT_NE(GetCapturedStderr().find("is too long"), std::string::npos);
}

TEST_F(ResultNames, TheNamedResultIsTheFileMorphsweepWrites) {
  // Red lifespans of 0 and -1 on the bundled 1280-triangle example are renewed in the run.
  fs::copy_file(BUNDLED_EXAMPLE, "start.3dv");
  for (const char* red : {"-1 120", "0 120", "40 120"}) {
    std::vector<std::string> words = call(red, "start.3dv", "2");
    words[0] = MORPHSWEEP_BINARY;
    const std::string expected = name(words);
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) _exit(126);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << red;
    EXPECT_TRUE(fs::exists(expected)) << expected;
  }
}

// Input templates are checked when a sweep is planned; a named pipe passes without waiting
// for its writer.
TEST_F(ResultNames, InputTemplatesMustBeThereAndAreNotWaitedFor) {
  plan::Definition d;
  ASSERT_EQ(parse(definition({{"inputTemplate", "inputTemplate = a.3dvTemplate, pipe, b.3dvTemplate"}}), d),
            std::nullopt);
  std::ofstream("a.3dvTemplate") << "";
  ASSERT_EQ(mkfifo("pipe", 0600), 0);
  EXPECT_EQ(plan::checkInputs(d, "s.sweep"),
            "s.sweep:17: inputTemplate: 'b.3dvTemplate' cannot be opened: No such file or directory");
  std::ofstream("b.3dvTemplate") << "";
  EXPECT_EQ(plan::checkInputs(d, "s.sweep"), std::nullopt);
}

// The tool itself: statuses, and nothing on standard output unless all is well.
struct ToolRun {
  int status;
  std::string out, err;
};

ToolRun runTool(const std::vector<std::string>& args) {
  const fs::path base = fs::temp_directory_path() / ("plantool_" + std::to_string(getpid()));
  const std::string outFile = base.string() + ".out", errFile = base.string() + ".err";
  std::vector<std::string> all{PLAN_BINARY};
  all.insert(all.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : all) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(126);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  auto slurp = [](const std::string& f) {
    std::ifstream in(f);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  ToolRun r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, slurp(outFile), slurp(errFile)};
  fs::remove(outFile);
  fs::remove(errFile);
  return r;
}

TEST_F(ResultNames, TheToolPlansListsAndRefuses) {
  std::ofstream("s.sweep") << definition({{"attraction", "attraction = 1, 2"}});
  std::ofstream("start.3dv") << "";  // the tool checks that every input template is there
  ToolRun r = runTool({"--program", "ms", "s.sweep"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "ms -n 300 -m 1 -t 1 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 1 start.3dv\n"
            "ms -n 300 -m 1 -t 1 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 2 start.3dv\n");
  // By default the lines call the morphsweep built beside the tool, by absolute path.
  r = runTool({"s.sweep"});
  EXPECT_EQ(r.out.substr(0, r.out.find(' ')), fs::path(PLAN_BINARY).parent_path() / "morphsweep");

  std::ofstream("m") << "ms -n 300 -m 1 -t 1 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 1 start.3dv\n"
                        "ms -n 300 -m 1 -t 1 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 2 start.3dv\n";
  r = runTool({"--results", "m"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out,
            "start.3dv.n300.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.1.kh.2.3dv\n"
            "start.3dv.n300.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.2.kh.2.3dv\n");

  std::ofstream("m", std::ios::app) << "ms -n 300 | x\n";
  r = runTool({"--results", "m"});
  EXPECT_EQ(r.status, exitBadFile);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "morphsweep-plan: m:3: '|' would be read by the shell; quote it\n");

  std::ofstream("s.sweep", std::ios::app) << "attraction = 5\n";
  r = runTool({"s.sweep"});
  EXPECT_EQ(r.status, exitBadFile);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "morphsweep-plan: s.sweep:18: attraction is given twice (first on line 16)\n");

  r = runTool({"absent.sweep"});
  EXPECT_EQ(r.status, exitBadFile);
  EXPECT_EQ(r.err, "morphsweep-plan: absent.sweep: cannot open: No such file or directory\n");
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {}, {"a", "b"}, {"--program"}, {"--bogus", "s.sweep"}, {"--results", "--program", "x", "m"}}) {
    r = runTool(words);
    EXPECT_EQ(r.status, exitBadCommandLine) << ::testing::PrintToString(words);
    EXPECT_NE(r.err.find("usage: morphsweep-plan"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
  }
}

}  // namespace

TEST_F(ResultNames, TheFinalRedLifespanIsTheRunsOwnRenewal) {
  const std::vector<std::vector<std::string>> lines{call("40 120", "start.3dv"), call("-1 120", "big.3dvTemplate", "3"),
                                                    call("0 7", "big.3dvTemplate", "-5"),
                                                    call("-32768 255", "runs/a.3dvTemplate", "1000")};
  for (std::vector<std::string> words : lines) {
    const std::string shown = ::testing::PrintToString(words);
    for (const bool snapshots : {false, true}) {
      if (snapshots) words.insert(words.end(), {"-v", "4"});
      std::vector<char*> argv;
      for (std::string& w : words) argv.push_back(w.data());
      SweepRun run;
      CaptureStderr();
      ASSERT_EQ(parseCommandLine(static_cast<int>(argv.size()), argv.data(), run), 0) << shown;
      GetCapturedStderr();
      EXPECT_EQ(run.snapshotInterval, snapshots ? 4 : 0) << shown;
      for (const long long triangles : {20LL, 1280LL}) {
        // The run's own renewal at the start of every cycle, with no shortcut.
        Morphogen red = run.settings().red;
        for (int j = 0; j < run.values.growthCycles; ++j) {
          if (red.lifespan <= 0 && triangles > episodeMinTriangles)
            red.lifespan = renewedRedLifespan(red.lifespan, red.threshold);
        }
        EXPECT_EQ(finalRedLifespan(run, triangles), red.lifespan) << shown << triangles;
      }
    }
  }
}

// Every number row is read from the word the table places it at, and its field holds its
// whole range.
TEST(ParameterTable, RowsSitAtTheirWordsAndHoldTheirRanges) {
  std::vector<std::string> words = examplePointCommand("morphsweep", {300, true});
  for (std::size_t k = 0; k < plan::numbers().size(); ++k) {
    const Parameter& p = *plan::numbers()[k];
    words[sweepWordOf(p.name)] = std::to_string(std::min(p.hi, p.lo + 2 + static_cast<long long>(k)));
  }
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  SweepRun run;
  CaptureStderr();
  ASSERT_EQ(parseCommandLine(static_cast<int>(argv.size()), argv.data(), run), 0);
  GetCapturedStderr();
  for (const Parameter* p : plan::numbers()) {
    EXPECT_EQ(p->get(run.values), std::atoll(words[sweepWordOf(p->name)].c_str())) << p->name;
    SweepValues v;
    for (const long long edge : {p->lo, p->hi}) {
      p->set(v, edge);
      EXPECT_EQ(p->get(v), edge) << p->name;
    }
  }
  EXPECT_EQ(run.input, words[sweepWordOf(inputTemplateName)]);
  EXPECT_EQ(sweepWordOf("seed"), 0u);
  EXPECT_EQ(snakeCase("greenThreshold"), "green_threshold");
}

// A sweep that varies only what cannot change morphsweep's shape is warned about, naming
// each varied parameter and what it does change; one that varies a shape parameter is not.
TEST(SweepPlan, ASweepOfNothingThatShapesIsWarnedAbout) {
  const std::string head = "no parameter this sweep varies can change the shape in morphsweep, so every point "
                           "grows the same surface: ";
  const std::string names = "redThreshold changes only the result names";
  struct Case {
    std::map<std::string, std::string> changes;
    std::string warning;  // "" for none
  } cases[] = {
      {{}, ""},
      {{{"redThreshold", "redThreshold = 100, 120"}}, head + names},
      {{{"redThreshold", "redThreshold = 100, 120"}, {"redSecretor", "redSecretor = 5, 6"}},
       head + names + "; redSecretor changes only the levels of -v snapshots (and the result names)"},
      {{{"templateSwitch", "templateSwitch = 0, 1"}}, head + "templateSwitch changes only which result files are written"},
      {{{"redThreshold", "redThreshold = 100, 120"}, {"repulsion", "repulsion = 1, 4"}}, ""},
      {{{"redThreshold", "redThreshold = 100, 120"}, {"growthCycles", "growthCycles = 6:18:6"}}, ""},
      {{{"redThreshold", "redThreshold = 100, 120"}, {"inputTemplate", "inputTemplate = a.3dv, b.3dv"}}, ""},
  };
  for (const Case& c : cases) {
    plan::Definition d;
    ASSERT_EQ(parse(definition(c.changes), d), std::nullopt);
    EXPECT_EQ(plan::shapeWarning(d).value_or(""), c.warning) << ::testing::PrintToString(c.changes);
  }
}

TEST_F(ResultNames, TheToolWarnsOnStandardErrorAndPlansAsEver) {
  std::ofstream("start.3dv") << "";
  for (const bool shaping : {false, true}) {
    const std::string text = definition({{"redThreshold", "redThreshold = 100, 120"},
                                         {"repulsion", shaping ? "repulsion = 1, 4" : "repulsion = 2"}});
    std::ofstream("s.sweep") << text;
    const ToolRun r = runTool({"--program", "ms", "s.sweep"});
    plan::Definition d;
    ASSERT_EQ(parse(text, d), std::nullopt);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, [&] {
      std::ostringstream out;
      plan::writeManifest(d, "ms", out);
      return out.str();
    }());
    EXPECT_EQ(r.err, shaping ? "" : "morphsweep-plan: warning: " + *plan::shapeWarning(d) + "\n");
  }
}

// A growth sweep: the definition names morphseed, its seeds, cycles and episode values.
TEST(GrowthSweep, EachPointIsOneEmbryoNamedAndValuedByItsChoices) {
  plan::Definition d;
  ASSERT_EQ(parse("program = morphseed\nredThreshold = 30, 70\nseed = 5, 6\ngrowthCycles = 8\n"
                  "blueLifespan = 4\nseedFile = my seed\n",
                  d),
            std::nullopt);
  const std::string tail = " -b 1 8 --seed-file 'my seed' --episodes red.threshold=";
  EXPECT_EQ(
      manifestLines(d, "ms"),
      (std::vector<std::string>{"ms -s 5" + tail + "30,blue.lifespan=4", "ms -s 6" + tail + "30,blue.lifespan=4",
                                "ms -s 5" + tail + "70,blue.lifespan=4", "ms -s 6" + tail + "70,blue.lifespan=4"}));
  // Every varied value may change the shape, so nothing is warned about.
  EXPECT_EQ(plan::shapeWarning(d), std::nullopt);
  const std::vector<std::string> words = plan::pointWords(d, "ms", 3);
  std::string name;
  ASSERT_EQ(plan::resultName(words, name), std::nullopt);
  EXPECT_EQ(name, "embryo.6.red-threshold70.blue-lifespan4.3dv");
  const auto values = plan::lineParameters(words);
  ASSERT_EQ(values.size(), 11u);
  EXPECT_EQ(values[2], (std::pair<std::string, std::string>{"redThreshold", "70"}));
  EXPECT_EQ(values[3], (std::pair<std::string, std::string>{"redSecretor", "drawn"}));
  EXPECT_EQ(values.back(), (std::pair<std::string, std::string>{"seed", "6"}));
  EXPECT_EQ(plan::lineInput(words), "my seed");

  for (const auto& [text, message] : std::vector<std::pair<std::string, std::string>>{
           {"program = morphseed\nseed = 1\n", "s.sweep: missing parameters: growthCycles"},
           {"program = morphseed\ngrowthCycles = 3\n", "s.sweep: missing parameters: seed"},
           {"program = morphseed\nseed = 1\ngrowthCycles = 3\nrepulsion = 4\n",
            "s.sweep:4: repulsion is not a parameter of a morphseed sweep"},
           {"program = morphseed\nseed = -1\n", "s.sweep:2: seed: -1 is outside 0..2147483647"},
           {"seed = 1\nprogram = morphseed\nprogram = morphseed\n", "s.sweep:3: program is given twice"},
           {"program = morphpeed\n", "s.sweep:1: program is morphsweep or morphseed, not 'morphpeed'"}}) {
    const auto problem = parse(text, d);
    ASSERT_TRUE(problem) << text;
    EXPECT_EQ(problem->rfind(message, 0), 0u) << *problem;
  }
  // A line this format does not write is refused by name.
  EXPECT_EQ(plan::resultName({"ms", "-s", "5", "-b", "2", "8", "--seed-file", "f"}, name),
            "a morphseed point reads -s SEED -b 1 CYCLES --seed-file FILE [--episodes LIST]");
}
