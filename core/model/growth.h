// One growth cycle of the current embryo: the steps both programs run per cycle, in the
// order each program runs them.
#pragma once

#include "embryo.h"

// Relaxation steps per cycle.
inline constexpr int forceStepsPerCycle = 20;

// Raises the embryo's totalCycles, then
//  - morphseed: takes k = the integer square root of numTriangles now, grows once
//    (splitting), relaxes forceStepsPerCycle times, diffuses k times;
//  - morphsweep: diffuses once, grows once (no split), says "Hormone Grew!" on its output
//    sink (standard output), relaxes forceStepsPerCycle times.
// Progress dots belong to the drivers.
void growthCycle(Embryo& e);
