// Child programs (ffmpeg, gnuplot, morphsweep-plan) started with their arguments as data:
// no shell sees them, so no name a user gives can become an option or a command.
#pragma once

#include <sys/types.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <vector>

namespace run {

// Where one of the child's standard streams goes.
struct Stream {
  enum Kind { inherit, null, pipe, fd };
  Kind kind = inherit;
  int descriptor = -1;  // for `fd`: duplicated onto the stream in the child
  static Stream toFd(int d) { return {fd, d}; }
};

struct ChildSpec {
  std::vector<std::string> argv;  // argv[0] is looked up on PATH when it holds no '/'
  Stream in{}, out{}, err{};
  std::string folder{};  // the child's working folder; empty: this process's
};

// How a child ended.
struct ChildStatus {
  bool exited = false;
  int code = 0;    // when exited
  int signal = 0;  // when killed by a signal
  bool ok() const { return exited && code == 0; }
  std::string describe() const;  // "exit status N" or "signal N"
};

// One running child. Destroying it while the child runs kills and reaps it, so no child
// outlives the code that started it; while it runs, a terminating signal to this process
// kills it too (see core/run/signals.h).
class Child {
 public:
  Child() = default;
  ~Child();
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // Starts the child. Returns an empty string, or why it could not start (with errno's
  // text; `notFound()` tells a missing program apart).
  std::string start(const ChildSpec& launch);
  bool notFound() const { return startErrno_ == ENOENT; }

  int input() const { return input_; }    // the write end, for Stream::pipe on in
  int output() const { return output_; }  // the read end, for Stream::pipe on out
  void closeInput();
  // Writes all of `size` bytes to the child's input; false when it stopped reading.
  bool write(const void* data, std::size_t size);
  // Reads the child's output to its end.
  std::string readAll();
  // Closes this side's pipes and waits for the child to end.
  ChildStatus wait();

 private:
  pid_t pid_ = -1;
  int input_ = -1, output_ = -1;
  int startErrno_ = 0;
  int slot_ = -1;  // in the signal handler's table of children
};

}  // namespace run
