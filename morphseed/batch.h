// morphseed's command line and batch loop: how many embryos, how many cycles each, and
// the run that grows and writes them.
#pragma once

#include <optional>
#include <string>

// Embryos to grow and growth cycles per embryo; the command line may change both.
extern int batches;
extern int batchCycles;
// "-t 1": each embryo is also written as a template (embryo.<seed>.3dvTemplate) from
// which morphsweep can start; 0 (the default) writes the 3DV file alone.
extern int writeEmbryoTemplate;
// "-s seed": the first embryo's seed, each later one the next number, instead of the
// clock second at each embryo's start.
extern std::optional<int> firstSeed;
// "-v N": a snapshot of each embryo after cycle 0, every N cycles and the last, listed in
// embryo.<seed>.pvd; 0 (the default) writes none.
extern int snapshotInterval;

class snapshotSeries;

// Reads the "-b batchCount cycleCount", "-t 0|1", "-s seed" and "-v N" groups (the last of a kind
// wins), starting from the defaults 1, 1, no template and the clock. Returns 0 when the
// run may go on, or exitBadCommandLine after a message and the usage lines when a word
// is refused.
int parseCommandLine(int argc, char** argv);

// Grows the loaded seed for `cycles` cycles from fresh lifespans and cycle count, then
// recomputes the normals; snapshots go to `series` when one is given.
void growEmbryo(int cycles, snapshotSeries* series = nullptr);

// The template name written beside "embryo.<seed>.3dv" when writeEmbryoTemplate is set.
std::string embryoTemplateName(int seed);

// Grows and writes the `batches` embryos, each seeded with a clock second of its own, or
// with firstSeed, firstSeed + 1, ... when one was given.
void runBatches();

// runBatches, then ends the process with exit status 0.
[[noreturn]] void batchRun();
