// morphseed's command line: how many embryos, how many cycles each, and the flags that
// choose seeds, templates and snapshots, read into a SeedRun.
#pragma once

#include <optional>
#include <string>

#include "checkpointing.h"
#include "episodechoice.h"
#include "seedfile.h"

struct SeedRun {
  int batches = 1;      // embryos to grow
  int batchCycles = 1;  // growth cycles per embryo
  // "-t 1": each embryo is also written as a template (embryo.<seed>.3dvTemplate) from
  // which morphsweep can start; 0 (the default) writes the 3DV file alone.
  int writeEmbryoTemplate = 0;
  // "-s seed": the first embryo's seed, each later one the next number, instead of the
  // clock second at each embryo's start.
  std::optional<int> firstSeed;
  // "-v N": a snapshot of each embryo after cycle 0, every N cycles and the last, listed in
  // embryo.<seed>.pvd; 0 (the default) writes none.
  int snapshotInterval = 0;
  // "--seed-file PATH": the seed surface every embryo starts from; by default indexed_icosa
  // in the working folder.
  std::string seedFilePath = seedFileName;
  // "--checkpoint N" and "--resume FILE", and the words a resume must repeat.
  checkpointSettings checkpoints;
  // "--episodes LIST": values new episodes take instead of their draws; none by default.
  EpisodeChoices episodes;

  // What the result names carry after the seed: the chosen values, "" when none.
  std::string nameTag() const;
};

// Reads the "-b batchCount cycleCount", "-t 0|1", "-s seed" and "-v N" groups (the last of a
// kind wins) into `run`, starting from the defaults 1, 1, no template and the clock.
// Returns 0 when the run may go on, or exitBadCommandLine after a message and the usage
// lines when a word is refused. Without `notices` the counts it corrects are corrected
// silently (a resume reading its checkpoint's words again).
int parseCommandLine(int argc, char** argv, SeedRun& run, bool notices = true);

// Whether two runs grow the same embryos into the same files (the checkpoint flags aside).
bool sameRun(const SeedRun& a, const SeedRun& b);

// The seed of embryo e (from 1) of a batch that starts at `first`, if it is still an int.
std::optional<int> seedOf(int first, long long e);
