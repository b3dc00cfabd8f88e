#include "sweepwords.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "failure.h"
#include "meshio.h"
#include "outfile.h"
#include "markup.h"
#include "pointnames.h"
#include "rules.h"
#include "series.h"

namespace {

constexpr int expectedWordCount = 24;

// Only the first two characters are compared, so "-nx" passes for "-n" and any "-k..."
// word passes at both force positions: a value's meaning comes from its position alone.
bool flagMatches(const char* word, const char* lower, const char* upper) {
  return std::strncmp(word, lower, 2) == 0 || std::strncmp(word, upper, 2) == 0;
}

// What atoi gives on this platform, without its undefined behaviour on overflow: strtol
// saturates at the long range and the cast keeps the low bits of the result.
int toInt(const char* word) { return static_cast<int>(std::strtol(word, nullptr, 10)); }

// "-kr" -> "-KR": the flag as the upper-case spelling accepts it.
std::string upperCase(std::string_view flag) {
  std::string upper(flag);
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return upper;
}

// The refusal of the k-th flag word (from 0): the first has always lacked the "Error #".
std::string flagRefusal(int k) {
  return k == 0 ? "0Unrecognized command\n" : "Error #" + std::to_string(k) + ": Unrecognized command\n";
}

// A whole unsigned decimal number from 1 to INT_MAX, with no sign, blank or other tail.
std::optional<int> snapshotIntervalOf(const char* word) {
  long long value = 0;
  if (!*word) return std::nullopt;
  for (const char* c = word; *c; ++c) {
    if (*c < '0' || *c > '9') return std::nullopt;
    value = value * 10 + (*c - '0');
    if (value > INT_MAX) return std::nullopt;
  }
  if (value < 1) return std::nullopt;
  return static_cast<int>(value);
}

int refuse(const char* error) {
  std::fputs(error, stderr);
  std::fputs("Allowable parameters: \n", stderr);
  std::fputs("-n growthCycles -m modificationCount -t [0/1] inFile\n", stderr);
  return exitBadCommandLine;
}

}  // namespace

int readCommandLine(int argc, char** argv, SweepRun& run, bool notices) {
  run.snapshotInterval = 0;
  // "-v N" is the one pair of words allowed after the 23.
  const bool snapshots =
      argc == expectedWordCount + 2 && argv && argv[expectedWordCount] &&
      (std::strcmp(argv[expectedWordCount], "-v") == 0 || std::strcmp(argv[expectedWordCount], "-V") == 0);
  if ((argc != expectedWordCount && !snapshots) || !argv) return refuse("Error #8: Unrecognized command\n");
  for (int i = 0; i < argc; ++i) {
    if (!argv[i]) return refuse("Error #8: Unrecognized command\n");
  }
  if (snapshots) {
    const auto interval = snapshotIntervalOf(argv[expectedWordCount + 1]);
    if (!interval) {
      std::fprintf(stderr, "%s: %s needs a whole number of cycles from 1 to %d, not '%s'\n", sweepRules.programName,
                   argv[expectedWordCount], INT_MAX, argv[expectedWordCount + 1]);
      refuse("");
      std::fputs(snapshotUsage, stderr);
      return exitBadCommandLine;
    }
    run.snapshotInterval = *interval;
  }

  // The numbers in the table's order, each after its flag where it has one; a value keeps
  // the low bits its field holds.
  int at = 1;
  int flags = 0;
  for (const Parameter& p : runParameters) {
    if (!p.number()) continue;
    if (!p.sweepFlag.empty()) {
      const std::string lower(p.sweepFlag);
      if (!flagMatches(argv[at], lower.c_str(), upperCase(lower).c_str())) return refuse(flagRefusal(flags).c_str());
      ++flags;
      ++at;
    }
    long long value = toInt(argv[at++]);
    if (!p.belowLowest.empty() && value < p.lo) {
      if (notices) std::fwrite(p.belowLowest.data(), 1, p.belowLowest.size(), stderr);
      value = p.lo;
    }
    p.set(run.values, value);
  }
  run.input = argv[at];
  const char* input = run.input.c_str();

  // Refused now, before anything is read, rather than after a long run whose results
  // could not be written under their names.
  long long needed = longestOutputNameLength(run);
  if (run.snapshotInterval > 0) needed = std::max(needed, longestSnapshotNameLength(run));
  if (needed < 0 || needed >= outNameSize) {
    std::fprintf(stderr,
                 "%s: input name '%s' is too long: the output names would need up to %lld "
                 "characters, at most %d fit\n",
                 sweepRules.programName, input, needed, outNameSize - 1);
    return exitBadCommandLine;
  }
  // The same for the file system's limit on one name, which the temporary that each
  // result is first written under must meet too.
  const char* lastSlash = std::strrchr(input, '/');
  const long long folderPart = lastSlash ? lastSlash - input + 1 : 0;
  const long long entryLimit = NAME_MAX - temporarySuffixLength;
  if (needed - folderPart > entryLimit) {
    std::fprintf(stderr,
                 "%s: input name '%s' is too long: the output file names would need up to %lld "
                 "characters after the last '/', at most %lld fit\n",
                 sweepRules.programName, input, needed - folderPart, entryLimit);
    return exitBadCommandLine;
  }
  // The series index names the snapshots in XML, which has no way to write other control
  // characters or bytes that are not UTF-8; tab and line feed are written encoded.
  if (run.snapshotInterval > 0) {
    const char* entry = lastSlash ? lastSlash + 1 : input;
    if (const auto problem = xmlTextProblem(entry)) {
      std::fprintf(stderr, "%s: input name '%s' %s, which the series index (.pvd) cannot name; rename it for -v\n",
                   sweepRules.programName, input, problem->c_str());
      return exitBadCommandLine;
    }
  }
  return 0;
}

namespace {

// The pairs after the 23 words: "-v N", "--checkpoint N" and "--resume FILE" in any order,
// each at most once. Takes the checkpoint pairs out of `words`, or leaves `words` as they
// are when the tail is anything else, for the reader to refuse as it always has.
// Returns a status when the value of --checkpoint is refused.
int takeCheckpointWords(std::vector<char*>& words, checkpointSettings& checkpoints) {
  if (words.size() <= static_cast<std::size_t>(expectedWordCount) || (words.size() - expectedWordCount) % 2 != 0) return 0;
  int seen[3] = {0, 0, 0};
  for (std::size_t i = expectedWordCount; i < words.size(); i += 2) {
    if (!words[i] || !words[i + 1]) return 0;
    const std::string flag = words[i];
    const int kind = flag == "-v" || flag == "-V" ? 0 : flag == "--checkpoint" ? 1 : flag == "--resume" ? 2 : -1;
    if (kind < 0 || seen[kind]++) return 0;
  }
  std::vector<char*> kept(words.begin(), words.begin() + expectedWordCount);
  for (std::size_t i = expectedWordCount; i < words.size(); i += 2) {
    const std::string flag = words[i];
    if (flag == "--resume") {
      checkpoints.resumeFile = words[i + 1];
    } else if (flag == "--checkpoint") {
      checkpoints.interval = checkpointIntervalOf(words[i + 1]);
      if (!checkpoints.interval) {
        std::fprintf(stderr, "%s: --checkpoint needs a whole number of cycles from 1 to %d, not '%s'\n",
                     sweepRules.programName, INT_MAX, words[i + 1]);
        return refuse("");
      }
    } else {
      kept.push_back(words[i]);
      kept.push_back(words[i + 1]);
    }
  }
  words = kept;
  return 0;
}

}  // namespace

int parseCommandLine(int argc, char** argv, SweepRun& run, bool notices) {
  run = SweepRun{};
  std::vector<char*> words(argv, argv + (argc > 0 && argv ? argc : 0));
  if (const int status = takeCheckpointWords(words, run.checkpoints)) return status;
  const int readCount = static_cast<int>(words.size());
  words.push_back(nullptr);
  const int status = readCommandLine(readCount, argv ? words.data() : argv, run, notices);
  if (status == 0) {
    run.checkpoints.words.assign(words.begin() + 1, words.begin() + readCount);
    if (run.checkpoints.interval > 0 || !run.checkpoints.resumeFile.empty()) {
      // The checkpoint is named like the 3DV result, one character longer.
      SweepRun plain = run;
      plain.values.templateSwitch = 0;
      const long long needed = longestOutputNameLength(plain) + 1;
      const std::size_t lastSlash = run.input.rfind('/');
      const long long folderPart = lastSlash == std::string::npos ? 0 : static_cast<long long>(lastSlash) + 1;
      if (needed - folderPart > NAME_MAX - temporarySuffixLength) {
        std::fprintf(stderr, "%s: input name '%s' is too long for a checkpoint beside the results\n",
                     sweepRules.programName, run.input.c_str());
        return exitBadCommandLine;
      }
    }
  }
  return status;
}

bool sameRun(const SweepRun& a, const SweepRun& b) {
  return a.values == b.values && a.input == b.input && a.snapshotInterval == b.snapshotInterval;
}
