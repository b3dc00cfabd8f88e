// The writers of the 3DV and 3DV template files and of the OBJ export.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "coordinatelimit.h"
#include "mesh.h"
#include "outnames.h"  // the writers write to these names

// The first vertex whose position is past coordinateLimit (or not a number) or whose normal
// is not finite, as "vertex i: <fault>"; such a store cannot be written.
std::optional<std::string> unwritableVertex();

class OutputFile;

// Writes the store as 3DV to the program's result name (morphsweep rescales by `largest` first).
void write3DV();
// The same into a result file the caller has already opened (and probed).
void write3DV(OutputFile& out);
// Writes the store as OBJ to outName_objFile, then the template when writeTemplateFile is set.
void writeOBJ();
// Writes the store in template layout to `path`.
void writeTemplate(const char* path);
// The text of the two layouts, written as the store stands (no rescaling, no checks).
void write3DVText(FILE* f);
void writeTemplateText(FILE* f);
