// The run of one sweep point: load the template, grow, name the results, write them.
#pragma once

#include "embryostate.h"

// Hands the command line's episode words and force factors to the embryo.
void applyCommandLine(Embryo& e);

// One embryo from the load of inputFile to "done": factors, cycles, normals, names, files.
void growEmbryo(Embryo& e);

// Grows the `batches` embryos, each in a second of its own; returns the last.
Embryo batchRun();
