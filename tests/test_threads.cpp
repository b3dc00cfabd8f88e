// OpenMP's threads on a shared or constrained machine: idle threads wait passively unless
// the user chose, and a run whose threads cannot be created goes on with one thread and
// the same results.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "child_process.h"
#include "sweep_command.h"
#include "threads.h"

namespace fs = std::filesystem;

namespace {

TEST(Threads, StackSizeIsReadAsTheRuntimeReadsIt) {
  const struct {
    const char* omp;
    const char* gomp;
    unsigned long long bytes;
  } cases[] = {
      {"512M", nullptr, 512ULL << 20},
      {"64 k", nullptr, 64ULL << 10},
      {"100", nullptr, 100ULL << 10},
      {" 2g ", nullptr, 2ULL << 30},
      {"12B", nullptr, 12},
      {"3 m", "8M", 3ULL << 20},
      {nullptr, "8M", 8ULL << 20},
      {"5x", "8M", 8ULL << 20},
      {"-3", "8M", 8ULL << 20},
      {"", nullptr, 0},
      {"M", nullptr, 0},
      {"0", nullptr, 0},
      {"1 M B", nullptr, 0},
      {"99999999999999999999G", nullptr, 0},
      {"17179869184G", nullptr, 0},
      {nullptr, nullptr, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(requestedThreadStack(c.omp, c.gomp), c.bytes)
        << (c.omp ? c.omp : "(unset)") << " / " << (c.gomp ? c.gomp : "(unset)");
  }
}

// The probe prints the policy its runtime was loaded with: the restart is what makes the
// passive default reach the runtime, which reads it only when it is loaded.
TEST(Threads, IdleThreadsWaitPassivelyUnlessTheUserChose) {
  const auto policy = [](std::vector<std::pair<std::string, std::string>> set) {
    ChildOptions o;
    o.setEnv = std::move(set);
    o.unsetEnv = {"OMP_WAIT_POLICY", "GOMP_SPINCOUNT"};
    for (const auto& [name, value] : o.setEnv) std::erase(o.unsetEnv, name);
    const ChildRun r = runChild({WAITPOLICY_PROBE}, o);
    EXPECT_EQ(r.status, 0) << r.err;
    return r.out.substr(0, r.out.find('\n'));
  };
  EXPECT_EQ(policy({{"OMP_NUM_THREADS", "2"}}), "passive");
  EXPECT_EQ(policy({{"OMP_NUM_THREADS", "2"}, {"OMP_WAIT_POLICY", "active"}}), "active");
  EXPECT_EQ(policy({{"OMP_NUM_THREADS", "2"}, {"GOMP_SPINCOUNT", "10000"}}), "(unset)");
  // One thread never waits for another: no restart.
  EXPECT_EQ(policy({{"OMP_NUM_THREADS", "1"}}), "(unset)");
}

class ThreadsUnderAMemoryLimit : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!addressSpaceLimitsWork) GTEST_SKIP() << noAddressSpaceLimits;
    dir_ = fs::temp_directory_path() / ("threads_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "free");
    fs::create_directories(dir_ / "limited");
  }
  void TearDown() override {
    if (!dir_.empty()) fs::remove_all(dir_);
  }
  // Two threads each asking for a 1 GiB stack cannot fit under a 400 MiB address space,
  // while the run itself fits easily.
  static ChildOptions options(const fs::path& folder, bool limited) {
    ChildOptions o;
    o.folder = folder;
    o.setEnv = {{"OMP_NUM_THREADS", "2"}, {"OMP_STACKSIZE", "1G"}};
    if (limited) o.addressSpaceLimit = 400LL << 20;
    return o;
  }
  static std::string contents(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  fs::path dir_;
};

// The note of a run that fell back to one thread, its first line; empty when there is none.
std::string fallbackNote(const std::string& err, const std::string& program) {
  const std::string line = err.substr(0, err.find('\n') + 1);
  const bool isNote = line.rfind(program + ": cannot start 2 threads (", 0) == 0 &&
                      line.find("); running on one thread, with the same results\n") != std::string::npos;
  return isNote ? line : "";
}

TEST_F(ThreadsUnderAMemoryLimit, MorphsweepGoesOnWithOneThreadAndTheSameResults) {
  const std::string name = "start.3dv.n3.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv";
  for (const char* folder : {"free", "limited"}) {
    fs::copy_file(BUNDLED_EXAMPLE, dir_ / folder / "start.3dv");
    const ChildRun r =
        runChild(examplePointCommand(MORPHSWEEP_BINARY), options(dir_ / folder, std::string(folder) == "limited"));
    EXPECT_EQ(r.status, 0) << folder << ": " << r.err;
    const std::string note = fallbackNote(r.err, "morphsweep");
    EXPECT_EQ(note.empty(), std::string(folder) == "free") << r.err;
    EXPECT_EQ(r.err.substr(note.size()), "Embryo 1\n.done\n");
  }
  ASSERT_TRUE(fs::exists(dir_ / "free" / name));
  EXPECT_EQ(contents(dir_ / "limited" / name), contents(dir_ / "free" / name));
}

TEST_F(ThreadsUnderAMemoryLimit, MorphseedGoesOnWithOneThreadAndTheSameResults) {
  for (const char* folder : {"free", "limited"}) {
    fs::copy_file(SEED_FILE, dir_ / folder / "indexed_icosa");
    const ChildRun r = runChild({MORPHSEED_BINARY, "-s", "7", "-b", "1", "12"},
                                options(dir_ / folder, std::string(folder) == "limited"));
    EXPECT_EQ(r.status, 0) << folder << ": " << r.err;
    EXPECT_EQ(fallbackNote(r.err, "morphseed").empty(), std::string(folder) == "free") << r.err;
  }
  ASSERT_TRUE(fs::exists(dir_ / "free" / "embryo.7.3dv"));
  EXPECT_EQ(contents(dir_ / "limited" / "embryo.7.3dv"), contents(dir_ / "free" / "embryo.7.3dv"));
}

}  // namespace
