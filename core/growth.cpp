#include "growth.h"

#include <cmath>
#include <cstdio>

#include "mechanics.h"
#include "mesh.h"
#include "signalling.h"
#include "storecheck.h"

void growthCycle() {
  ++totalCycles;
  if constexpr (variant::growthSplits) {
    // Taken before the growth step, so it reflects the surface as the cycle found it.
    const int k = static_cast<int>(std::sqrt(static_cast<double>(numTriangles)));
    hormoneGrow();
    for (int step = 0; step < forceStepsPerCycle; ++step) forces();
    // The surface stays as it is through the diffusion steps: one plan serves them all.
    const diffusionPlan plan = planDiffusion();
    for (int step = 0; step < k; ++step) diffuse(plan);
  } else {
    diffuse();
    hormoneGrow();
    std::printf("Hormone Grew!\n");
    for (int step = 0; step < forceStepsPerCycle; ++step) forces();
  }
  if constexpr (validateBuild) validateStore("a growth cycle");
}
