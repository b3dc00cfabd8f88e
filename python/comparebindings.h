// The shape comparison's part of morph._morph (compare.cpp).
#pragma once

#include <pybind11/pybind11.h>

// Adds _distance, _medoid_distances and _effects to the module.
void addCompare(pybind11::module_& m);
