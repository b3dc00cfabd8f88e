// The relaxation step.
#pragma once

#include "embryostate.h"

// One relaxation step: attraction along neighbour lists, inverse-square repulsion
// between close vertices, free vertices moved, dependents put back on their edges.
int forces(Embryo& e);
