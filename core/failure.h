// A run that cannot go on: what is wrong, and the exit status a program ends with for it.
#pragma once

#include <stdexcept>
#include <string>

// Exit statuses a user or a script can tell apart.
inline constexpr int exitBadCommandLine = 1;  // refused command line
inline constexpr int exitBadFile = 2;         // unreadable input, or an output that could not be written
inline constexpr int exitStoreOverflow = 3;   // a topology list would overflow, or memory ran out

// A run that cannot go on, raised where it is found and turned into "<program>: <message>"
// and the status by the program's main; a library user catches it instead.
class runError : public std::runtime_error {
 public:
  runError(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
  int status() const noexcept { return status_; }

 private:
  int status_;
};
