// morphseed's determinism pins: fixed seeds, their result files hashed (see pins.h).
#include <filesystem>

#include "batch.h"
#include "commandline.h"
#include "pins.h"

namespace fs = std::filesystem;

namespace {

// Recorded from the reference relaxation step. -t 1 adds the template and leaves the
// 3DV file as it was.
const std::vector<PinnedRun> seedRuns = {
    {"-s 1000 -b 1 28", {"-s", "1000", "-b", "1", "28"}, {{"embryo.1000.3dv", 0xb5f3bdd3e1e15a2b}}},
    {"-t 1 -s 1000 -b 1 28",
     {"-t", "1", "-s", "1000", "-b", "1", "28"},
     {{"embryo.1000.3dv", 0xb5f3bdd3e1e15a2b}, {"embryo.1000.3dvTemplate", 0x95fb98cba9cd82c6}}},
};

class SeedPins : public PinsTest {
 protected:
  void SetUp() override { enterWith("seedpins", SEED_FILE, "indexed_icosa"); }
};

// The pins are the reference step's results: grown here, in this process, with it. The
// -t 1 run writes both pinned files; the reference step is slow, so it alone is grown.
TEST_F(SeedPins, ReferenceStepGrowsThePinnedEmbryos) {
  {
    const PinnedRun& run = seedRuns.back();
    std::vector<char*> argv = referenceCommandLine("morphseed", run);
    SeedRun seedRun;
    ASSERT_EQ(parseCommandLine(static_cast<int>(argv.size()), argv.data(), seedRun), 0) << run.name;
    testing::internal::CaptureStderr();
    runBatches(seedRun);
    testing::internal::GetCapturedStderr();
    expectPinned(run, dir_, "reference step in process");
    removeResults(run);
  }
}

// The program as built, with the fast step: the -t 1 run (both files) on one thread and on
// two, the plain run on one.
TEST_F(SeedPins, ProgramGrowsThePinnedEmbryosOnOneAndTwoThreads) {
  const PinnedRun& plain = seedRuns.front();
  const PinnedRun& withTemplate = seedRuns.back();
  for (const auto& [run, threads] : {std::pair{&withTemplate, 1}, std::pair{&withTemplate, 2}, std::pair{&plain, 1}}) {
    ASSERT_EQ(runBinary(MORPHSEED_BINARY, *run, dir_, threads), 0) << run->name;
    expectPinned(*run, dir_, std::to_string(threads) + " thread(s)");
    removeResults(*run);
  }
}

}  // namespace
