// morphsweep's template loader: reads a 3DV template into the store, refusing bad input.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>

// Loads the template at `path` into the store and recomputes the normals. On bad input
// returns the reason (naming the file and where) and leaves the store empty.
std::optional<std::string> loadTemplate(const char* path);
// The same from an open stream; `name` stands for the file in messages.
std::optional<std::string> loadTemplate(std::istream& in, const std::string& name);
// Loads inputFile; a bad template ends the run with exitBadFile.
void readIntoStructs();
