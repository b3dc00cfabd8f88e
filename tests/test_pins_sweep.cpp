// morphsweep's determinism pins: fixed sweep points on the bundled example, their result
// files hashed (see pins.h).
#include <filesystem>

#include "batch.h"
#include "sweepwords.h"
#include "pins.h"

namespace fs = std::filesystem;

namespace {

// Recorded from the reference relaxation step. The second point starts with a red
// lifespan of 0, so its red episodes are renewed, and asks for the template.
const std::vector<PinnedRun> sweepRuns = {
    {"12 cycles, no template",
     {"-n",  "12", "-m", "1",  "-t",  "0",  "-r",  "40", "120", "5", "-g",       "40",
      "120", "17", "-b", "40", "120", "33", "-kr", "2",  "-kh", "3", "start.3dv"},
     {{"start.3dv.n12.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv", 0x6d584d1c8ec4068b},
      {"start.3dv.n12.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.obj", 0x208460533aa3d0e8}}},
    {"8 cycles, red lifespan 0, template",
     {"-n", "8",  "-m", "2",  "-t", "1",  "-r",  "0", "4",   "5", "-g",       "40",
      "60", "17", "-b", "40", "80", "33", "-kr", "4", "-kh", "1", "start.3dv"},
     {{"start.3dv.n8.m2.r1.4.5.g.40.60.17.b.40.80.33.kr.1.kh.4.3dv", 0x37478f779a1694a2},
      {"start.3dv.n8.m2.r1.4.5.g.40.60.17.b.40.80.33.kr.1.kh.4.obj", 0x70786b49a1a3d585},
      {"start.3dv.n8.m2.r1.4.5.g.40.60.17.b.40.80.33.kr.1.kh.4.3dvTemplate", 0x9aa73c04f429232a}}},
};

class SweepPins : public PinsTest {
 protected:
  void SetUp() override { enterWith("sweeppins", BUNDLED_EXAMPLE, "start.3dv"); }
};

// The pins are the reference step's results: grown here, in this process, with it.
TEST_F(SweepPins, ReferenceStepGrowsThePinnedPoints) {
  for (const PinnedRun& run : sweepRuns) {
    std::vector<char*> argv = referenceCommandLine("morphsweep", run);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    SweepRun sweep;
    const int status = parseCommandLine(static_cast<int>(argv.size()), argv.data(), sweep);
    if (status == 0) {
      resetStore(sweep.settings());
      growEmbryo(E, sweep);
    }
    testing::internal::GetCapturedStdout();
    testing::internal::GetCapturedStderr();
    ASSERT_EQ(status, 0) << run.name;
    expectPinned(run, dir_, "reference step in process");
    removeResults(run);
  }
}

// The program as built, with the fast step, on one thread and on two.
TEST_F(SweepPins, ProgramGrowsThePinnedPointsOnOneAndTwoThreads) {
  for (const int threads : {1, 2}) {
    for (const PinnedRun& run : sweepRuns) {
      ASSERT_EQ(runBinary(MORPHSWEEP_BINARY, run, dir_, threads), 0) << run.name;
      expectPinned(run, dir_, std::to_string(threads) + " thread(s)");
      removeResults(run);
    }
  }
}

}  // namespace
