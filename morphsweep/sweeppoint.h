// The run parameters one morphsweep command line gives, as plain numbers: what the output
// names are formed from, apart from the program's globals.
#pragma once

struct SweepPoint {
  int growthCycles = 0;
  int modificationCount = 0;
  int templateSwitch = 0;
  short lifeSpanR = 0;
  unsigned char thresholdR = 0;
  short secretorR = 0;
  short lifeSpanG = 0;
  unsigned char thresholdG = 0;
  short secretorG = 0;
  short lifeSpanB = 0;
  unsigned char thresholdB = 0;
  short secretorB = 0;
  int kr = 0;                   // the value after "-kr"
  int kh = 0;                   // the value after "-kh"
  const char* input = nullptr;  // the input template (a command-line word)
  int snapshotInterval = 0;
};
