// What a run shows on standard error while an embryo grows: on a terminal one live line
// (cycle n of N, vertices, triangles, seconds per cycle, time left), rewritten in place;
// anywhere else one dot for every tenth cycle, the first included, as always.
#pragma once

#include <chrono>
#include <string>

#include "embryostate.h"

class CycleProgress {
 public:
  // For a run of `cycles` growth cycles of `e`. On a terminal the embryo's notices and
  // output lines first clear the live line, so that they stand on lines of their own.
  CycleProgress(Embryo& e, int cycles);
  // Clears the live line, also when the run ends by an error; gives the sinks back.
  ~CycleProgress();
  CycleProgress(const CycleProgress&) = delete;
  CycleProgress& operator=(const CycleProgress&) = delete;

  // Called before cycle j (from 0) runs.
  void beforeCycle(int j);

  // The live line's text before cycle j (from 0) of `cycles`, the cycle before it having
  // taken `lastCycle` seconds (negative: not timed, as before a resumed run's first cycle);
  // a function of its own so that its form can be tested.
  static std::string line(int j, int cycles, int vertices, int triangles, double lastCycle);

 private:
  void clear();

  Embryo& embryo_;
  int cycles_;
  bool live_;
  std::size_t shown_ = 0;  // characters of the live line now on the screen
  bool timed_ = false;     // a cycle of this process has started: cycleStart_ holds its start
  std::chrono::steady_clock::time_point cycleStart_, lastDrawn_;
  messageSink sink_, outputSink_;
};
