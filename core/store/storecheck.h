// The store's invariants, walked in full: the triangle list, every vertex's lists and the
// pairing of dependent entries. Tests, fuzz targets and the soak driver call it directly;
// a validate build (MORPH_VALIDATE) calls it after every split and every growth cycle.
#pragma once

#include <string>
#include <vector>

#include "buildchecks.h"

class Embryo;

// What a sound store owes its pending mid-points. Splits list every vertex that has
// parents as a dependent of both; a loaded template keeps the parents of its pending
// mid-points as the file gave them but drops the entries, which is sound where nothing
// splits.
enum class PendingMidpoints { listed, parentsOnly };

// The rule the store of an embryo keeps: morphseed splits, morphsweep only loads.
PendingMidpoints programPendingRule(const Embryo& e);

// Every broken store invariant, as readable text (the first 20); empty when sound.
std::vector<std::string> storeProblems(const Embryo& e, PendingMidpoints rule = PendingMidpoints::listed);

// Walks the store with the program's rule; on the first broken invariant prints
// "<program>: store check failed after <event>: <problem>" (and how many more) to
// standard error and aborts, so the run stops where the store broke.
void validateStore(const Embryo& e, const char* event);
