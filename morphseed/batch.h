// morphseed's command line and batch loop: how many embryos, how many cycles each, and
// the run that grows and writes them.
#pragma once

// Embryos to grow and growth cycles per embryo; the command line may change both.
extern int batches;
extern int batchCycles;

// Reads the "-b batchCount cycleCount" groups (the last group wins), starting from the
// defaults 1 and 1. Returns 0 when the run may go on, or exitBadCommandLine after the
// usage lines when a word is refused.
int parseCommandLine(int argc, char** argv);

// One growth cycle with index j (from 0) of the current embryo.
void growthCycle(int j);

// Grows the loaded seed for `cycles` cycles from fresh lifespans and cycle count, then
// recomputes the normals.
void growEmbryo(int cycles);

// Grows and writes the `batches` embryos, each seeded with a clock second of its own.
void runBatches();

// runBatches, then ends the process with exit status 0.
[[noreturn]] void batchRun();
