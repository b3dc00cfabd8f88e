// One morphsweep run as a value: the numbers of its point, its input template and the
// options after the 23 words. The command-line reader makes it; the run loop and the name
// formers take it.
#pragma once

#include <string>

#include "checkpointing.h"
#include "parameters.h"

struct SweepRun {
  SweepValues values;             // the fourteen numbers
  std::string input;              // the input template, the 23rd word
  int snapshotInterval = 0;       // "-v N": a snapshot every N cycles; 0: none
  checkpointSettings checkpoints;  // "--checkpoint N", "--resume FILE", and the words a resume repeats

  const GrowthSettings& settings() const { return values.settings; }
};
