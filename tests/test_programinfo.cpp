// --help and --version of every program: the full usage and the build's version on
// standard output with status 0, and only as the one word of a command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>
#include <vector>

#include "child_process.h"

namespace {

namespace fs = std::filesystem;

struct Program {
  const char* name;
  const char* binary;
};

const Program programs[] = {{"morphsweep", MORPHSWEEP_BINARY},
                            {"morphseed", MORPHSEED_BINARY},
                            {"morphview", MORPHVIEW_BINARY},
                            {"morphsweep-plan", PLAN_BINARY},
                            {"morphstats", MORPHSTATS_BINARY}};

TEST(ProgramInfo, VersionNamesProgramReleaseAndCommit) {
  for (const Program& p : programs) {
    const ChildRun r = runChild({p.binary, "--version"});
    EXPECT_EQ(r.status, 0) << p.name;
    EXPECT_EQ(r.err, "") << p.name;
    EXPECT_TRUE(std::regex_match(
        r.out,
        std::regex(std::string(p.name) + R"( [0-9]+\.[0-9]+\.[0-9]+( \(commit [0-9a-f]{4,}(-dirty)?\))?\n)")))
        << p.name << ": " << r.out;
  }
}

TEST(ProgramInfo, HelpIsTheFullUsageOnStandardOutput) {
  for (const Program& p : programs) {
    const ChildRun r = runChild({p.binary, "--help"});
    EXPECT_EQ(r.status, 0) << p.name;
    EXPECT_EQ(r.err, "") << p.name;
    EXPECT_EQ(r.out.rfind("usage: " + std::string(p.name), 0), 0u) << p.name << ": " << r.out;
  }
  // Every word of morphsweep's fixed shape is named, not only the first three flags.
  const std::string sweep = runChild({MORPHSWEEP_BINARY, "--help"}).out;
  for (const char* word :
       {"-n growthCycles", "-m modificationCount", "-t templateSwitch", "-r redLifespan redThreshold redSecretor",
        "-g greenLifespan greenThreshold greenSecretor", "-b blueLifespan blueThreshold blueSecretor", "-kr repulsion",
        "-kh attraction", "inputTemplate", "-v cycles", "OMP_NUM_THREADS", "OMP_WAIT_POLICY"}) {
    EXPECT_NE(sweep.find(word), std::string::npos) << word;
  }
  const std::string seed = runChild({MORPHSEED_BINARY, "--help"}).out;
  for (const char* word :
       {"-b batchCount cycleCount", "-t 0|1", "-s seed", "-v cycles", "indexed_icosa", "OMP_WAIT_POLICY"}) {
    EXPECT_NE(seed.find(word), std::string::npos) << word;
  }
}

// The options a help text lists (the first word of each line indented under the usage that
// begins with '-') and those of the tool's table in the manual (the first word of each row
// after "<!-- options: TOOL", on whichever page of docs/ holds it).
std::set<std::string> helpOptions(const std::string& help) {
  std::set<std::string> options;
  const std::regex line(R"(\n {2,}(-[-A-Za-z0-9]*)(?= |\n))");
  for (std::sregex_iterator m(help.begin(), help.end(), line), end; m != end; ++m) options.insert((*m)[1]);
  return options;
}

std::set<std::string> manualOptions(const std::string& manual, const std::string& tool) {
  std::set<std::string> options;
  const std::size_t table = manual.find("<!-- options: " + tool + " ");
  if (table == std::string::npos) return options;
  std::istringstream rows(manual.substr(table));
  std::string row;
  std::getline(rows, row);
  const std::regex option(R"(^\| `(-[-A-Za-z0-9]*)[ `])");
  while (std::getline(rows, row) && !row.empty()) {
    std::smatch m;
    if (std::regex_search(row, m, option)) options.insert(m[1]);
  }
  return options;
}

// Every page of the manual, one after another.
std::string manualText() {
  std::vector<fs::path> pages;
  for (const auto& entry : fs::recursive_directory_iterator(fs::path(SOURCE_DIR) / "docs"))
    if (entry.path().extension() == ".md") pages.push_back(entry.path());
  std::sort(pages.begin(), pages.end());
  std::string text;
  for (const fs::path& page : pages) {
    std::ifstream in(page);
    text.append(std::istreambuf_iterator<char>(in), {});
  }
  return text;
}

TEST(ProgramInfo, EveryToolsHelpHasAnExampleAndTheOptionsOfItsManualTable) {
  const std::string manual = manualText();
  struct Tool {
    std::string name;
    std::vector<std::string> help, version;
    bool table = true;  // the manual has a table of its options
  };
  std::vector<Tool> tools;
  for (const Program& p : programs) tools.push_back({p.name, {p.binary, "--help"}, {p.binary, "--version"}});
  for (const std::string script : {"sweep-run.sh", "sweep-sheet.sh", "sweep-slurm.sh"}) {
    const std::string path = std::string(SOURCE_DIR) + "/scripts/" + script;
    tools.push_back({script, {"/bin/bash", path, "--help"}, {"/bin/bash", path, "--build", BUILD_DIR, "--version"}});
  }
  // The developer's scripts answer before they build, install or run anything.
  for (const std::string script : {"install-deps.sh", "fuzz.sh", "soak.sh", "kernel-faults.sh", "division-check.sh"}) {
    const std::string path = std::string(SOURCE_DIR) + "/scripts/" + script;
    tools.push_back({script, {"/bin/bash", path, "--help"}, {"/bin/bash", path, "--version"}, false});
  }
  for (const Tool& t : tools) {
    const ChildRun help = runChild(t.help);
    EXPECT_EQ(help.status, 0) << t.name;
    EXPECT_EQ(help.err, "") << t.name;
    EXPECT_EQ(help.out.rfind("usage: ", 0), 0u) << t.name;
    EXPECT_NE(help.out.find("\nExample"), std::string::npos) << t.name << " shows no example";
    const std::set<std::string> listed = helpOptions(help.out);
    EXPECT_TRUE(listed.count("--help") && listed.count("--version")) << t.name;
    if (t.table) {
      EXPECT_EQ(listed, manualOptions(manual, t.name)) << t.name << ": --help and the manual's table differ";
    }
    const ChildRun version = runChild(t.version);
    EXPECT_EQ(version.status, 0) << t.name << ": " << version.err;
    EXPECT_EQ(version.out.rfind(t.name + " ", 0), 0u) << t.name << ": " << version.out;
  }
  // The definition format is in the planner's help, not only its options.
  const std::string plan = runChild({PLAN_BINARY, "--help"}).out;
  for (const char* word : {"growthCycles", "inputTemplate", "start:stop:step", "repulsion         = 1, 4, 16"})
    EXPECT_NE(plan.find(word), std::string::npos) << word;
  EXPECT_NE(runChild({MORPHVIEW_BINARY, "--help"}).out.find("--html OUT.html"), std::string::npos);
}

TEST(ProgramInfo, AnAnswerThatCannotBeWrittenFailsTheRun) {
  for (const Program& p : programs) {
    for (const char* word : {"--help", "--version"}) {
      ChildOptions full;
      full.stdoutPath = "/dev/full";
      EXPECT_EQ(runChild({p.binary, word}, full).status, 2) << p.name << " " << word;
    }
  }
}

// A tree exported without .git names the commit git archive wrote into .commit, or the
// release alone; never an unknown commit.
TEST(ProgramInfo, AnExportedTreeNamesItsCommitOrItsReleaseAlone) {
  const fs::path tree = fs::temp_directory_path() / ("exported_" + std::to_string(getpid()));
  fs::remove_all(tree);
  fs::create_directories(tree / "core/run");
  fs::copy_file(fs::path(SOURCE_DIR) / "core/run/version.h.in", tree / "core/run/version.h.in");
  const auto generate = [&](const std::string& commitFile) {
    if (!commitFile.empty()) std::ofstream(tree / ".commit") << commitFile;
    const fs::path header = tree / "version_info.h";
    const ChildRun r = runChild({CMAKE_BINARY, "-DSOURCE_DIR=" + tree.string(), "-DOUTPUT=" + header.string(),
                                 "-DMORPH_VERSION=1.0.0", "-P", SOURCE_DIR "/core/run/version.cmake"});
    EXPECT_EQ(r.status, 0) << r.err;
    std::ifstream in(header);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  // The git in a temporary folder finds no repository above it.
  EXPECT_NE(generate("").find("generatedCommit = \"\";"), std::string::npos);
  EXPECT_NE(generate("$Format:%H$\n").find("generatedCommit = \"\";"), std::string::npos);
  EXPECT_NE(generate("0123abcd\n").find("generatedCommit = \"0123abcd\";"), std::string::npos);
  fs::remove_all(tree);
}

// The README's first two commands: the run command installs the light set, the test command
// adds the tests' tools, and CI runs the test command as written. The install script refuses
// any other word before it installs anything.
TEST(ProgramInfo, TheReadmeCommandsInstallWhatTheyNeedAndCiRunsTheTestOne) {
  const auto text = [](const std::string& path) {
    std::ifstream in(std::string(SOURCE_DIR) + "/" + path);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  std::vector<std::string> commands;
  std::istringstream lines(text("README.md"));
  for (std::string line; commands.size() < 2 && std::getline(lines, line);)
    if (line.rfind("    ", 0) == 0) commands.push_back(line.substr(4));
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0].rfind("scripts/install-deps.sh && cmake ", 0), 0u) << commands[0];
  EXPECT_NE(commands[0].find("&& ../morphseed/morphseed "), std::string::npos) << commands[0];
  EXPECT_EQ(commands[1].rfind("scripts/install-deps.sh --tests && cmake ", 0), 0u) << commands[1];
  EXPECT_NE(commands[1].find("&& ctest --test-dir build"), std::string::npos) << commands[1];
  // The run command builds what running needs; the test command everything.
  EXPECT_NE(commands[0].find(" cmake --preset run "), std::string::npos) << commands[0];
  EXPECT_NE(commands[1].find(" cmake --preset test "), std::string::npos) << commands[1];
  EXPECT_NE(text(".ci/run").find("\n" + commands[1] + "\n"), std::string::npos)
      << ".ci/run does not run the README's test command";
  const ChildRun refused = runChild({"/bin/bash", SOURCE_DIR "/scripts/install-deps.sh", "--test"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.out, "");
  EXPECT_EQ(refused.err, "install-deps.sh: unknown arguments: --test (see --help)\n");
}

// The words mean nothing inside a run's command line: those stay refused as before.
TEST(ProgramInfo, OnlyTheLoneWordIsAnswered) {
  ChildRun r = runChild({MORPHSWEEP_BINARY, "--unit"});
  EXPECT_EQ(r.status, 0);
  EXPECT_TRUE(std::regex_match(r.out, std::regex("(scalar|avx2|avx512)\n"))) << r.out;
  for (const char* word : {"--version", "--unit"}) {
    r = runChild({MORPHSWEEP_BINARY, word, "start.3dv"});
    EXPECT_EQ(r.status, 1) << word;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind("Error #8: Unrecognized command\n", 0), 0u) << r.err;
  }
  r = runChild({MORPHSWEEP_BINARY, "-help"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("Error #8: Unrecognized command\n", 0), 0u) << r.err;
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {MORPHSEED_BINARY, "--help", "-b", "1", "1"}, {MORPHSEED_BINARY, "--Version"}, {MORPHSEED_BINARY, "-h"}}) {
    r = runChild(words);
    EXPECT_EQ(r.status, 1) << words[1];
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Unrecognized command\nAllowable parameters: \n-b batchCount cycleCount\n") << words[1];
  }
}

}  // namespace
