// morphsweep's command line: 23 words at fixed positions, made into a SweepRun by the run
// parameters' table, then the pairs that may follow them.
#pragma once

#include "sweeprun.h"

// Reads the 23 words (and "-v N" after them) into `run`, strictly left to right, starting
// from what `run` holds; writes the count messages and any refusal with the usage lines to
// standard error. Returns 0 when the run may go on, otherwise the exit status to end with.
int readCommandLine(int argc, char** argv, SweepRun& run, bool notices = true);

// The whole command line: "-v N", "--checkpoint N" and "--resume FILE" after the 23 words
// in any order, each at most once. Fills `run` afresh, with the words a resume must repeat.
// It never exits, reads nothing but its arguments, and writes no file. Without `notices` the
// counts it corrects are corrected silently (a resume reading its checkpoint's words again).
int parseCommandLine(int argc, char** argv, SweepRun& run, bool notices = true);

// Whether two runs grow the same point into the same files (the checkpoint flags aside).
bool sameRun(const SweepRun& a, const SweepRun& b);
