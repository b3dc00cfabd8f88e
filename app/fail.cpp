#include "fail.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace {

std::atomic<const char*> name{"morph"};

}  // namespace

void setProgramName(const char* programName) { name.store(programName); }

const char* programName() { return name.load(); }

void fail(int status, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", programName(), message.c_str());
  std::fflush(stdout);
  std::exit(status);
}

int reportRunError(const runError& error) {
  std::fprintf(stderr, "%s: %s\n", programName(), error.what());
  std::fflush(stdout);
  return error.status();
}
