#include "clockseed.h"

#include <chrono>
#include <ctime>
#include <thread>

int waitForNewSecond(int previousSeed) {
  for (;;) {
    const int seed = static_cast<int>(std::time(nullptr));
    if (seed != previousSeed) return seed;
    // Short sleeps instead of spinning; a check still sees the new second within a few
    // milliseconds of it.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}
