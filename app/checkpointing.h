// A program's side of checkpoints: the two flags, the signals that ask a run to stop at the
// end of its cycle, when a checkpoint is written and removed, and what a resume must match.
#pragma once

#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "checkpoint.h"
#include "failure.h"

class snapshotSeries;

struct checkpointSettings {
  int interval = 0;                // "--checkpoint N": every N cycles; 0: none
  std::string resumeFile;          // "--resume FILE"; empty: a fresh run
  std::vector<std::string> words;  // the command line after the program's name, without these two flags
};

// "--checkpoint" or "--resume".
bool isCheckpointFlag(const char* word);
// A whole number of cycles from 1 to INT_MAX, written plainly; 0 when it is not one.
int checkpointIntervalOf(const char* word);

// With --checkpoint: SIGUSR1, SIGTERM and SIGINT (each unless started ignored) only ask the
// run to stop after its current cycle; a second SIGINT does what the first used to (the
// cleanup's handler: the run ends at once). Installed after installTemporaryCleanup;
// SIGHUP keeps it.
void installCheckpointSignals();
bool stopRequested();

// Writes a run's checkpoints to one file, the latest only, and removes it with the result.
// A checkpoint is taken (encoded) between cycles; its bytes reach the disk (write, flush,
// rename) on a thread of its own while the next cycle runs, so the cycles wait only for
// the encoding. A checkpoint a stop asks for is written whole before the run ends, and a
// failed write ends the run at the next checkpoint or with the results.
class checkpointKeeper {
 public:
  checkpointKeeper(const checkpointSettings& settings, std::string path, checkpointRun position);
  ~checkpointKeeper();  // waits for a write under way
  checkpointKeeper(const checkpointKeeper&) = delete;
  checkpointKeeper& operator=(const checkpointKeeper&) = delete;
  // After growth cycle `cycle` of `cycles`: writes the checkpoint when one is due, and
  // when a stop was asked for raises runError(failure::interrupted). None follows the last
  // cycle, whose results are written next.
  void cycleDone(const Embryo& e, int cycle, int cycles, const snapshotSeries* series);
  // The results are in place: the checkpoint goes.
  void resultWritten();
  const std::string& path() const { return path_; }

 private:
  // Waits for the write under way; raises its failure.
  void finishWrite();

  const checkpointSettings& settings_;
  std::string path_;
  checkpointRun position_;
  bool swept_ = false;
  std::thread writer_;
  std::exception_ptr failed_;
};

// For a command line of nothing but "--resume FILE" (and "--checkpoint N", in any order):
// the program's name, the words of the run FILE records, then the given ones, printed on
// standard error as the run's command line; nothing for any other line. Raises runError
// (exitBadFile) as a resume does when the file cannot be read.
std::optional<std::vector<std::string>> resumeWordsFromCheckpoint(int argc, char** argv, const modelRules& rules);

// Words as a C command line, pointing into `words` and ending in a null pointer.
std::vector<char*> argvOf(std::vector<std::string>& words);

// What main reads: the command line it was given, or for "--resume FILE" alone the one the
// checkpoint records (kept in `recorded`, which `argv` then points into). Returns 0, or the
// status after reporting a checkpoint that cannot be read.
struct recordedCommandLine {
  std::vector<std::string> words;
  std::vector<char*> argv;
};
int takeRecordedCommandLine(int& argc, char**& argv, const modelRules& rules, recordedCommandLine& recorded);

// The checks of a resume before anything is written: the command line word for word as
// recorded, and a run that has not yet finished the embryo it records (whose results,
// all newer than the file, say it has).
// Raise runError(failure::malformed) naming the file and what differs.
void checkResumedWords(const std::string& file, const checkpointRun& run, const std::vector<std::string>& words);
void refuseFinishedRun(const std::string& file, const std::vector<std::string>& results);
