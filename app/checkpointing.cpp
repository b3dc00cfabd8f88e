#include "checkpointing.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <utility>

#include "fail.h"
#include "failure.h"
#include "series.h"
#include "version.h"

namespace {

// Set by a handler on whichever thread the signal reaches, read between cycles: the
// signal that asked.
std::atomic<int> stopAsked{0};
static_assert(std::atomic<int>::is_always_lock_free);
// What SIGINT did before: a second Ctrl-C does it at once.
struct sigaction interruptBefore {};

extern "C" void askToStop(int signal) {
  if (signal == SIGINT && stopAsked.exchange(SIGINT) == SIGINT) {
    sigaction(SIGINT, &interruptBefore, nullptr);
    raise(SIGINT);
    return;
  }
  if (signal != SIGINT) stopAsked.store(signal);
}

// The modification time of `path` in nanoseconds, or -1 when there is no such file.
long long modified(const std::string& path) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return -1;
  return static_cast<long long>(info.st_mtim.tv_sec) * 1000000000LL + info.st_mtim.tv_nsec;
}

}  // namespace

bool isCheckpointFlag(const char* word) {
  return std::strcmp(word, "--checkpoint") == 0 || std::strcmp(word, "--resume") == 0;
}

int checkpointIntervalOf(const char* word) {
  long long value = 0;
  if (!*word) return 0;
  for (const char* c = word; *c; ++c) {
    if (*c < '0' || *c > '9') return 0;
    value = value * 10 + (*c - '0');
    if (value > INT_MAX) return 0;
  }
  return static_cast<int>(value);
}

void installCheckpointSignals() {
  struct sigaction action {};
  action.sa_handler = askToStop;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGUSR1, &action, nullptr);
  struct sigaction previous {};
  if (sigaction(SIGTERM, nullptr, &previous) == 0 && previous.sa_handler != SIG_IGN) sigaction(SIGTERM, &action, nullptr);
  // Ctrl-C too stops the run after its cycle, with its checkpoint; the second one at once.
  if (sigaction(SIGINT, nullptr, &interruptBefore) == 0 && interruptBefore.sa_handler != SIG_IGN) {
    sigaction(SIGINT, &action, nullptr);
  }
}

bool stopRequested() { return stopAsked.load() != 0; }

checkpointKeeper::checkpointKeeper(const checkpointSettings& settings, std::string path, checkpointRun position)
    : settings_(settings), path_(std::move(path)), position_(std::move(position)) {
  position_.release = morphVersion();
  position_.words = settings.words;
}

void checkpointKeeper::cycleDone(const Embryo& e, int cycle, int cycles, const snapshotSeries* series) {
  if (settings_.interval <= 0 || cycle >= cycles) return;
  // The last checkpoint is on the disk by now (its thread had a whole cycle): waiting here
  // costs nothing, and a stop asked for while it was written is seen at this cycle's end.
  finishWrite();
  const bool stop = stopRequested();
  if (!stop && cycle % settings_.interval != 0) return;
  position_.cyclesDone = cycle;
  position_.series = series != nullptr;
  if (series) {
    position_.born = series->born();
    position_.written = series->cyclesWritten();
  }
  const TemporarySweep sweep = swept_ ? TemporarySweep::doneByCaller : TemporarySweep::thisFile;
  swept_ = true;
  if (stop) {
    writeCheckpoint(path_, e, position_, sweep);
    const bool interrupted = stopAsked.load() == SIGINT;
    throw runError(failure::interrupted, interrupted ? exitInterrupted : exitCheckpointed,
                   std::string(interrupted ? "interrupted" : "stopped by a signal") + " after cycle " +
                       std::to_string(cycle) + " of embryo " + std::to_string(position_.embryoNumber) +
                       "; resume with --resume " + path_);
  }
  // The temporary is made and registered here, where the termination signals are held
  // around it, so that a signal never finds it unlisted; the thread fills and commits it.
  auto bytes = std::make_shared<std::vector<unsigned char>>(encodeCheckpoint(e, position_));
  auto out = std::make_shared<OutputFile>(path_, sweep);
  writer_ = std::thread([this, bytes, out] {
    try {
      // A short write leaves the stream's error set, which commit reports with its cause.
      std::fwrite(bytes->data(), 1, bytes->size(), out->stream());
      out->commit();
    } catch (...) {
      failed_ = std::current_exception();
    }
  });
}

void checkpointKeeper::finishWrite() {
  if (writer_.joinable()) writer_.join();
  if (failed_) std::rethrow_exception(std::exchange(failed_, nullptr));
}

checkpointKeeper::~checkpointKeeper() {
  if (writer_.joinable()) writer_.join();
}

void checkpointKeeper::resultWritten() {
  finishWrite();
  if (settings_.interval > 0 || !settings_.resumeFile.empty()) unlink(path_.c_str());
}

void checkResumedWords(const std::string& file, const checkpointRun& run, const std::vector<std::string>& words) {
  if (run.release != morphVersion()) {
    throw runError(failure::malformed,
                   file + ": written by release " + run.release + ", this is release " + morphVersion());
  }
  const std::size_t common = std::min(words.size(), run.words.size());
  for (std::size_t i = 0; i < common; ++i) {
    if (words[i] != run.words[i]) {
      throw runError(failure::malformed, file + ": word " + std::to_string(i + 1) + " of the command line is '" +
                                             words[i] + "', the checkpoint's run had '" + run.words[i] + "'");
    }
  }
  if (words.size() != run.words.size()) {
    throw runError(failure::malformed, file + ": the command line has " + std::to_string(words.size()) +
                                           " words besides --checkpoint and --resume, the checkpoint's run had " +
                                           std::to_string(run.words.size()));
  }
}

void refuseFinishedRun(const std::string& file, const std::vector<std::string>& results) {
  const long long taken = modified(file);
  for (const std::string& result : results) {
    if (modified(result) <= taken) return;
  }
  throw runError(failure::malformed,
                 file + ": the run it records has finished past it: " + results.back() + " was written after it");
}

std::optional<std::vector<std::string>> resumeWordsFromCheckpoint(int argc, char** argv, const modelRules& rules) {
  std::string file;
  std::vector<std::string> given;
  for (int i = 1; i < argc; i += 2) {
    if (!argv[i] || !isCheckpointFlag(argv[i]) || i + 1 >= argc || !argv[i + 1]) return std::nullopt;
    if (std::strcmp(argv[i], "--resume") == 0) file = argv[i + 1];
    given.insert(given.end(), {argv[i], argv[i + 1]});
  }
  if (file.empty()) return std::nullopt;
  Embryo scratch(rules);
  const checkpointRun run = decodeCheckpoint(readCheckpointBytes(file), file, scratch);
  std::vector<std::string> words{argv[0] ? argv[0] : rules.programName};
  words.insert(words.end(), run.words.begin(), run.words.end());
  words.insert(words.end(), given.begin(), given.end());
  std::string shown;
  for (const std::string& word : words) shown += (shown.empty() ? "" : " ") + word;
  std::fprintf(stderr, "%s: resuming %s\n", rules.programName, shown.c_str());
  return words;
}

std::vector<char*> argvOf(std::vector<std::string>& words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  return argv;
}

int takeRecordedCommandLine(int& argc, char**& argv, const modelRules& rules, recordedCommandLine& recorded) {
  try {
    if (auto words = resumeWordsFromCheckpoint(argc, argv, rules)) {
      recorded.words = std::move(*words);
      recorded.argv = argvOf(recorded.words);
      argc = static_cast<int>(recorded.words.size());
      argv = recorded.argv.data();
    }
  } catch (const runError& error) {
    return reportRunError(error);
  }
  return 0;
}
