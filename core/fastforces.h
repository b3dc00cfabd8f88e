// The relaxation step's pair sum made fast: vertices spread over threads and over vector
// lanes, and for meshes wide compared with the cut-off a cell grid that hands each vertex
// only its nearby ones. Forces, D and m come out bit-identical to the plain all-pairs sum.
#pragma once

#include "forces_detail.h"

// How close pairs are found; automatic takes the grid when the mesh is wide compared with
// the cut-off.
enum class pairSearch { automatic, allPairs, grid };
// The vector unit of the pair kernel; automatic takes the widest this processor has.
enum class vectorUnit { automatic, scalar, avx2, avx512 };

// How the kernels form each pair's three quotients where the step's values allow either:
// three divisions, or one division and an exact correction per quotient. Both give the
// same bits; automatic times both on the first large steps and keeps the faster.
enum class quotientForm { automatic, divided, corrected };

// Choices that tests and the benchmark force; the programs keep the defaults.
struct fastForceOptions {
  pairSearch search = pairSearch::automatic;
  vectorUnit unit = vectorUnit::automatic;
  quotientForm quotients = quotientForm::automatic;
  bool reference = false;  // forces() takes the plain all-pairs step instead
  // When set, forcesFast() sums pairs with this instead: the benchmark's previous kernel.
  void (*pairSum)(const forceSettings& settings, forceField& field) = nullptr;
};
extern fastForceOptions forceOptions;

// What the last fast pair sum did.
struct fastForceRun {
  bool grid = false;                     // the grid found the candidates
  vectorUnit unit = vectorUnit::scalar;  // the kernel that summed them
  long long candidatePairs = 0;          // (i, k) pairs tested against the cut-off
  bool corrected = false;                // quotients by one division and a correction
};
extern fastForceRun lastFastForces;

// Whether this processor can run the unit; scalar and automatic always can.
bool vectorUnitAvailable(vectorUnit unit);
// The unit automatic stands for on this processor.
vectorUnit widestVectorUnit();

// The pair sum of one step, leaving `field` exactly as referencePairForces would. All pairs
// go by strips of rows, each close pair computed once for both its vertices; the grid
// hands each block of vertices its nearby ones.
void fastPairForces(const forceSettings& settings, forceField& field);
// Whether one division and a correction give every quotient of a step exactly: gains,
// scale and cut-off in the range the correction is proven for, and every coordinate 0 or
// at least 2^-40 in size. Otherwise the step divides every quotient out.
bool quotientDomainOk(const forceSettings& settings, const float* x, const float* y, const float* z, int n);
// One whole step with the fast pair sum.
int forcesFast();
