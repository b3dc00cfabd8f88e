// What the fuzz targets assert about the store a loader leaves: a failed check prints its
// reason and aborts, which libFuzzer records as a finding with the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

#include "embryostate.h"
#include "storecheck.h"

inline void fuzzCheck(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", what);
  std::abort();
}

// Every store invariant (the core's walker) holds; the first broken one is the finding.
inline void fuzzCheckStore(const Embryo& e, PendingMidpoints rule) {
  const auto problems = storeProblems(e, rule);
  if (problems.empty()) return;
  std::fprintf(stderr, "fuzz check failed: %s\n", problems.front().c_str());
  std::abort();
}
