// The names of a sweep point's results: the input name, then every number the table puts
// in a name, from the point alone.
#pragma once

#include <string>

#include "sweeprun.h"

// The longest result name a run may form, terminating NUL included: the limit of the
// name buffers the results have always been named within.
inline constexpr int outNameSize = 260;

// The name with `ending` (".obj", ".3dv", ".3dvTemplate", "" for a stem), showing
// `redLifespan` for the red lifespan.
std::string outputName(const SweepRun& run, short redLifespan, const char* ending);
// The length, terminating NUL excluded, of the longest name this run will form: the
// template name when one is asked for, else the 3DV name. The red lifespan may still be
// rewritten by a new episode while it is 0 or below, so then its widest value is assumed.
long long longestOutputNameLength(const SweepRun& run);
// The same for the snapshot names of a "-v" run: "<stem>.c<growthCycles>.vtp".
long long longestSnapshotNameLength(const SweepRun& run);
// The red lifespan a run of `run` on a surface of `triangles` triangles ends with.
short finalRedLifespan(const SweepRun& run, long long triangles);
