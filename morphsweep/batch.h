// The run of one sweep point: load the template, grow, name the results, write them.
#pragma once

#include "embryostate.h"
#include "sweeprun.h"

// One embryo from the load of the input template to "done": factors, cycles, normals,
// names, files. `e` is made with the run's settings.
void growEmbryo(Embryo& e, const SweepRun& run);

// Grows the run's embryo in a second of its own; returns it.
Embryo batchRun(const SweepRun& run);
