// The machine's measured ceiling for the relaxation step's close pairs: every close pair
// costs three float divisions and one float square root, so the divider's throughput
// bounds any exact kernel.
#pragma once

#include "fastforces.h"

struct dividerPeak {
  int lanes;              // pairs one vector instruction carries
  int threads;            // streams run at once, one per thread
  double secondsPerPair;  // three divisions and a root, per pair, all threads together
};

// Independent streams of three divisions and one square root per pair on `unit` (scalar:
// divss/sqrtss, the plain loop's instructions), run on `threads` threads at once.
dividerPeak measureDividerPeak(vectorUnit unit, int threads);
