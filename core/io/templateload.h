// morphsweep's template loader: reads a 3DV template into the store, refusing bad input.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

#include "embryostate.h"

// Loads the template at `path` into the store and recomputes the normals. On bad input
// returns the reason (naming the file and where) and leaves the store empty.
std::optional<std::string> loadTemplate(Embryo& e, const char* path);
// The same from an open stream; `name` stands for the file in messages.
std::optional<std::string> loadTemplate(Embryo& e, std::istream& in, const std::string& name);
// Loads `path`; a bad template raises runError (failure::open or malformed) with the reason.
void readIntoStructs(Embryo& e, const char* path);
