#include "fail.h"

#include <cstdio>
#include <cstdlib>

#include "variant.h"

void fail(int status, const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", variant::programName, message.c_str());
  std::fflush(stdout);
  std::exit(status);
}

int reportRunError(const runError& error) {
  std::fprintf(stderr, "%s: %s\n", variant::programName, error.what());
  std::fflush(stdout);
  return error.status();
}
