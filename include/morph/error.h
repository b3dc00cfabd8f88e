// The morph library's failures: what kind each is, so that a caller branches on the kind
// and never on the message, which is written for people.
#pragma once

#include <stdexcept>
#include <string>

namespace morph {

// What went wrong, whatever the message says.
enum class failure {
  commandLine,  // a refused command line, or an argument the call cannot take
  open,         // a file that cannot be opened (missing, a folder, not a regular file)
  read,         // a file opened but not read whole
  malformed,    // a file its format does not allow, or an embryo no file format can hold
  write,        // an output that cannot be written
  capacity,     // a store list would overflow
  memory,       // memory ran out
  interrupted,  // a run asked to stop by a signal, its checkpoint written
};

// A failed load, write or growth step: its kind, and status() the programs' exit status
// for it (1 command line, 2 input or output file, 3 capacity or memory).
class error : public std::runtime_error {
 public:
  error(failure kind, int status, const std::string& message)
      : std::runtime_error(message), kind_(kind), status_(status) {}
  failure kind() const noexcept { return kind_; }
  int status() const noexcept { return status_; }

 private:
  failure kind_;
  int status_;
};

// Raised by grow when its stop query said stop: the embryo is back at its last whole cycle.
class stopped : public std::exception {
 public:
  const char* what() const noexcept override { return "growth stopped"; }
};

}  // namespace morph
