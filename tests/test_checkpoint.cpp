// Checkpoints: a run stopped (by SIGUSR1 at the end of a cycle, or by SIGKILL at any
// moment) and resumed at another thread count writes the very files of the unbroken run;
// every damaged, foreign or mismatched checkpoint is refused with nothing written.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <regex>
#include <optional>
#include <set>
#include <sstream>
#include <thread>

#include "checkpoint.h"
#include "child_process.h"
#include "failure.h"
#include "growth.h"
#include "seedfile.h"
#include "sweep_command.h"
#include "work_folder.h"

namespace fs = std::filesystem;

namespace {

using Words = std::vector<std::string>;
using Files = std::map<std::string, std::string>;

Files folderFiles(const fs::path& folder) {
  Files files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    files[entry.path().filename().string()] = bytes.str();
  }
  return files;
}

// The two programs' runs: the words, and the one input file each needs.
struct Program {
  std::string binary;
  Words words;
  std::string input, inputSource;
};

Program seedProgram(int cycles) {
  return {MORPHSEED_BINARY, {"-s", "1000", "-b", "2", std::to_string(cycles), "-t", "1", "-v", "5"}, "indexed_icosa",
          SEED_FILE};
}
Program sweepProgram(int cycles) {
  Words w = examplePointWords({cycles, true});
  w.insert(w.end(), {"-v", "7"});
  return {MORPHSWEEP_BINARY, w, "start.3dv", BUNDLED_EXAMPLE};
}
// Each test runs the programs to their end several times. Under AddressSanitizer that takes
// ten times as long, so there they grow shorter runs, with the stops (bytes of results
// written before SIGUSR1) placed for them: early and late in the first embryo and in the
// second (morphseed), early and late in the point (morphsweep).
#if defined(__SANITIZE_ADDRESS__)
const Program seedRun = seedProgram(12), sweepRun = sweepProgram(15);
const std::vector<std::size_t> seedStops{5000, 20000, 150000}, sweepStops{20000, 100000};
#else
const Program seedRun = seedProgram(40), sweepRun = sweepProgram(60);
const std::vector<std::size_t> seedStops{20000, 400000, 2600000}, sweepStops{100000, 900000};
#endif

class Checkpoint : public WorkFolderTest {
 protected:
  void SetUp() override { enterFreshFolder("checkpoint"); }
  void TearDown() override { leaveFolder(); }

  fs::path folder(const std::string& name, const Program& p) {
    const fs::path f = dir_ / name;
    fs::create_directories(f);
    fs::copy_file(p.inputSource, f / p.input);
    return f;
  }
  static Words command(const Program& p, const Words& extra) {
    Words w{p.binary};
    w.insert(w.end(), p.words.begin(), p.words.end());
    w.insert(w.end(), extra.begin(), extra.end());
    return w;
  }
  static ChildRun run(const Program& p, const fs::path& f, const Words& extra, const std::string& threads,
                      const std::string& fault = "") {
    ChildOptions o;
    o.folder = f;
    o.setEnv = {{"OMP_NUM_THREADS", threads}};
    if (!fault.empty()) o.setEnv.push_back({"MORPH_TEST_FAULT", fault});
    return runChild(command(p, extra), o);
  }
  static std::string checkpointIn(const fs::path& f) {
    for (const auto& entry : fs::directory_iterator(f)) {
      if (entry.path().extension() == ".ckpt") return entry.path().filename().string();
    }
    return "";
  }
};

// SIGUSR1 raised once so many bytes of results are written stops the run after that cycle;
// the resume at the other thread count finishes it.
TEST_F(Checkpoint, SignalledStopsResumeToTheUnbrokenFiles) {
  for (const Program* p : {&seedRun, &sweepRun}) {
    const fs::path whole = folder(p == &seedRun ? "seed" : "sweep", *p);
    ASSERT_EQ(run(*p, whole, {}, "1").status, 0);
    const Files expected = folderFiles(whole);
    // Early in the first embryo, late in it, and (for morphseed) in the second.
    const std::vector<std::size_t>& stops = p == &seedRun ? seedStops : sweepStops;
    std::set<std::string> where;
    for (std::size_t n = 0; n < stops.size(); ++n) {
      SCOPED_TRACE(p->binary + " stopped after " + std::to_string(stops[n]) + " bytes");
      const fs::path f = folder("stop" + std::to_string(n) + (p == &seedRun ? "seed" : "sweep"), *p);
      const std::string before = n % 2 ? "2" : "1", after = n % 2 ? "1" : "2";
      const ChildRun stopped = run(*p, f, {"--checkpoint", "3"}, before, "signal=USR1@" + std::to_string(stops[n]));
      ASSERT_EQ(stopped.status, 75) << stopped.err;
      where.insert(stopped.err.substr(stopped.err.find("stopped by a signal")));
      const std::string saved = checkpointIn(f);
      ASSERT_FALSE(saved.empty());
      const ChildRun resumed = run(*p, f, {"--resume", saved, "--checkpoint", "5"}, after);
      ASSERT_EQ(resumed.status, 0) << resumed.err;
      EXPECT_TRUE(folderFiles(f) == expected) << "files differ from the unbroken run";
    }
    EXPECT_EQ(where.size(), stops.size()) << "two stops fell at the same cycle";
  }
}

// SIGKILL at random moments with a checkpoint after every cycle: resumed again and again,
// alternating 1 and 2 threads, the run ends with the unbroken files and nothing else.
TEST_F(Checkpoint, KilledRunsResumeToTheUnbrokenFiles) {
  const unsigned seed = std::random_device{}();
  SCOPED_TRACE("kill moments from seed " + std::to_string(seed));
  std::mt19937 moments(seed);
  for (const Program* p : {&seedRun, &sweepRun}) {
    const std::string name = p == &seedRun ? "seed" : "sweep";
    const fs::path whole = folder(name, *p), f = folder("killed" + name, *p);
    ASSERT_EQ(run(*p, whole, {}, "2").status, 0);
    const int longest = p == &seedRun ? 3000 : 400;  // ms, about the unbroken run's time
    for (int round = 0;; ++round) {
      const std::string saved = checkpointIn(f);
      Words extra{"--checkpoint", "1"};
      if (!saved.empty()) extra.insert(extra.end(), {"--resume", saved});
      const Words words = command(*p, extra);
      const pid_t pid = fork();
      if (pid == 0) {
        if (chdir(f.c_str()) != 0) _exit(126);
        setenv("OMP_NUM_THREADS", round % 2 ? "2" : "1", 1);
        if (!freopen("/dev/null", "w", stdout) || !freopen("/dev/null", "w", stderr)) _exit(126);
        std::vector<char*> argv;
        for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
        argv.push_back(nullptr);
        execv(argv[0], argv.data());
        _exit(127);
      }
      // Three kills, then the run may end.
      if (round < 3) {
        std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<>(50, longest)(moments)));
        kill(pid, SIGKILL);
      }
      int status = 0;
      waitpid(pid, &status, 0);
      if (WIFEXITED(status)) {
        ASSERT_EQ(WEXITSTATUS(status), 0) << "round " << round;
        break;
      }
    }
    Files got = folderFiles(f);
    const Files expected = folderFiles(whole);
    // The temporaries of killed runs stay until they are a minute old, as after any SIGKILL.
    std::erase_if(got, [](const auto& file) { return std::regex_search(file.first, std::regex("\\.tmp[0-9]+\\.[0-9]+$")); });
    for (const auto& [name, bytes] : got) {
      EXPECT_TRUE(expected.count(name) && expected.at(name) == bytes) << p->binary << ": " << name << " differs";
    }
    for (const auto& [name, bytes] : expected) EXPECT_TRUE(got.count(name)) << p->binary << ": " << name << " missing";
  }
}

// Every damaged or foreign checkpoint is refused naming the file, and the embryo it was to
// fill stays as it was.
TEST(CheckpointFile, DamagedOrForeignFilesAreRefused) {
  Embryo grown(seedRules);
  grown.random.seed(7);
  readSeedIntoStructs(grown, SEED_FILE);
  for (int c = 0; c < 3; ++c) growthCycle(grown);
  checkpointRun run{"morphseed", "1.0.0", {"-b", "1", "3"}, 1, 7, 0, 3, true, std::vector<int>(grown.numVertices, 1), {0, 3}};
  const std::vector<unsigned char> good = encodeCheckpoint(grown, run);

  // What comes back is what went in: the same bytes again.
  Embryo back(seedRules);
  const checkpointRun read = decodeCheckpoint(good, "a.ckpt", back);
  EXPECT_EQ(encodeCheckpoint(back, read), good);

  auto refusal = [&](const std::vector<unsigned char>& bytes) {
    Embryo target(seedRules);
    try {
      decodeCheckpoint(bytes, "a.ckpt", target);
    } catch (const runError& error) {
      EXPECT_EQ(error.status(), exitBadFile);
      EXPECT_EQ(target.numVertices, seedRules.startNumVertices);
      EXPECT_EQ(target.headTriangle, nullptr);
      return std::string(error.what());
    }
    return std::string("accepted");
  };
  for (std::size_t length = 0; length < good.size(); ++length) {
    const std::string why = refusal({good.begin(), good.begin() + static_cast<long>(length)});
    ASSERT_EQ(why.rfind("a.ckpt: ", 0), 0u) << "truncated to " << length << ": " << why;
  }
  struct Damage {
    std::size_t at;
    unsigned char value;
    const char* says;
  };
  for (const Damage& d : {Damage{8, 3, "format version 2"}, Damage{0, 'X', "not a checkpoint"},
                          Damage{good.size() / 2, 0x5a, "checksum does not match"}}) {
    std::vector<unsigned char> bad = good;
    bad[d.at] ^= d.value;
    EXPECT_NE(refusal(bad).find(d.says), std::string::npos) << d.says;
  }
  Embryo sweep(sweepRules);
  EXPECT_THROW(decodeCheckpoint(good, "a.ckpt", sweep), runError);
  run.program = "morphsweep";
  EXPECT_NE(refusal(encodeCheckpoint(grown, run)).find("a checkpoint of morphsweep, not of morphseed"), std::string::npos);
}

// A resume that does not match the run it continues, or continues a finished one, is
// refused with status 2, and the folder stays as it was.
TEST_F(Checkpoint, MismatchedResumesChangeNothing) {
  const fs::path f = folder("seed", seedRun);
  ASSERT_EQ(run(seedRun, f, {"--checkpoint", "2"}, "1", "signal=USR1@20000").status, 75);
  const std::string saved = checkpointIn(f);
  fs::copy_file(f / saved, dir_ / "kept.ckpt", fs::copy_options::overwrite_existing);
  fs::last_write_time(dir_ / "kept.ckpt", fs::last_write_time(f / saved));
  auto refusedWith = [&](const Words& extra, const std::string& says) {
    const Files before = folderFiles(f);
    Program changed = seedRun;
    changed.words = extra;
    const ChildRun r = run(changed, f, {"--resume", saved}, "1");
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_NE(r.err.find(saved + ": " + says), std::string::npos) << r.err;
    EXPECT_TRUE(folderFiles(f) == before);
  };
  Words longer = seedRun.words, shorter = seedRun.words;
  const std::string cycles = seedRun.words[4], more = std::to_string(std::stoi(cycles) + 1);
  longer[4] = more;
  shorter.resize(shorter.size() - 2);
  refusedWith(longer, "word 5 of the command line is '" + more + "', the checkpoint's run had '" + cycles + "'");
  refusedWith(shorter, "the command line has 7 words");
  ASSERT_EQ(run(seedRun, f, {"--resume", saved}, "2").status, 0);
  EXPECT_FALSE(fs::exists(f / saved)) << "the checkpoint outlived the results";
  // The same checkpoint again, after its run finished.
  fs::rename(dir_ / "kept.ckpt", f / saved);
  refusedWith(seedRun.words, "the run it records has finished past it: embryo.1000.3dvTemplate was written after it");
}

// Stopped by Ctrl-C (130) or SIGUSR1 (75), a run resumes from its checkpoint by "--resume
// FILE" alone, which takes up the words the checkpoint records, or by its own words in
// another order, to the unbroken run's files.
TEST_F(Checkpoint, ResumesAsAPersonGivesThem) {
  const Words reordered{"-v", "5", "-t", "1", "-b", "2", seedRun.words[4], "-s", "1000"};
  struct Case {
    const Program* program;
    std::string signal;
    int status;
    std::string says;
    std::optional<Words> words;  // the resume's words; none: "--resume FILE" alone
  } cases[] = {
      {&seedRun, "INT", 130, "interrupted after cycle", std::nullopt},
      {&seedRun, "USR1", 75, "stopped by a signal after cycle", reordered},
      {&sweepRun, "INT", 130, "interrupted after cycle", std::nullopt},
  };
  for (const Case& c : cases) {
    const std::string name = c.program == &seedRun ? "seed" : "sweep";
    SCOPED_TRACE(name + " " + c.signal);
    const fs::path whole = folder(name + c.signal + "whole", *c.program);
    ASSERT_EQ(run(*c.program, whole, {}, "1").status, 0);
    const fs::path f = folder(name + c.signal, *c.program);
    const ChildRun stopped = run(*c.program, f, {"--checkpoint", "3"}, "1", "signal=" + c.signal + "@20000");
    ASSERT_EQ(stopped.status, c.status) << stopped.err;
    EXPECT_NE(stopped.err.find(c.says), std::string::npos) << stopped.err;
    const std::string saved = checkpointIn(f);
    ASSERT_FALSE(saved.empty());
    Program given = *c.program;
    given.words = c.words.value_or(Words{});
    const ChildRun resumed = run(given, f, {"--resume", saved}, "2");
    ASSERT_EQ(resumed.status, 0) << resumed.err;
    if (!c.words) {
      Words shown = command(*c.program, {"--resume", saved});
      std::string line;
      for (const std::string& w : shown) line += (line.empty() ? "" : " ") + w;
      EXPECT_NE(resumed.err.find(name == "seed" ? "morphseed: resuming " + line : "morphsweep: resuming " + line),
                std::string::npos)
          << resumed.err;
    }
    EXPECT_TRUE(folderFiles(f) == folderFiles(whole)) << "files differ from the unbroken run";
  }
}

// A run with snapshots resumed in another folder would go on with an index listing
// snapshots that are only in the first: refused before any cycle, naming the checkpoint and
// what is missing, with nothing written.
TEST_F(Checkpoint, ASeriesResumedInAnotherFolderIsRefused) {
  for (const Program* p : {&seedRun, &sweepRun}) {
    SCOPED_TRACE(p->binary);
    const std::string name = p == &seedRun ? "seed" : "sweep";
    const fs::path first = folder("first" + name, *p), other = folder("other" + name, *p);
    ASSERT_EQ(run(*p, first, {"--checkpoint", "3"}, "1", "signal=USR1@20000").status, 75);
    const std::string saved = checkpointIn(first);
    ASSERT_FALSE(saved.empty());
    fs::copy_file(first / saved, other / saved);
    const Files before = folderFiles(other);
    const ChildRun r = run(*p, other, {"--resume", saved}, "1");
    EXPECT_EQ(r.status, 2) << r.err;
    const std::string stem = saved.substr(0, saved.size() - 5);  // without ".ckpt"
    EXPECT_NE(r.err.find(saved + ": its snapshot"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(stem + ".c0.vtp"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("not in this folder"), std::string::npos) << r.err;
    EXPECT_TRUE(folderFiles(other) == before) << "something was written";
  }
}

}  // namespace
