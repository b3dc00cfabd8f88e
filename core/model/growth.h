// One growth cycle of the current embryo: the steps both programs run per cycle, in the
// order each program runs them.
#pragma once

#include <exception>
#include <functional>

#include "embryostate.h"

// Relaxation steps per cycle.
inline constexpr int forceStepsPerCycle = 20;

// Raises the embryo's totalCycles, then
//  - morphseed: takes k = the integer square root of numTriangles now, grows once
//    (splitting), relaxes forceStepsPerCycle times, diffuses k times;
//  - morphsweep: diffuses once, grows once (no split), says "Hormone Grew!" on its output
//    sink (standard output), relaxes forceStepsPerCycle times.
// Progress dots belong to the drivers.
// `stop`, when given, is asked before every relaxation step (and, in morphseed's cycle,
// before the diffusion); when it answers true the cycle ends at once by raising
// growthStopped, leaving the embryo half way through it for the caller to put back.
void growthCycle(Embryo& e, const std::function<bool()>& stop = {});

// A cycle abandoned because its stop query said so.
struct growthStopped : std::exception {
  const char* what() const noexcept override { return "growth stopped"; }
};
