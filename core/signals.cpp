#include "signals.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

namespace {

// A few files are open for writing at once at most; every program writes one at a time.
constexpr int slotCount = 8;
constexpr int pathCapacity = 4096;

// Written only with the signals held, read by the handler: no allocation, no locks.
char paths[slotCount][pathCapacity];
volatile std::sig_atomic_t inUse[slotCount];
// Children that write into a temporary or would outlive the run: pids, 0 when free.
volatile std::sig_atomic_t children[slotCount];

// Async-signal-safe: kill and waitpid only.
void stopChildren() {
  for (int i = 0; i < slotCount; ++i) {
    const pid_t pid = children[i];
    if (pid <= 0) continue;
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
    children[i] = 0;
  }
}

constexpr int terminating[] = {SIGINT, SIGTERM, SIGHUP};

void terminatingSet(sigset_t& set) {
  sigemptyset(&set);
  for (const int s : terminating) sigaddset(&set, s);
}

extern "C" void removeTemporariesAndDie(int signal) {
  const int savedErrno = errno;
  stopChildren();
  for (int i = 0; i < slotCount; ++i) {
    if (inUse[i]) unlink(paths[i]);
  }
  // Dying by the signal itself tells the parent (a shell: 130, 143) what happened.
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(signal, &byDefault, nullptr);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signal);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signal);
  errno = savedErrno;
}

// A run that ends through exit (a failure message and its status) leaves nothing either.
void removeTemporariesAtExit() {
  stopChildren();
  for (int i = 0; i < slotCount; ++i) {
    if (inUse[i]) unlink(paths[i]);
    inUse[i] = 0;
  }
}

}  // namespace

void installTemporaryCleanup() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::atexit(removeTemporariesAtExit);
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndDie;
    terminatingSet(action.sa_mask);  // one cleanup at a time
    action.sa_flags = SA_RESTART;
    for (const int s : terminating) {
      struct sigaction previous {};
      if (sigaction(s, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
      sigaction(s, &action, nullptr);
    }
  });
}

int registerTemporary(const char* path) {
  const std::size_t length = std::strlen(path);
  if (length >= pathCapacity) return -1;
  for (int i = 0; i < slotCount; ++i) {
    if (inUse[i]) continue;
    std::memcpy(paths[i], path, length + 1);
    inUse[i] = 1;
    return i;
  }
  return -1;
}

void releaseTemporary(int slot) {
  if (slot >= 0 && slot < slotCount) inUse[slot] = 0;
}

int registerChild(int pid) {
  for (int i = 0; i < slotCount; ++i) {
    if (children[i] != 0) continue;
    children[i] = pid;
    return i;
  }
  return -1;
}

void releaseChild(int slot) {
  if (slot >= 0 && slot < slotCount) children[slot] = 0;
}

TerminationSignalsHeld::TerminationSignalsHeld() {
  static_assert(sizeof(sigset_t) <= sizeof saved_);
  sigset_t set;
  terminatingSet(set);
  pthread_sigmask(SIG_BLOCK, &set, reinterpret_cast<sigset_t*>(saved_));
}

TerminationSignalsHeld::~TerminationSignalsHeld() {
  pthread_sigmask(SIG_SETMASK, reinterpret_cast<const sigset_t*>(saved_), nullptr);
}
