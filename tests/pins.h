// Determinism pins: fixed runs whose result files must hash to values recorded once from
// the reference relaxation step. Identity between two runs, or between the fast and the
// reference step, cannot see a change that moves both (a build that contracts a*b+c into
// one rounding, say); a pinned hash can.
//
// A changed pin means changed results. To re-pin after a change that is meant to change
// them: run the pin test, take the hashes its failures print ("got 0x..."), put them in
// the table, and say in the commit message why every embryo now grows differently.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fastforces.h"
#include "store_fixture.h"
#include "work_folder.h"

// One result file and the FNV-1a 64 hash of its bytes.
struct Pin {
  const char* file;
  std::uint64_t hash;
};

// The words after the program name, and the files the run writes with their hashes.
struct PinnedRun {
  const char* name;
  std::vector<std::string> words;
  std::vector<Pin> pins;
};

// FNV-1a, 64 bits, over the file's bytes; 0 for a file that cannot be read.
inline std::uint64_t fnv1a64(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (std::istreambuf_iterator<char> c(in), end; c != end; ++c) {
    hash ^= static_cast<unsigned char>(*c);
    hash *= 0x100000001b3ULL;
  }
  return hash;
}

inline std::string hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016" PRIx64, value);
  return text;
}

// Every pinned file of `run` exists in `dir` with its pinned hash.
inline void expectPinned(const PinnedRun& run, const std::filesystem::path& dir, const std::string& how) {
  for (const Pin& pin : run.pins) {
    const std::uint64_t got = fnv1a64(dir / pin.file);
    EXPECT_EQ(hex(got), hex(pin.hash)) << run.name << ", " << how << ": " << pin.file << " got " << hex(got);
  }
}

// A fresh working folder holding the run's input as `inputName`; each run starts from a
// reset store with the reference step forced, and the default step is back afterwards.
class PinsTest : public WorkFolderTest {
 protected:
  void enterWith(const char* prefix, const char* input, const char* inputName) {
    enterFreshFolder(prefix);
    std::filesystem::copy_file(input, dir_ / inputName);
  }
  void TearDown() override {
    E.forceOptions = fastForceOptions();
    leaveFolder();
  }
  // The program name and the run's words as a command line for an in-process run.
  std::vector<char*> referenceCommandLine(const char* program, const PinnedRun& run) {
    resetStore();
    E.forceOptions.reference = true;
    words_ = {program};
    words_.insert(words_.end(), run.words.begin(), run.words.end());
    std::vector<char*> argv;
    for (std::string& w : words_) argv.push_back(w.data());
    return argv;
  }
  // Removes the run's result files, so that the next run must write them anew.
  void removeResults(const PinnedRun& run) {
    for (const Pin& pin : run.pins) std::filesystem::remove(dir_ / pin.file);
  }

 private:
  std::vector<std::string> words_;  // the in-process command line points into these
};

// Runs `binary` with the run's words in `dir`, with OMP_NUM_THREADS set to `threads` and
// both output streams discarded; returns the exit status (-1 when it did not exit).
inline int runBinary(const char* binary, const PinnedRun& run, const std::filesystem::path& dir, int threads) {
  const pid_t child = fork();
  if (child == 0) {
    std::vector<std::string> words = {binary};
    words.insert(words.end(), run.words.begin(), run.words.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    const int null = open("/dev/null", O_WRONLY);
    if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0 || chdir(dir.c_str()) != 0) _exit(126);
    setenv("OMP_NUM_THREADS", std::to_string(threads).c_str(), 1);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
