// Test helper: starts as morphsweep and morphseed start, then prints the waiting policy the
// OpenMP runtime was loaded with (what OMP_WAIT_POLICY held when this process image began)
// and the thread count the run would use.
#include <omp.h>

#include <cstdio>
#include <cstdlib>

#include "threads.h"

int main(int, char** argv) {
  preferPassiveWaiting(argv);
  const char* policy = std::getenv("OMP_WAIT_POLICY");
  std::printf("%s\n", policy ? policy : "(unset)");
  startThreads();
  std::printf("%d\n", omp_get_max_threads());
}
