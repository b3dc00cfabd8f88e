// One growth cycle of the current embryo: the steps both programs run per cycle, in the
// order each program runs them.
#pragma once

// Relaxation steps per cycle.
inline constexpr int forceStepsPerCycle = 20;

// Raises totalCycles, then
//  - morphseed: takes k = the integer square root of numTriangles now, grows once
//    (splitting), relaxes forceStepsPerCycle times, diffuses k times;
//  - morphsweep: diffuses once, grows once (no split), prints "Hormone Grew!" on standard
//    output, relaxes forceStepsPerCycle times.
// Progress dots belong to the drivers.
void growthCycle();
