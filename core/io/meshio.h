// The writers of the 3DV and 3DV template files and of the OBJ export.
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "coordinatelimit.h"
#include "embryostate.h"

// The first vertex whose position is past coordinateLimit (or not a number) or whose normal
// is not finite, as "vertex i: <fault>"; such a store cannot be written.
std::optional<std::string> unwritableVertex(const Embryo& e);

class OutputFile;

// Writes the store as 3DV to `path`. Under rules that rescale on write (morphsweep) the
// store is first divided by the largest |coordinate| the embryo has met, in place.
void write3DV(Embryo& e, const char* path);
// The same into a result file the caller has already opened (and probed).
void write3DV(Embryo& e, OutputFile& out);
// Divides positions and normals by the largest |coordinate| the embryo has met so far (an
// all-zero store stays as it is): what morphsweep's 3DV writer does before writing.
void rescaleByLargest(Embryo& e);
// Writes the store as OBJ to `path`; `inputName` stands in its header comment.
void writeOBJ(const Embryo& e, const char* path, const char* inputName);
// Writes the store in template layout to `path`.
void writeTemplate(const Embryo& e, const char* path);
// The text of the two layouts, written as the store stands (no rescaling, no checks).
void write3DVText(const Embryo& e, FILE* f);
void writeTemplateText(const Embryo& e, FILE* f);
