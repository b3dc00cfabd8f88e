// The pair kernel the relaxation step used before the current one, for comparison only.
#pragma once

#include "fastforces.h"
#include "forces_detail.h"

namespace previous {
// The step's pair sum by the previous kernel: grid or all pairs chosen as it chose them,
// the widest vector unit this processor has.
void pairForces(const forceSettings& settings, forceField& field, const Embryo& e);
}  // namespace previous
