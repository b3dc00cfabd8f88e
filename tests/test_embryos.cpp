// Several embryos in one process: grown interleaved cycle by cycle and at once in two
// threads, each must write exactly what its program writes for it alone.
#include <gtest/gtest.h>
#include <morph/embryo.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <thread>

#include "child_process.h"
#include "sweep_command.h"
#include "work_folder.h"

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// The one file in the folder with this ending.
fs::path onlyFileEndingIn(const fs::path& folder, const std::string& ending) {
  fs::path found;
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0) {
      EXPECT_TRUE(found.empty()) << "two files end in " << ending;
      found = entry.path();
    }
  }
  return found;
}

constexpr int seedCycles = 14;

// One embryo of each program, as the tests grow them.
struct pair {
  morph::embryo seedA, seedB, sweep;
};

class Embryos : public WorkFolderTest {
 protected:
  void SetUp() override {
    enterFreshFolder("embryos");
    fs::copy_file(SEED_FILE, "indexed_icosa");
    fs::create_directory("sweep");
    fs::copy_file(BUNDLED_EXAMPLE, "sweep/example");
  }
  void TearDown() override { leaveFolder(); }

  static morph::sweepSettings exampleSettings() {
    morph::sweepSettings s;
    s.red = {40, 120, 5};
    s.green = {40, 120, 17};
    s.blue = {40, 120, 33};
    s.forces = {.attraction = 3, .repulsion = 2};
    return s;
  }
  pair fresh() const {
    return {morph::embryo::fromSeed("indexed_icosa", 1000), morph::embryo::fromSeed("indexed_icosa", 1001),
            morph::embryo::fromTemplate("sweep/example", exampleSettings())};
  }

  // What the programs write for each embryo alone.
  void expectProgramFiles(const pair& grown) const {
    const ChildRun seed = runChild({MORPHSEED_BINARY, "-s", "1000", "-b", "2", std::to_string(seedCycles), "-t", "1"});
    ASSERT_EQ(seed.status, 0) << seed.err;
    // The second embryo of a batch starts with what the first left, as fromSeed's
    // `previous` gives it; on its own, seed 1001 starts afresh.
    fs::create_directory("alone");
    fs::copy_file("indexed_icosa", "alone/indexed_icosa");
    ChildOptions inAlone;
    inAlone.folder = "alone";
    const ChildRun alone =
        runChild({MORPHSEED_BINARY, "-s", "1001", "-b", "1", std::to_string(seedCycles), "-t", "1"}, inAlone);
    ASSERT_EQ(alone.status, 0) << alone.err;
    grown.seedA.write("a.3dv");
    grown.seedA.write("a.3dvTemplate");
    grown.seedB.write("b.3dv");
    grown.seedB.write("b.3dvTemplate");
    EXPECT_EQ(readFile("a.3dv"), readFile("embryo.1000.3dv"));
    EXPECT_EQ(readFile("a.3dvTemplate"), readFile("embryo.1000.3dvTemplate"));
    EXPECT_EQ(readFile("b.3dv"), readFile("alone/embryo.1001.3dv"));
    EXPECT_EQ(readFile("b.3dvTemplate"), readFile("alone/embryo.1001.3dvTemplate"));

    examplePoint p;
    p.cycles = static_cast<int>(grown.sweep.cycle());
    p.writeTemplate = true;
    p.input = "sweep/example";
    const ChildRun sweep = runChild(examplePointCommand(MORPHSWEEP_BINARY, p));
    ASSERT_EQ(sweep.status, 0) << sweep.err;
    for (const std::string ending : {".3dv", ".obj", ".3dvTemplate"}) {
      const fs::path program = onlyFileEndingIn("sweep", ending);
      grown.sweep.write("library" + ending);
      EXPECT_EQ(readFile("library" + ending), readFile(program)) << ending;
    }
  }
};

TEST_F(Embryos, InterleavedCycleByCycleEachEqualsItsSoloRun) {
  pair grown = fresh();
  for (int c = 0; c < seedCycles; ++c) {
    grown.seedA.grow();
    grown.sweep.grow(c < 3 ? 1 : 0);
    grown.seedB.grow();
  }
  expectProgramFiles(grown);
}

TEST_F(Embryos, TwoThreadsAtOnceEachEqualsItsSoloRun) {
  pair grown = fresh();
  std::thread other([&] {
    grown.seedB.grow(seedCycles);
    grown.sweep.grow(3);
  });
  grown.seedA.grow(seedCycles);
  other.join();
  expectProgramFiles(grown);
}

TEST_F(Embryos, CopiesAreIndependentAndABatchCarriesItsEpisodes) {
  morph::embryo first = morph::embryo::fromSeed("indexed_icosa", 1000);
  first.grow(seedCycles);
  morph::embryo branch = first;
  branch.grow(2);
  EXPECT_EQ(first.cycle(), static_cast<unsigned>(seedCycles));
  EXPECT_EQ(branch.cycle(), static_cast<unsigned>(seedCycles + 2));
  EXPECT_NE(first.positions(), branch.positions());
  // Embryo 2 of "-s 1000 -b 2" is seed 1001 starting from what embryo 1 left.
  morph::embryo second = morph::embryo::fromSeed("indexed_icosa", 1001, &first);
  second.grow(seedCycles);
  second.write("second.3dv");
  ASSERT_EQ(runChild({MORPHSEED_BINARY, "-s", "1000", "-b", "2", std::to_string(seedCycles)}).status, 0);
  EXPECT_EQ(readFile("second.3dv"), readFile("embryo.1001.3dv"));
  EXPECT_THROW(morph::embryo::fromSeed("no-such-seed", 1), morph::error);
  try {
    first.write("x.unknown");
    ADD_FAILURE() << "an unknown ending was written";
  } catch (const morph::error& e) {
    EXPECT_EQ(e.status(), 1);
  }
}

TEST_F(Embryos, LoadedFilesHoldWhatWasGrownAndRefuseToGrow) {
  morph::embryo grown = morph::embryo::fromSeed("indexed_icosa", 1000);
  grown.grow(9);
  grown.write("grown.vtp");
  grown.write("grown.3dv");
  const morph::embryo snapshot = morph::embryo::load("grown.vtp");
  EXPECT_EQ(snapshot.positions(), grown.positions());
  EXPECT_EQ(snapshot.triangles(), grown.triangles());
  EXPECT_EQ(snapshot.levels(), grown.levels());
  EXPECT_EQ(snapshot.tJunctions(), grown.tJunctions());
  EXPECT_EQ(snapshot.birthCycles(), grown.birthCycles());
  EXPECT_EQ(snapshot.triangleAges(), grown.triangleAges());
  EXPECT_EQ(snapshot.seed(), std::optional<unsigned>(1000));
  EXPECT_EQ(snapshot.cycle(), 9u);
  EXPECT_EQ(snapshot.measures(), grown.measures());
  morph::embryo result = morph::embryo::load("grown.3dv");
  EXPECT_TRUE(result.levels().empty() && result.birthCycles().empty() && !result.cycleKnown());
  EXPECT_EQ(result.triangles(), grown.triangles());
  EXPECT_NE(result.notGrowable(), "");
  EXPECT_THROW(result.grow(), morph::error);
  EXPECT_THROW(morph::embryo::load("grown.3dv", "template"), morph::error);
}

// Each failure says its kind, whatever its message: a caller branches on the kind.
TEST_F(Embryos, FailuresCarryTheirKindBesideTheStatus) {
  std::ofstream("bad-seed") << "a seed it is not\n";
  std::ofstream("bad.vtp") << "<VTKFile";
  std::ofstream("bad.ckpt") << "a checkpoint it is not";
  const morph::embryo seed = morph::embryo::fromSeed("indexed_icosa", 1);
  using morph::failure;
  const struct {
    std::function<void()> call;
    failure kind;
    int status;
  } cases[] = {
      {[] { morph::embryo::fromSeed("no-such-seed", 1); }, failure::open, 2},
      {[] { morph::embryo::fromSeed(".", 1); }, failure::open, 2},
      {[] { morph::embryo::fromSeed("bad-seed", 1); }, failure::malformed, 2},
      {[] { morph::embryo::fromTemplate("none.3dv", {}); }, failure::open, 2},
      {[] { morph::embryo::fromTemplate(".", {}); }, failure::open, 2},
      {[] { morph::embryo::fromTemplate("bad-seed", {}); }, failure::malformed, 2},
      {[] { morph::embryo::load("none.vtp"); }, failure::open, 2},
      {[] { morph::embryo::load("."); }, failure::open, 2},
      {[] { morph::embryo::load("bad.vtp"); }, failure::malformed, 2},
      {[] { morph::embryo::load("none.ckpt"); }, failure::open, 2},
      {[] { morph::embryo::load(".", "checkpoint"); }, failure::open, 2},
      {[] { morph::embryo::load("bad.ckpt"); }, failure::malformed, 2},
      {[] { morph::embryo::load("bad.vtp", "mesh"); }, failure::commandLine, 1},
      {[&] { seed.write("no/x.3dv"); }, failure::write, 2},
      {[&] { seed.write("x.unknown"); }, failure::commandLine, 1},
  };
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    try {
      cases[i].call();
      ADD_FAILURE() << "case " << i << " did not fail";
    } catch (const morph::error& e) {
      EXPECT_EQ(e.kind(), cases[i].kind) << "case " << i << ": " << e.what();
      EXPECT_EQ(e.status(), cases[i].status) << "case " << i << ": " << e.what();
    }
  }
}

TEST_F(Embryos, AStopPutsTheEmbryoBackToItsLastWholeCycle) {
  // A morphseed cycle asks 22 times (before it, before each of its 20 relaxation steps and
  // before its diffusion), a morphsweep one 21: stops before a cycle, among its relaxation
  // steps and before the diffusion, each of the next growth's cycles as if none had been.
  struct stopCase {
    bool sweep;
    int stopAt;
  };
  for (const stopCase c : {stopCase{false, 1}, {false, 2}, {false, 21}, {false, 22}, {false, 23}, {false, 90},
                           {true, 5}, {true, 22}, {true, 42}}) {
    pair grown = fresh();
    morph::embryo& e = c.sweep ? grown.sweep : grown.seedA;
    const int cycles = c.sweep ? 3 : seedCycles;
    int asked = 0;
    EXPECT_THROW(e.grow(cycles, [&] { return ++asked == c.stopAt; }), morph::stopped);
    EXPECT_EQ(e.cycle(), static_cast<unsigned>((c.stopAt - 1) / (c.sweep ? 21 : 22))) << c.stopAt;
    e.grow(cycles - static_cast<int>(e.cycle()));
    pair straight = fresh();
    (c.sweep ? straight.sweep : straight.seedA).grow(cycles);
    for (const std::string ending : {".3dvTemplate", ".vtp"}) {
      e.write("stopped" + ending);
      (c.sweep ? straight.sweep : straight.seedA).write("straight" + ending);
      EXPECT_EQ(readFile("stopped" + ending), readFile("straight" + ending)) << c.stopAt << ending;
    }
  }
}

}  // namespace
