#include "threads.h"

#include <omp.h>
#include <pthread.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fail.h"

namespace {

// One variable's value as the runtime parses it: blanks, a whole number, blanks, an
// optional unit letter, blanks. 0 when it does not parse.
unsigned long long parseStackSize(const char* text) {
  if (!text) return 0;
  const char* c = text;
  while (std::isspace(static_cast<unsigned char>(*c))) ++c;
  if (!std::isdigit(static_cast<unsigned char>(*c))) return 0;
  errno = 0;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(c, &end, 10);
  if (errno || value == 0) return 0;
  c = end;
  while (std::isspace(static_cast<unsigned char>(*c))) ++c;
  int shift = 10;  // a number alone counts kibibytes
  switch (std::tolower(static_cast<unsigned char>(*c))) {
    case 'b':
      shift = 0;
      ++c;
      break;
    case 'k':
      shift = 10;
      ++c;
      break;
    case 'm':
      shift = 20;
      ++c;
      break;
    case 'g':
      shift = 30;
      ++c;
      break;
    default:
      break;
  }
  while (std::isspace(static_cast<unsigned char>(*c))) ++c;
  if (*c || value > (~0ULL >> shift)) return 0;
  return value << shift;
}

void* idle(void*) { return nullptr; }

}  // namespace

unsigned long long requestedThreadStack(const char* ompStackSize, const char* gompStackSize) {
  if (const unsigned long long size = parseStackSize(ompStackSize)) return size;
  return parseStackSize(gompStackSize);
}

void preferPassiveWaiting(char** argv) {
  if (!argv || !argv[0] || std::getenv("OMP_WAIT_POLICY") || std::getenv("GOMP_SPINCOUNT")) return;
  if (omp_get_max_threads() <= 1) return;
  if (setenv("OMP_WAIT_POLICY", "passive", 1) != 0) return;
  std::fflush(nullptr);
  execv("/proc/self/exe", argv);
  // No restart (no /proc, say): the run goes on with the runtime's default waiting.
}

void startThreads() {
  const int wanted = omp_get_max_threads();
  if (wanted <= 1) return;
  // The same stacks the runtime would ask for. Threads that can be started and joined
  // here leave their stacks in the C library's cache, where the runtime finds them.
  pthread_attr_t attr;
  if (pthread_attr_init(&attr) != 0) return;
  const unsigned long long stack = requestedThreadStack(std::getenv("OMP_STACKSIZE"), std::getenv("GOMP_STACKSIZE"));
  if (stack) pthread_attr_setstacksize(&attr, static_cast<std::size_t>(stack));
  std::vector<pthread_t> started;
  int error = 0;
  for (int i = 1; i < wanted && !error; ++i) {
    pthread_t thread;
    error = pthread_create(&thread, &attr, idle, nullptr);
    if (!error) started.push_back(thread);
  }
  for (const pthread_t thread : started) pthread_join(thread, nullptr);
  pthread_attr_destroy(&attr);
  if (error) {
    std::fprintf(stderr, "%s: cannot start %d threads (%s); running on one thread, with the same results\n",
                 programName(), wanted, std::strerror(error));
    omp_set_num_threads(1);
    return;
  }
  // The team is kept for the whole run, so no thread is created once the mesh is loaded.
#pragma omp parallel
  {}
}
