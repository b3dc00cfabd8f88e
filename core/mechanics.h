// The relaxation step.
#pragma once

#include "mesh.h"

// Written by every forces() call: (numTriangles / reference count) ^ 0.75.
extern float lengthScale;
// morphsweep's command-line force factors, set by its driver.
extern int attractionFactor;
extern int repulsionFactor;

// One relaxation step: attraction along neighbour lists, inverse-square repulsion
// between close vertices, free vertices moved, dependents put back on their edges.
int forces();
