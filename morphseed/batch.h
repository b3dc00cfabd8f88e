// morphseed's batch loop: the run that grows and writes the embryos its command line asks for.
#pragma once

#include <string>

class snapshotSeries;

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
