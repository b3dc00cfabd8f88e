#include "signals.h"

#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <mutex>

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

constexpr int terminating[] = {SIGINT, SIGTERM, SIGHUP};

void terminatingSet(sigset_t& set) {
  sigemptyset(&set);
  for (const int s : terminating) sigaddset(&set, s);
}

extern "C" void removeTemporariesAndDie(int signal) {
  const int savedErrno = errno;
  for (int i = 0; i < slotCount; ++i) {
    if (inUse[i].load() == published) unlink(paths[i]);
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
  for (int i = 0; i < slotCount; ++i) {
    if (inUse[i].load() == published) unlink(paths[i]);
    inUse[i].store(freeSlot);
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
    std::signal(SIGXFSZ, SIG_IGN);
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
