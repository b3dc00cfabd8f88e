// The run of one sweep point: load the template, grow, name the results, write them.
#pragma once

// One embryo from the load of inputFile to "done": factors, cycles, normals, names, files.
void growEmbryo();

// Grows the `batches` embryos, each in a second of its own, and ends the process with
// exit status 0.
[[noreturn]] void batchRun();
