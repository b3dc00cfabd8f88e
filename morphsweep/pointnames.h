// The names of a sweep point's results as a value: the input name, then every run
// parameter, from the numbers of a point alone.
#pragma once

#include <string>

#include "sweeppoint.h"

// Names from the numbers of `point` and the red lifespan to show, touching no global.
std::string outputName(const SweepPoint& point, short redLifeSpan, const char* ending);
long long longestOutputNameLength(const SweepPoint& point);
long long longestSnapshotNameLength(const SweepPoint& point);
// The red lifespan a run of `point` on a surface of `triangles` triangles ends with.
short finalRedLifespan(const SweepPoint& point, long long triangles);
