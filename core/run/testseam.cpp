#include "testseam.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

TestFaults parse(const char* text) {
  TestFaults faults;
  if (!text) return faults;
  const std::string value = text;
  if (value == "fsync-file") faults.fsyncFileFails = true;
  if (value == "fsync-folder") faults.fsyncFolderFails = true;
  if (value == "no-fsync") faults.skipFsync = true;
  if (value.rfind("signal=", 0) == 0) {
    const std::size_t at = value.find('@');
    const std::string name = value.substr(7, at == std::string::npos ? std::string::npos : at - 7);
    if (name == "INT") faults.signal = SIGINT;
    if (name == "TERM") faults.signal = SIGTERM;
    if (name == "HUP") faults.signal = SIGHUP;
    if (name == "USR1") faults.signal = SIGUSR1;
    if (at != std::string::npos) faults.signalAfterBytes = std::strtoull(value.c_str() + at + 1, nullptr, 10);
  }
  return faults;
}

}  // namespace

const TestFaults& testFaults() {
  static const TestFaults faults = parse(std::getenv("MORPH_TEST_FAULT"));
  return faults;
}
