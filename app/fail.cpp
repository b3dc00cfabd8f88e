#include "fail.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <utility>

namespace {

std::atomic<const char*> name{"morph"};
std::mutex hintLock;
FailureHint hintFor;

void printHint(const std::string& message) {
  FailureHint hint;
  {
    const std::lock_guard<std::mutex> lock(hintLock);
    hint = hintFor;
  }
  if (!hint) return;
  // A hint is an extra; one that cannot be formed leaves the message alone.
  try {
    const std::string text = hint(message);
    if (!text.empty()) std::fprintf(stderr, "%s: %s\n", programName(), text.c_str());
  } catch (const std::exception&) {
  }
}

}  // namespace

void setProgramName(const char* programName) { name.store(programName); }

const char* programName() { return name.load(); }

void setFailureHint(FailureHint hint) {
  const std::lock_guard<std::mutex> lock(hintLock);
  hintFor = std::move(hint);
}

void fail(int status, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", programName(), message.c_str());
  printHint(message);
  std::fflush(stdout);
  std::exit(status);
}

int reportRunError(const runError& error) {
  std::fprintf(stderr, "%s: %s\n", programName(), error.what());
  printHint(error.what());
  std::fflush(stdout);
  return error.status();
}
