// Temporaries that a terminating signal (SIGINT, SIGTERM, SIGHUP) must not leave behind:
// every result file being written registers its temporary here, from any thread.
#pragma once

// Records a running child for the handler, which kills and reaps it before removing the
// temporaries (a child may be writing one). Returns its slot, or -1 when the table is full.
int registerChild(int pid);
void releaseChild(int slot);
// Kills and reaps every registered child; safe in a signal handler.
void stopRegisteredChildren();

// Unlinks every registered path; safe in a signal handler (lock-free, no allocation). The
// handler itself is the program's (app/signalsetup.h): the library installs none.
void removeRegisteredTemporaries();
// The same at exit, leaving the table empty.
void forgetRegisteredTemporaries();

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
