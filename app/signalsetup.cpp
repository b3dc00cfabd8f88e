#include "signalsetup.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <mutex>

#include "signals.h"

namespace {

constexpr int terminating[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void removeTemporariesAndDie(int signal) {
  const int savedErrno = errno;
  stopRegisteredChildren();
  removeRegisteredTemporaries();
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
  stopRegisteredChildren();
  forgetRegisteredTemporaries();
}

}  // namespace

void installTemporaryCleanup() {
  static std::once_flag once;
  std::call_once(once, [] {
    std::atexit(removeTemporariesAtExit);
    struct sigaction action {};
    action.sa_handler = removeTemporariesAndDie;
    sigemptyset(&action.sa_mask);
    for (const int s : terminating) sigaddset(&action.sa_mask, s);  // one cleanup at a time
    action.sa_flags = SA_RESTART;
    std::signal(SIGXFSZ, SIG_IGN);
    for (const int s : terminating) {
      struct sigaction previous {};
      if (sigaction(s, nullptr, &previous) != 0 || previous.sa_handler == SIG_IGN) continue;
      sigaction(s, &action, nullptr);
    }
  });
}
