// The names of a sweep point's results: the input name, then every run parameter.
#pragma once

#include <string>

#include "embryostate.h"
#include "pointnames.h"

// The output name with `ending` (".obj", ".3dv" or ".3dvTemplate"): the input name, then
// every run parameter as it stands now.
std::string outputName(const char* ending);

// The length, terminating NUL excluded, of the longest name this run will form: the
// template name when one is asked for, else the 3DV name. The red lifespan may still be
// rewritten by a new episode while it is 0 or below, so then its widest value is assumed.
long long longestOutputNameLength();

// The same for the snapshot names of a "-v" run: "<stem>.c<growthCycles>.vtp".
long long longestSnapshotNameLength();

// The red lifespan the run will leave in its result names, starting from lifeSpanR on a
// surface of `triangles` triangles; lifeSpanR is left renewed as the run would leave it.
// A sweep run keeps its triangle count, and at the start of every cycle a red lifespan of
// 0 or below is renewed if the surface is big enough for an episode; nothing else changes it.
short finalRedLifespan(long long triangles);

// The snapshots' stem once the template is loaded: the 3DV result name without ".3dv",
// with the red lifespan the run will end with.
std::string snapshotStem(const Embryo& e);

// Fills outName_objFile, outName_3dvFile and, when writeTemplateFile is set,
// outName_3dvTemplateFile, in that order. Raises runError (exitBadCommandLine) rather
// than cut a name that does not fit.
void formOutputNames();
