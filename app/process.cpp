#include "process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>

#include "signals.h"

extern char** environ;

namespace run {

namespace {

// Closes the descriptors it holds unless released: the error paths of start stay short.
struct PipeEnds {
  int ends[2] = {-1, -1};
  ~PipeEnds() {
    for (const int fd : ends) {
      if (fd >= 0) close(fd);
    }
  }
  int take(int which) {
    const int fd = ends[which];
    ends[which] = -1;
    return fd;
  }
};

// posix_spawn's two handles, destroyed on every path.
struct SpawnSetup {
  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  SpawnSetup() {
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

int direct(SpawnSetup& setup, const Stream& stream, int target, int pipeEnd) {
  switch (stream.kind) {
    case Stream::inherit:
      return 0;
    case Stream::null:
      return posix_spawn_file_actions_addopen(&setup.actions, target, "/dev/null",
                                              target == STDIN_FILENO ? O_RDONLY : O_WRONLY, 0);
    case Stream::pipe:
      return posix_spawn_file_actions_adddup2(&setup.actions, pipeEnd, target);
    case Stream::fd:
      return posix_spawn_file_actions_adddup2(&setup.actions, stream.descriptor, target);
  }
  return EINVAL;
}

}  // namespace

std::string ChildStatus::describe() const {
  return exited ? "exit status " + std::to_string(code) : "signal " + std::to_string(signal);
}

Child::~Child() {
  if (input_ >= 0) close(input_);
  if (output_ >= 0) close(output_);
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    wait();
  }
}

std::string Child::start(const ChildSpec& launch) {
  if (launch.argv.empty()) return "no program named";
  PipeEnds in, out;
  if (launch.in.kind == Stream::pipe && pipe2(in.ends, O_CLOEXEC) != 0) return std::string("cannot make a pipe: ") + std::strerror(errno);
  if (launch.out.kind == Stream::pipe && pipe2(out.ends, O_CLOEXEC) != 0) return std::string("cannot make a pipe: ") + std::strerror(errno);

  SpawnSetup setup;
  int problem = direct(setup, launch.in, STDIN_FILENO, in.ends[0]);
  if (!problem) problem = direct(setup, launch.out, STDOUT_FILENO, out.ends[1]);
  if (!problem) problem = direct(setup, launch.err, STDERR_FILENO, -1);
  if (!problem && !launch.folder.empty()) problem = posix_spawn_file_actions_addchdir_np(&setup.actions, launch.folder.c_str());

  // The terminating signals are held from the start until the child is in the handler's
  // table, so a signal cannot leave it running unrecorded; the child starts with the mask
  // this thread had, and with SIGPIPE at its default even if this process ignores it.
  sigset_t held, previous, pipeOnly;
  sigemptyset(&held);
  for (const int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&held, s);
  sigemptyset(&pipeOnly);
  sigaddset(&pipeOnly, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &held, &previous);
  if (!problem) problem = posix_spawnattr_setsigmask(&setup.attributes, &previous);
  if (!problem) problem = posix_spawnattr_setsigdefault(&setup.attributes, &pipeOnly);
  if (!problem) problem = posix_spawnattr_setflags(&setup.attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  std::vector<std::string> words = launch.argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (!problem) problem = posix_spawnp(&pid, argv[0], &setup.actions, &setup.attributes, argv.data(), environ);
  if (!problem) {
    pid_ = pid;
    slot_ = registerChild(pid);
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  if (problem) {
    startErrno_ = problem;
    return "cannot run " + launch.argv[0] + ": " + std::strerror(problem);
  }
  if (launch.in.kind == Stream::pipe) input_ = in.take(1);
  if (launch.out.kind == Stream::pipe) output_ = out.take(0);
  return {};
}

void Child::closeInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

bool Child::write(const void* data, std::size_t size) {
  const char* bytes = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(input_, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

std::string Child::readAll() {
  std::string text;
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(output_, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

ChildStatus Child::wait() {
  closeInput();
  if (output_ >= 0) close(output_);
  output_ = -1;
  ChildStatus status;
  if (pid_ <= 0) return status;
  // Waited for without reaping first, so the pid the handler's table holds stays this
  // child's until it leaves the table.
  siginfo_t info{};
  while (waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
  }
  releaseChild(slot_);
  slot_ = -1;
  int raw = 0;
  while (waitpid(pid_, &raw, 0) < 0 && errno == EINTR) {
  }
  pid_ = -1;
  status.exited = WIFEXITED(raw);
  status.code = status.exited ? WEXITSTATUS(raw) : 0;
  status.signal = WIFSIGNALED(raw) ? WTERMSIG(raw) : 0;
  return status;
}

}  // namespace run
