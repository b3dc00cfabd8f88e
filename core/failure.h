// A run that cannot go on: what kind of failure, what is wrong, and the exit status a
// program ends with for it.
#pragma once

#include <string>

#include "morph/error.h"

using morph::failure;

// Exit statuses a user or a script can tell apart.
inline constexpr int exitBadCommandLine = 1;  // refused command line
inline constexpr int exitBadFile = 2;         // unreadable input, or an output that could not be written
inline constexpr int exitStoreOverflow = 3;   // a topology list would overflow, or memory ran out
// The status of a run that stopped on SIGUSR1 or SIGTERM after writing its checkpoint
// (sysexits' "temporary failure": try again, here with --resume).
inline constexpr int exitCheckpointed = 75;
// The status of a run Ctrl-C stopped after writing its checkpoint: the shell's own for SIGINT.
inline constexpr int exitInterrupted = 130;

// The status each kind of failure ends a program with.
constexpr int exitStatusFor(failure kind) {
  switch (kind) {
    case failure::commandLine:
      return exitBadCommandLine;
    case failure::open:
    case failure::read:
    case failure::malformed:
    case failure::write:
      return exitBadFile;
    case failure::capacity:
    case failure::memory:
      return exitStoreOverflow;
    case failure::interrupted:
      return exitCheckpointed;
  }
  return exitBadFile;
}

// A run that cannot go on, raised where it is found and turned into "<program>: <message>"
// and the status by the program's main; a library user catches it as the morph::error it is.
class runError : public morph::error {
 public:
  runError(failure kind, const std::string& message) : morph::error(kind, exitStatusFor(kind), message) {}
  // A kind whose status depends on the case (a stop by Ctrl-C ends with 130, not 75).
  runError(failure kind, int status, const std::string& message) : morph::error(kind, status, message) {}
};

// A refusal a loader returns rather than raises: its kind and the message naming the file.
struct refusal {
  failure kind;
  std::string message;
};
