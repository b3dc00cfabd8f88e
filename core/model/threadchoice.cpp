#include "threadchoice.h"

void threadChoice::record(bool everyThreadUsed, double secondsPerPair, int n) {
  const double t = secondsPerPair;
  if (!(t > 0)) return;
  if (n >= 2 * vertices || 2 * n <= vertices) {
    *this = threadChoice{};
    vertices = n;
    // What this step measured on the new mesh: a step on one thread says nothing yet.
    if (!everyThreadUsed) return;
  }
  ++steps;
  const bool wasTry = trying;
  trying = false;
  if (everyThreadUsed) {
    lastEvery = t;
    if (bestEvery == 0 || t < bestEvery) bestEvery = t;
    if (wasTry) {
      // Back to every thread as soon as it beats one thread again.
      if (t < lastOne) {
        onOne = false;
        backoff = firstBackoff;
        slowSteps = 0;
      }
      stepsOnOne = 0;
      return;
    }
    if (t > crowdedFactor * bestEvery) {
      if (++slowSteps >= backoff) trying = true;
    } else {
      slowSteps = 0;
    }
    if (steps == firstTryAfter) trying = true;
    return;
  }
  lastOne = t;
  if (wasTry) {
    slowSteps = 0;
    // One thread only when it wins clearly: a single slow step with every thread must not
    // send a quiet machine to one thread.
    if (t < switchMargin * lastEvery) {
      onOne = true;
      stepsOnOne = 0;
      backoff = firstBackoff;
    } else if (backoff < maxBackoff) {
      backoff *= 2;
    }
    return;
  }
  if (onOne && ++stepsOnOne >= retryAfter) trying = true;
}
