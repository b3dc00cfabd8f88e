#include "signals.h"

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

namespace {

// A few files are open for writing at once: one per embryo writing, and several embryos
// may write at once from different threads of a library user.
constexpr int slotCount = 32;
constexpr int pathCapacity = 4096;

// A slot is claimed by one writer, filled, then published; the handler reads published
// slots only. Lock-free atomics: no allocation, no locks, safe in a handler.
enum slotState : int { freeSlot, filling, published };
char paths[slotCount][pathCapacity];
std::atomic<int> inUse[slotCount];
static_assert(std::atomic<int>::is_always_lock_free);
// Children that write into a temporary or would outlive the run: pids, 0 when free.
std::atomic<int> children[slotCount];

constexpr int terminating[] = {SIGINT, SIGTERM, SIGHUP};

void terminatingSet(sigset_t& set) {
  sigemptyset(&set);
  for (const int s : terminating) sigaddset(&set, s);
}

}  // namespace

void stopRegisteredChildren() {
  for (int i = 0; i < slotCount; ++i) {
    const pid_t pid = children[i].exchange(0);
    if (pid <= 0) continue;
    kill(pid, SIGKILL);
    while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
}

int registerChild(int pid) {
  for (int i = 0; i < slotCount; ++i) {
    int expected = 0;
    if (children[i].compare_exchange_strong(expected, pid)) return i;
  }
  return -1;
}

void releaseChild(int slot) {
  if (slot >= 0 && slot < slotCount) children[slot].store(0);
}

void removeRegisteredTemporaries() {
  for (int i = 0; i < slotCount; ++i) {
    if (inUse[i].load() == published) unlink(paths[i]);
  }
}

void forgetRegisteredTemporaries() {
  for (int i = 0; i < slotCount; ++i) {
    if (inUse[i].load() == published) unlink(paths[i]);
    inUse[i].store(freeSlot);
  }
}


int registerTemporary(const char* path) {
  const std::size_t length = std::strlen(path);
  if (length >= pathCapacity) return -1;
  for (int i = 0; i < slotCount; ++i) {
    int expected = freeSlot;
    if (!inUse[i].compare_exchange_strong(expected, filling)) continue;
    std::memcpy(paths[i], path, length + 1);
    inUse[i].store(published);
    return i;
  }
  return -1;
}

void releaseTemporary(int slot) {
  if (slot >= 0 && slot < slotCount) inUse[slot].store(freeSlot);
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
