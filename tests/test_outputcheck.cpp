// morphview and morphstats never write over a file they read, nor under a mesh file's
// name; a picture too large for the memory it may have ends with the out-of-memory status;
// names of any spelling are files to every tool, and no special file stops a reader.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>

#include "child_process.h"
#include "io/outputcheck.h"
#include "work_folder.h"

namespace fs = std::filesystem;

namespace {

// A tetrahedron as morphseed writes it.
const std::string tetrahedron =
    "4\n4\n"
    "1.000000 1.000000 1.000000\n0.577350 0.577350 0.577350\n"
    "-1.000000 -1.000000 1.000000\n-0.577350 -0.577350 0.577350\n"
    "-1.000000 1.000000 -1.000000\n-0.577350 0.577350 -0.577350\n"
    "1.000000 -1.000000 -1.000000\n0.577350 -0.577350 -0.577350\n"
    "3\n0 1 2\n3\n0 3 1\n3\n0 2 3\n3\n1 3 2\n";

std::string contents(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

class OutputCheck : public WorkFolderTest {
 protected:
  void SetUp() override { enterFreshFolder("outputcheck"); }
  void TearDown() override { leaveFolder(); }
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(OutputCheck, MeshExtensionsAreRefusedInAnyCase) {
  for (const char* name : {"a.3dv", "b.3DV", "runs/c.3dvTemplate", "d.3DVTEMPLATE", "e.obj", "f.Obj", "g.vtp", "h.VTP",
                           "i.pvd", "j.png.3dv"}) {
    const auto problem = view::outputProblem(name, {"x.3dv"});
    ASSERT_TRUE(problem) << name;
    EXPECT_NE(problem->find("a mesh file's extension"), std::string::npos) << *problem;
  }
  for (const char* name : {"a.png", "a.3dv.png", "a.3dvx", "obj", "a_vtp", "embryo.3dv.PNG"}) {
    EXPECT_EQ(view::outputProblem(name, {"x.3dv"}), std::nullopt) << name;
  }
}

TEST_F(OutputCheck, AnInputIsNeverTheOutputByNameOrByFile) {
  // The same words, whether or not the file is there yet.
  EXPECT_TRUE(view::outputProblem("pic", {"a.3dv", "pic"}));
  std::ofstream("mesh.dat") << tetrahedron;
  fs::create_directory("sub");
  fs::create_hard_link("mesh.dat", "hard.png");
  fs::create_symlink("mesh.dat", "soft.png");
  for (const char* output : {"./mesh.dat", "sub/../mesh.dat", "hard.png", "soft.png"}) {
    const auto problem = view::outputProblem(output, {"other.3dv", "mesh.dat"});
    ASSERT_TRUE(problem) << output;
    EXPECT_NE(problem->find("is the same file as the input 'mesh.dat'"), std::string::npos) << *problem;
  }
  // A separate file with the same bytes, or a name not yet taken, may be written.
  std::ofstream("copy.png") << tetrahedron;
  EXPECT_EQ(view::outputProblem("copy.png", {"mesh.dat"}), std::nullopt);
  EXPECT_EQ(view::outputProblem("new.png", {"mesh.dat", "missing.3dv"}), std::nullopt);
}

// The README's sheet command with its output name forgotten: the shell hands the first
// embryo to -o.
TEST_F(OutputCheck, TheToolRefusesAndLeavesEveryFileAsItWas) {
  for (const char* name : {"embryo.1000.3dv", "embryo.1001.3dv", "embryo.1002.3dv"}) std::ofstream(name) << tetrahedron;
  fs::create_hard_link("embryo.1002.3dv", "picture");
  const std::vector<std::string> before = listing();
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"--sheet", "-o", "embryo.1000.3dv", "embryo.1001.3dv", "embryo.1002.3dv"},
           {"-o", "embryo.1001.3dv", "embryo.1001.3dv"},
           {"-o", "picture", "embryo.1002.3dv"},
           {"--sheet", "--mark-bad", "-o", "./picture", "embryo.1000.3dv", "embryo.1002.3dv"}}) {
    std::vector<std::string> all{MORPHVIEW_BINARY};
    all.insert(all.end(), words.begin(), words.end());
    const ChildRun r = runChild(all);
    EXPECT_EQ(r.status, 1) << words[2];
    EXPECT_EQ(r.err.rfind("morphview: the output", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("usage: morphview"), std::string::npos) << r.err;
    EXPECT_EQ(listing(), before);
    for (const char* name : {"embryo.1000.3dv", "embryo.1001.3dv", "embryo.1002.3dv"}) {
      EXPECT_EQ(contents(name), tetrahedron) << name << " after " << words[2];
    }
  }
  // Named properly, the same sheet is drawn.
  EXPECT_EQ(runChild({MORPHVIEW_BINARY, "--sheet", "-o", "embryos.png", "embryo.1000.3dv", "embryo.1001.3dv"}).status,
            0);
  EXPECT_TRUE(fs::is_regular_file("embryos.png"));
}

TEST_F(OutputCheck, APictureTooLargeForMemoryEndsWithStatusThree) {
  if (!addressSpaceLimitsWork) GTEST_SKIP() << noAddressSpaceLimits;
  std::ofstream("a.3dv") << tetrahedron;
  // Sixteen tiles of 2048 pixels: some 200 MB of picture under a 150 MiB limit.
  std::vector<std::string> words{MORPHVIEW_BINARY, "--sheet", "--tile", "2048", "--columns", "4", "-o", "sheet.png"};
  for (int i = 0; i < 16; ++i) words.push_back("a.3dv");
  ChildOptions limited;
  limited.addressSpaceLimit = 150LL << 20;
  const ChildRun r = runChild(words, limited);
  ASSERT_TRUE(r.exited) << "ended by a signal";
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err.rfind("morphview: out of memory", 0), 0u) << r.err;
  EXPECT_EQ(listing(), std::vector<std::string>{"a.3dv"});
}

// ---- Hostile names and special files through every tool ----

ChildRun tool(std::vector<std::string> words) {
  // The fuzz targets' limit per input: a reader that waits on a pipe fails here (124).
  words.insert(words.begin(), {"/usr/bin/timeout", "10"});
  return runChild(words);
}

const std::vector<std::string> hostileNames{
    "-lead.3dv",  "{}.3dv",       "{=system(\"touch pwned\")=}.3dv", "cycle:40.3dv", "frame%03d.3dv",
    "tab\t.3dv", "line\nfeed.3dv", "latin\xe9.3dv",                   "ctl\x01.3dv", "http://127.0.0.1:9/x.3dv"};

TEST_F(OutputCheck, AnyNameIsAFileToEveryTool) {
  fs::create_directories("http:/127.0.0.1:9");
  for (const std::string& name : hostileNames) {
    std::ofstream(name) << tetrahedron;
    ChildRun r = tool({MORPHSTATS_BINARY, "-o", "t.csv", "--", name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_NE(contents("t.csv").find(",4,4,"), std::string::npos) << name;
    r = tool({MORPHSTATS_BINARY, "--series", "-o", "s.csv", "--", "7:" + name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    r = tool({MORPHVIEW_BINARY, "-o", "p.png", "--", name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    // As an output name: written under exactly that name.
    r = tool({MORPHSTATS_BINARY, "-o", name + ".csv", "--", name});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_TRUE(fs::is_regular_file(name + ".csv")) << name;
    // Without "--" a leading '-' is an option, refused as unknown.
    if (name[0] == '-') {
      EXPECT_EQ(tool({MORPHSTATS_BINARY, name}).status, 1);
    }
  }
  // A manifest named like an option is a file to the planner, not its help.
  std::ofstream("--help") << "no morphsweep call\n";
  EXPECT_EQ(tool({PLAN_BINARY, "--results", "--", "--help"}).status, 2);
  EXPECT_FALSE(fs::exists("pwned"));
}

TEST_F(OutputCheck, SpecialFilesAreRefusedAtOnceByEveryReader) {
  ASSERT_EQ(mkfifo("fifo", 0600), 0);
  fs::create_symlink("/dev/zero", "zero");
  fs::create_directory("folder");
  { std::ofstream("huge") << ""; }
  fs::resize_file("huge", 3LL << 30);  // sparse: no disk taken
  const std::vector<std::pair<std::string, std::string>> files{
      {"fifo", "is not a regular file"}, {"zero", "is not a regular file"}, {"folder", "is a folder"}, {"huge", "large|more than the"}};
  for (const auto& [file, why] : files) {
    for (const std::string ext : {".3dv", ".pvd", ".txt"}) {
      fs::remove("link" + ext);
      fs::create_symlink(file, "link" + ext);
    }
    const std::vector<std::vector<std::string>> runs{{MORPHSTATS_BINARY, "link.3dv"},
                                                     {MORPHSTATS_BINARY, "--series", "link.pvd"},
                                                     {MORPHSTATS_BINARY, "--manifest", "link.txt"},
                                                     {MORPHVIEW_BINARY, "-o", "p.png", "link.3dv"},
                                                     {MORPHVIEW_BINARY, "--movie", "m.mp4", "link.pvd"},
                                                     {PLAN_BINARY, "--results", "link.txt"}};
    for (const auto& words : runs) {
      const ChildRun r = tool(words);
      EXPECT_EQ(r.status, 2) << file << ": " << words[1] << ": " << r.err;
      EXPECT_TRUE(std::regex_search(r.err, std::regex(why))) << file << ": " << r.err;
    }
  }
  EXPECT_FALSE(fs::exists("p.png") || fs::exists("m.mp4"));
}

// morphstats under the guard morphview has: the table name forgotten before a glob, and a
// series index named as the picture of its own series.
TEST_F(OutputCheck, MorphstatsNeverWritesOverItsInputs) {
  for (const char* name : {"embryo.1000.3dv", "embryo.1001.3dv"}) std::ofstream(name) << tetrahedron;
  std::ofstream("S.pvd") << "<VTKFile type=\"Collection\"><Collection/></VTKFile>";
  fs::create_hard_link("embryo.1001.3dv", "same.csv");
  const std::vector<std::string> before = listing();
  for (const std::vector<std::string>& words : std::vector<std::vector<std::string>>{
           {"-o", "embryo.1000.3dv", "embryo.1001.3dv"},
           {"--series", "--plot", "sphericity", "-o", "S.pvd", "S.pvd"},
           {"-o", "same.csv", "embryo.1001.3dv"},
           {"--manifest", "m.txt", "-o", "m.txt"}}) {
    std::vector<std::string> all{MORPHSTATS_BINARY};
    all.insert(all.end(), words.begin(), words.end());
    const ChildRun r = runChild(all);
    EXPECT_EQ(r.status, 1) << words[1];
    EXPECT_EQ(r.err.rfind("morphstats: the output", 0), 0u) << r.err;
    EXPECT_EQ(listing(), before);
  }
  EXPECT_EQ(contents("embryo.1000.3dv"), tetrahedron);
}

// A name in the series index: tab and line feed come back to its reader; bytes XML cannot
// hold are refused before the run starts.
TEST_F(OutputCheck, SeriesIndexNamesAreEncodedOrRefusedUpFront) {
  const auto sweep = [](const std::string& input) {
    return tool({MORPHSWEEP_BINARY, "-n", "1", "-m", "1", "-t", "0", "-r", "40", "120", "5", "-g", "40", "120", "17",
                 "-b", "40", "120", "33", "-kr", "1", "-kh", "1", input, "-v", "1"});
  };
  for (const std::string& name : {std::string("tab\tline\nfeed.3dv"), std::string("a&<\"'>.3dv")}) {
    fs::copy_file(BUNDLED_EXAMPLE, name);
    ASSERT_EQ(sweep(name).status, 0) << name;
    std::string index;
    for (const auto& e : fs::directory_iterator(".")) {
      if (e.path().extension() == ".pvd") index = e.path().filename().string();
    }
    const ChildRun r = tool({MORPHSTATS_BINARY, "--series", "--", index});
    EXPECT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_NE(r.out.find("\n1,\"" + name.substr(0, 3)), std::string::npos) << r.out;
    for (const auto& e : fs::directory_iterator(".")) fs::remove_all(e.path());
  }
  for (const std::string& name : {std::string("latin\xe9.3dv"), std::string("ctl\x01.3dv"), std::string("x\xc0\xaf.3dv")}) {
    fs::copy_file(BUNDLED_EXAMPLE, name);
    const ChildRun r = sweep(name);
    EXPECT_EQ(r.status, 1) << name;
    EXPECT_NE(r.err.find("which the series index (.pvd) cannot name"), std::string::npos) << r.err;
    EXPECT_EQ(listing(), std::vector<std::string>{name});
    fs::remove(name);
  }
}

}  // namespace
