// The relaxation step's pair sum made fast: vertices spread over threads and over vector
// lanes, and for meshes wide compared with the cut-off a cell grid that hands each vertex
// only its nearby ones. Forces, D and m come out bit-identical to the plain all-pairs sum.
#pragma once

#include "forces_detail.h"

// Whether this processor can run the unit; scalar and automatic always can.
bool vectorUnitAvailable(vectorUnit unit);
// The unit automatic stands for on this processor.
vectorUnit widestVectorUnit();
// The unit the programs' steps take here (what automatic resolves to when a step runs).
vectorUnit programVectorUnit();
// "scalar", "avx2" or "avx512"; "automatic" for the choice itself.
const char* vectorUnitName(vectorUnit unit);

// The pair sum of one step, leaving `field` exactly as referencePairForces would. All pairs
// go by strips of rows, each close pair computed once for both its vertices; the grid
// hands each block of vertices its nearby ones.
void fastPairForces(Embryo& e, const forceSettings& settings, forceField& field);
// Whether one division and a correction give every quotient of a step exactly: gains,
// scale and cut-off in the range the correction is proven for, and every coordinate 0 or
// at least 2^-40 in size. Otherwise the step divides every quotient out.
bool quotientDomainOk(const forceSettings& settings, const float* x, const float* y, const float* z, int n);
// One whole step with the fast pair sum.
int forcesFast(Embryo& e);
