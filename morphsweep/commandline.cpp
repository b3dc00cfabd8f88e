#include "commandline.h"

#include <algorithm>
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
#include "series.h"
#include "outnames.h"

int numGrowthCycles = 1;
int modificationCount = 1;
int kr_input = 0;
int kh_input = 0;
int batches = 1;
int snapshotInterval = 0;
short secretorR = noVertex, secretorG = noVertex, secretorB = noVertex;
unsigned char thresholdR = 255, thresholdG = 255, thresholdB = 255;
short lifeSpanR = 0, lifeSpanG = 0, lifeSpanB = 0;
checkpointSettings checkpoints;

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

// Lifespans and secretor indices keep the low 16 bits as a signed value.
short toShort(const char* word) { return static_cast<short>(toInt(word)); }

// Thresholds keep the low 8 bits.
unsigned char toLevel(const char* word) { return static_cast<unsigned char>(toInt(word)); }

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

int readCommandLine(int argc, char** argv, SweepPoint& point) {
  point.snapshotInterval = 0;
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
    point.snapshotInterval = *interval;
  }

  if (!flagMatches(argv[1], "-n", "-N")) return refuse("0Unrecognized command\n");
  point.growthCycles = toInt(argv[2]);
  if (point.growthCycles < 1) {
    std::fputs("Batch cycle count must be >=1.  Setting to 1\n", stderr);
    point.growthCycles = 1;
  }

  if (!flagMatches(argv[3], "-m", "-M")) return refuse("Error #1: Unrecognized command\n");
  point.modificationCount = toInt(argv[4]);
  if (point.modificationCount < 1) {
    std::fputs("<modificationCount> count must be >=1.  Setting to 1\n", stderr);
    point.modificationCount = 1;
  }

  if (!flagMatches(argv[5], "-t", "-T")) return refuse("Error #2: Unrecognized command\n");
  point.templateSwitch = toInt(argv[6]);

  if (!flagMatches(argv[7], "-r", "-R")) return refuse("Error #3: Unrecognized command\n");
  point.lifeSpanR = toShort(argv[8]);
  point.thresholdR = toLevel(argv[9]);
  point.secretorR = toShort(argv[10]);

  if (!flagMatches(argv[11], "-g", "-G")) return refuse("Error #4: Unrecognized command\n");
  point.lifeSpanG = toShort(argv[12]);
  point.thresholdG = toLevel(argv[13]);
  point.secretorG = toShort(argv[14]);

  if (!flagMatches(argv[15], "-b", "-B")) return refuse("Error #5: Unrecognized command\n");
  point.lifeSpanB = toShort(argv[16]);
  point.thresholdB = toLevel(argv[17]);
  point.secretorB = toShort(argv[18]);

  if (!flagMatches(argv[19], "-kr", "-KR")) return refuse("Error #6: Unrecognized command\n");
  point.kr = toInt(argv[20]);

  if (!flagMatches(argv[21], "-kh", "-KH")) return refuse("Error #7: Unrecognized command\n");
  point.kh = toInt(argv[22]);

  point.input = argv[23];

  // Refused now, before anything is read, rather than after a long run whose results
  // could not be written under their names.
  long long needed = longestOutputNameLength(point);
  if (point.snapshotInterval > 0) needed = std::max(needed, longestSnapshotNameLength(point));
  if (needed < 0 || needed >= outNameSize) {
    std::fprintf(stderr,
                 "%s: input name '%s' is too long: the output names would need up to %lld "
                 "characters, at most %d fit\n",
                 sweepRules.programName, point.input, needed, outNameSize - 1);
    return exitBadCommandLine;
  }
  // The same for the file system's limit on one name, which the temporary that each
  // result is first written under must meet too.
  const char* lastSlash = std::strrchr(point.input, '/');
  const long long folderPart = lastSlash ? lastSlash - point.input + 1 : 0;
  const long long entryLimit = NAME_MAX - temporarySuffixLength;
  if (needed - folderPart > entryLimit) {
    std::fprintf(stderr,
                 "%s: input name '%s' is too long: the output file names would need up to %lld "
                 "characters after the last '/', at most %lld fit\n",
                 sweepRules.programName, point.input, needed - folderPart, entryLimit);
    return exitBadCommandLine;
  }
  // The series index names the snapshots in XML, which has no way to write other control
  // characters or bytes that are not UTF-8; tab and line feed are written encoded.
  if (point.snapshotInterval > 0) {
    const char* entry = lastSlash ? lastSlash + 1 : point.input;
    if (const auto problem = xmlTextProblem(entry)) {
      std::fprintf(stderr, "%s: input name '%s' %s, which the series index (.pvd) cannot name; rename it for -v\n",
                   sweepRules.programName, point.input, problem->c_str());
      return exitBadCommandLine;
    }
  }
  return 0;
}

SweepPoint currentSweepPoint() {
  return {numGrowthCycles, modificationCount, writeTemplateFile, lifeSpanR,       thresholdR, secretorR,
          lifeSpanG,       thresholdG,        secretorG,         lifeSpanB,       thresholdB, secretorB,
          kr_input,        kh_input,          inputFile,         snapshotInterval};
}

void setSweepPoint(const SweepPoint& point) {
  numGrowthCycles = point.growthCycles;
  modificationCount = point.modificationCount;
  writeTemplateFile = point.templateSwitch;
  lifeSpanR = point.lifeSpanR;
  thresholdR = point.thresholdR;
  secretorR = point.secretorR;
  lifeSpanG = point.lifeSpanG;
  thresholdG = point.thresholdG;
  secretorG = point.secretorG;
  lifeSpanB = point.lifeSpanB;
  thresholdB = point.thresholdB;
  secretorB = point.secretorB;
  kr_input = point.kr;
  kh_input = point.kh;
  inputFile = point.input;
  snapshotInterval = point.snapshotInterval;
}

namespace {

// The pairs after the 23 words: "-v N", "--checkpoint N" and "--resume FILE" in any order,
// each at most once. Takes the checkpoint pairs out of `words`, or leaves `words` as they
// are when the tail is anything else, for the reader to refuse as it always has.
// Returns a status when the value of --checkpoint is refused.
int takeCheckpointWords(std::vector<char*>& words) {
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

int parseCommandLine(int argc, char** argv) {
  checkpoints = {};
  std::vector<char*> words(argv, argv + (argc > 0 && argv ? argc : 0));
  if (const int status = takeCheckpointWords(words)) return status;
  // Read from the parameters as they stand, so that a refused line leaves every word before
  // the faulty one stored, as the reading left to right always has.
  SweepPoint point = currentSweepPoint();
  const int readCount = static_cast<int>(words.size());
  words.push_back(nullptr);
  const int status = readCommandLine(readCount, argv ? words.data() : argv, point);
  setSweepPoint(point);
  if (status == 0) {
    checkpoints.words.assign(words.begin() + 1, words.begin() + readCount);
    if (checkpoints.interval > 0 || !checkpoints.resumeFile.empty()) {
      // The checkpoint is named like the 3DV result, one character longer.
      SweepPoint plain = point;
      plain.templateSwitch = 0;
      const long long needed = longestOutputNameLength(plain) + 1;
      const char* lastSlash = std::strrchr(point.input, '/');
      const long long folderPart = lastSlash ? lastSlash - point.input + 1 : 0;
      if (needed - folderPart > NAME_MAX - temporarySuffixLength) {
        std::fprintf(stderr, "%s: input name '%s' is too long for a checkpoint beside the results\n",
                     sweepRules.programName, point.input);
        return exitBadCommandLine;
      }
    }
  }
  return status;
}
