// The seed surface loader: the icosahedron every morphseed embryo starts from.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "embryostate.h"

// The seed file, read from the working directory at the start of every embryo.
inline constexpr const char* seedFileName = "indexed_icosa";

// Replaces the store with the seed surface read from `path`: 12 vertices with their five
// neighbours each, 20 triangles turned to face away from the origin, normals recomputed.
// On a malformed or unreadable file returns the reason (naming the file, the record and
// the fault) and leaves the store empty: no vertices, no triangles.
std::optional<std::string> loadSeed(Embryo& e, const char* path);
// The same from an open stream, read from where it stands; `name` stands for the file in
// messages. The stream stays open.
std::optional<std::string> loadSeed(Embryo& e, FILE* f, const char* name);

// loadSeed, raising runError when the seed is refused (failure::open, read or malformed).
void readSeedIntoStructs(Embryo& e, const char* path);
