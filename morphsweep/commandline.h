// The run parameters of one sweep point, read from a command line of fixed shape.
#pragma once

#include "sweeppoint.h"

#include "checkpointing.h"
#include "embryostate.h"

extern int numGrowthCycles;    // growth cycles of the embryo; part of the output names
extern int modificationCount;  // part of the output names only; nothing in the growth reads it
extern int kr_input;           // the value after "-kr": becomes repulsionFactor
extern int kh_input;           // the value after "-kh": becomes attractionFactor
extern int batches;            // embryos per run; no word sets it, so always 1
extern int snapshotInterval;   // "-v N" after the 23 words: snapshot every N cycles; 0: none
// The episode words; the embryo starts from them, and the red lifespan the run ends with
// is written back for the result names.
extern short secretorR, secretorG, secretorB;
extern unsigned char thresholdR, thresholdG, thresholdB;
extern short lifeSpanR, lifeSpanG, lifeSpanB;

// Reads every word of the command line into `point`, strictly left to right, starting from
// what `point` holds, and touches nothing else; messages and return value as below.
int readCommandLine(int argc, char** argv, SweepPoint& point);
// The run parameters as the program's globals hold them now, and the reverse.
SweepPoint currentSweepPoint();
void setSweepPoint(const SweepPoint& point);

// "--checkpoint N" and "--resume FILE" after the 23 words, and the words a resume repeats.
extern checkpointSettings checkpoints;

// Stores every word of the command line into the run parameters, strictly left to right,
// writing the count messages and any error report to standard error. Returns 0 when the
// run may go on, otherwise the exit status the process should end with. It never exits,
// reads nothing but its arguments, and writes no file.
int parseCommandLine(int argc, char** argv);
