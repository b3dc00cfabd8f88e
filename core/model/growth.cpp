#include "growth.h"

#include <cmath>

#include "mechanics.h"
#include "signalling.h"
#include "storecheck.h"

namespace {

void stopPoint(const std::function<bool()>& stop) {
  if (stop && stop()) throw growthStopped();
}

void relax(Embryo& e, const std::function<bool()>& stop) {
  for (int step = 0; step < forceStepsPerCycle; ++step) {
    stopPoint(stop);
    forces(e);
  }
}

}  // namespace

void growthCycle(Embryo& e, const std::function<bool()>& stop) {
  ++e.totalCycles;
  if (e.rules().growthSplits) {
    // Taken before the growth step, so it reflects the surface as the cycle found it.
    const int k = static_cast<int>(std::sqrt(static_cast<double>(e.numTriangles)));
    hormoneGrow(e);
    relax(e, stop);
    stopPoint(stop);
    // The surface stays as it is through the diffusion steps: one plan serves them all.
    const diffusionPlan plan = planDiffusion(e);
    for (int step = 0; step < k; ++step) diffuse(e, plan);
  } else {
    diffuse(e);
    hormoneGrow(e);
    e.output("Hormone Grew!\n");
    relax(e, stop);
  }
  if constexpr (validateBuild) validateStore(e, "a growth cycle");
}
