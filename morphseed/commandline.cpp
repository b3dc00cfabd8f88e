#include "commandline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "episodewords.h"
#include "failure.h"
#include "parameters.h"
#include "rules.h"
#include "seedfile.h"
#include "series.h"
#include "wholenumber.h"

namespace {

int refuseCommandLine() {
  std::fprintf(stderr, "Unrecognized command\n");
  std::fprintf(stderr, "Allowable parameters: \n");
  std::fprintf(stderr, "-b batchCount cycleCount\n");
  return exitBadCommandLine;
}

// A bad -t or -s value gets a message of its own and the usage of every flag; a word that
// is no flag at all keeps the short refusal above.
int refuseValue(const std::string& problem) {
  std::fprintf(stderr, "%s: %s\n", seedRules.programName, problem.c_str());
  std::fprintf(stderr, "Allowable parameters: \n");
  std::fprintf(stderr, "-b batchCount cycleCount\n");
  std::fprintf(stderr, "-t 0|1    1: also write each embryo's template, embryo.<seed>.3dvTemplate\n");
  std::fprintf(stderr, "-s seed   the first embryo's seed (0..%d), later ones seed+1, ...; default: the clock\n",
               std::numeric_limits<int>::max());
  return exitBadCommandLine;
}

// A bad -v value: the usage above and the line of the flag that was wrong.
int refuseInterval(const std::string& problem) {
  const int status = refuseValue(problem);
  std::fprintf(stderr, "%s", snapshotUsage);
  return status;
}

// A bad --seed-file: the usage above and the line of that flag.
int refuseSeedFile(const std::string& problem) {
  const int status = refuseValue(problem);
  std::fprintf(stderr, "--seed-file PATH   the seed surface (default: %s in the working folder)\n", seedFileName);
  return status;
}

// A bad --episodes: the usage above and the line of that flag.
int refuseEpisodes(const std::string& problem) {
  const int status = refuseValue("--episodes: " + problem);
  std::fprintf(stderr, "%s", episodesUsage);
  return status;
}

bool isFlag(const char* word, const char* lower, const char* upper) {
  return std::strcmp(word, lower) == 0 || std::strcmp(word, upper) == 0;
}

}  // namespace

std::optional<int> seedOf(int first, long long e) {
  const long long seed = static_cast<long long>(first) + e - 1;
  if (seed > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(seed);
}

int parseCommandLine(int argc, char** argv, SeedRun& run, bool notices) {
  run = SeedRun{};
  int& batches = run.batches;
  int& batchCycles = run.batchCycles;
  std::optional<int>& firstSeed = run.firstSeed;
  checkpointSettings& checkpoints = run.checkpoints;
  // The flags' ranges are the table's.
  const Parameter& seedRow = *findParameter("seed");
  const Parameter& templateRow = *findParameter("templateSwitch");
  // The words a resume must give again: all but the checkpoint flags and their values.
  std::vector<bool> checkpointWord(static_cast<std::size_t>(argc > 0 ? argc : 0), false);
  int i = 1;
  while (i < argc) {
    if (isCheckpointFlag(argv[i])) {
      const bool resume = std::strcmp(argv[i], "--resume") == 0;
      const std::string needs = resume ? "a checkpoint file" : "a whole number of cycles from 1 to " +
                                                                  std::to_string(std::numeric_limits<int>::max());
      if (i + 1 >= argc) return refuseValue(std::string(argv[i]) + " needs a value: " + needs);
      if (resume) {
        checkpoints.resumeFile = argv[i + 1];
      } else if (!(checkpoints.interval = checkpointIntervalOf(argv[i + 1]))) {
        return refuseValue(std::string(argv[i]) + " needs " + needs + ", not '" + argv[i + 1] + "'");
      }
      checkpointWord[static_cast<std::size_t>(i)] = checkpointWord[static_cast<std::size_t>(i) + 1] = true;
      i += 2;
      continue;
    }
    if (isFlag(argv[i], "-t", "-T")) {
      if (i + 1 >= argc) return refuseValue(std::string(argv[i]) + " needs a value: 0 or 1");
      const auto value = parseWholeNumber(argv[i + 1], templateRow.hi);
      if (!value) return refuseValue(std::string(argv[i]) + " needs 0 or 1, not '" + argv[i + 1] + "'");
      run.writeEmbryoTemplate = static_cast<int>(*value);
      i += 2;
      continue;
    }
    if (isFlag(argv[i], "-s", "-S")) {
      if (i + 1 >= argc) return refuseValue(std::string(argv[i]) + " needs a value: the first embryo's seed");
      const auto value = parseWholeNumber(argv[i + 1], seedRow.hi);
      if (!value) {
        return refuseValue(std::string(argv[i]) + " needs a seed from " + std::to_string(seedRow.lo) + " to " +
                           std::to_string(seedRow.hi) + ", not '" + argv[i + 1] + "'");
      }
      firstSeed = static_cast<int>(*value);
      i += 2;
      continue;
    }
    if (isFlag(argv[i], "-v", "-V")) {
      const std::string range = "a whole number of cycles from 1 to " + std::to_string(std::numeric_limits<int>::max());
      if (i + 1 >= argc) return refuseInterval(std::string(argv[i]) + " needs a value: " + range);
      const auto value = parseWholeNumber(argv[i + 1], std::numeric_limits<int>::max());
      if (!value || *value < 1) {
        return refuseInterval(std::string(argv[i]) + " needs " + range + ", not '" + argv[i + 1] + "'");
      }
      run.snapshotInterval = static_cast<int>(*value);
      i += 2;
      continue;
    }
    if (std::strcmp(argv[i], "--episodes") == 0) {
      if (i + 1 >= argc) return refuseEpisodes("needs a list of choices such as red.threshold=30");
      std::string problem;
      const auto choices = parseEpisodeChoices(argv[i + 1], problem);
      if (!choices) return refuseEpisodes(problem);
      run.episodes = *choices;
      i += 2;
      continue;
    }
    if (std::strcmp(argv[i], "--seed-file") == 0) {
      if (i + 1 >= argc || !*argv[i + 1]) return refuseSeedFile("--seed-file needs the path of a seed file");
      run.seedFilePath = argv[i + 1];
      i += 2;
      continue;
    }
    if (std::strncmp(argv[i], "-b", 2) != 0 && std::strncmp(argv[i], "-B", 2) != 0) return refuseCommandLine();
    // A flag must bring both counts; nothing past the last word is read.
    if (argc - i < 3) return refuseCommandLine();
    batches = std::atoi(argv[i + 1]);
    batchCycles = std::atoi(argv[i + 2]);
    i += 3;
    if (batches < 0) {
      if (notices) std::fprintf(stderr, "batches must be non-negative, setting to 0\n");
      batches = 0;
    }
    if (batchCycles < 0) {
      if (notices) std::fprintf(stderr, "batch cycle count must be non-negative, setting to 1\n");
      batchCycles = 1;
    }
  }
  if (firstSeed && batches > 0 && !seedOf(*firstSeed, batches)) {
    return refuseValue("-s " + std::to_string(*firstSeed) + " leaves no seed for embryo " + std::to_string(batches) +
                       ": seeds stop at " + std::to_string(std::numeric_limits<int>::max()));
  }
  for (int w = 1; w < argc; ++w) {
    if (!checkpointWord[static_cast<std::size_t>(w)]) checkpoints.words.push_back(argv[w]);
  }
  return 0;
}

bool sameRun(const SeedRun& a, const SeedRun& b) {
  return a.batches == b.batches && a.batchCycles == b.batchCycles && a.writeEmbryoTemplate == b.writeEmbryoTemplate &&
         a.firstSeed == b.firstSeed && a.snapshotInterval == b.snapshotInterval && a.seedFilePath == b.seedFilePath &&
         a.episodes == b.episodes;
}

std::string SeedRun::nameTag() const { return episodeNameTag(episodes); }
