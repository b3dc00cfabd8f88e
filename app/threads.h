// Getting OpenMP's threads ready before the first parallel region: how idle threads wait,
// and a run that goes on with one thread when the others cannot be created.
#pragma once

// Called first in main, before any output: unless the user chose how idle threads wait
// (OMP_WAIT_POLICY or GOMP_SPINCOUNT is set), restarts the program with
// OMP_WAIT_POLICY=passive. Spinning threads take a shared core from the thread they wait
// for; the runtime reads the policy only when it is loaded, so it cannot be changed later.
// Does nothing when only one thread would run, or when the restart is not possible.
void preferPassiveWaiting(char** argv);

// Creates the thread team now, before any memory goes to the mesh. When the threads cannot
// be created (a memory limit, a process limit) the runtime would end the run; instead this
// notes it on standard error and the run goes on with one thread, with the same results.
void startThreads();

// The stack size in bytes the OpenMP runtime gives each thread, from OMP_STACKSIZE or else
// GOMP_STACKSIZE as the runtime reads them ("512M", "64 k", "100" = 100 KiB); 0 when
// neither gives a valid size (the runtime then takes the system's default).
unsigned long long requestedThreadStack(const char* ompStackSize, const char* gompStackSize);
