// morphseed's batch loop: the run that grows and writes the embryos its command line asks for.
#pragma once

#include <string>

#include "checkpointing.h"
#include "commandline.h"
#include "embryostate.h"

class snapshotSeries;

// Grows the loaded seed for `cycles` cycles from fresh lifespans and cycle count, then
// recomputes the normals; snapshots go to `series` when one is given. A resumed embryo
// has `done` cycles behind it already and goes on from there; `keeper` writes its
// checkpoints.
void growEmbryo(Embryo& e, int cycles, snapshotSeries* series = nullptr, int done = 0,
                checkpointKeeper* keeper = nullptr);

// "embryo.<seed>.ckpt", the checkpoint beside the result (the episode tag after the seed).
std::string embryoCheckpointName(int seed, const std::string& tag = "");

// The hint after a seed file that cannot be opened: the folder it was looked for in and the
// flag that names another; "" for every other message.
std::string seedFileHint(const std::string& seedFilePath, const std::string& message);

// The template name written beside "embryo.<seed>.3dv" when "-t 1" asks for it.
std::string embryoTemplateName(int seed, const std::string& tag = "");

// Grows and writes the run's embryos, each seeded with a clock second of its own, or with
// the first seed, first seed + 1, ... when one was given. Each embryo after the first
// starts with the secretors and thresholds the one before it left. Returns the last.
Embryo runBatches(const SeedRun& run);
