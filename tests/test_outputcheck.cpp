// morphview never writes its picture over a file it reads, nor under a mesh file's name,
// and a picture too large for the memory it may have ends with the out-of-memory status.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "child_process.h"
#include "outputcheck.h"
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

}  // namespace
