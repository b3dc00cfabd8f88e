// Temporaries that a terminating signal (SIGINT, SIGTERM, SIGHUP) must not leave behind:
// the handler unlinks every registered path, then the process dies by the same signal.
#pragma once

// Installs the handlers once per process, and removal at exit of whatever is still
// registered then. A signal the process was started with ignored
// (nohup ignores SIGHUP) stays ignored.
void installTemporaryCleanup();

// Records a path for the handler; returns its slot, or -1 when the path cannot be kept
// (the table is full or the path too long), in which case a signal leaves it behind like
// a SIGKILL would.
int registerTemporary(const char* path);
void releaseTemporary(int slot);

// Records a running child for the handler, which kills and reaps it before removing the
// temporaries (a child may be writing one). Returns its slot, or -1 when the table is full.
int registerChild(int pid);
void releaseChild(int slot);

// Holds the three signals back while alive, so that creating a temporary and registering
// it (or renaming it and releasing it) happen as one step as a signal sees them.
class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld();
  ~TerminationSignalsHeld();
  TerminationSignalsHeld(const TerminationSignalsHeld&) = delete;
  TerminationSignalsHeld& operator=(const TerminationSignalsHeld&) = delete;

 private:
  unsigned char saved_[128];  // the previous signal mask (a sigset_t)
};
