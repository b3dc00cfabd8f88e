// morphseed's command line: how many embryos, how many cycles each, and the flags that
// choose seeds, templates and snapshots.
#pragma once

#include <optional>
#include <string>

#include "checkpointing.h"

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
// "--seed-file PATH": the seed surface every embryo starts from; by default indexed_icosa
// in the working folder.
extern std::string seedFilePath;

// "--checkpoint N" and "--resume FILE", and the words a resume must repeat.
extern checkpointSettings checkpoints;

// Reads the "-b batchCount cycleCount", "-t 0|1", "-s seed" and "-v N" groups (the last of a kind
// wins), starting from the defaults 1, 1, no template and the clock. Returns 0 when the
// run may go on, or exitBadCommandLine after a message and the usage lines when a word
// is refused.
int parseCommandLine(int argc, char** argv);

// The seed of embryo e (from 1) of a batch that starts at `first`, if it is still an int.
std::optional<int> seedOf(int first, long long e);
