// The 3DV and 3DV template files, morphsweep's template loader, and the OBJ export.
#pragma once

#include <cstdio>
#include <iosfwd>
#include <optional>
#include <string>

#include "mesh.h"

inline constexpr int outNameSize = 260;      // morphsweep's output name buffers
inline constexpr int seedOutNameSize = 64;   // morphseed's

// The largest |coordinate| the files hold. Differences of two positions, their squares and
// the sum of three squares then stay below the float range (3 * (2e18)^2 = 1.2e37 < 3.4e38),
// so no relaxation step or normal of a loaded surface can overflow. Far beyond any embryo.
inline constexpr float coordinateLimit = 1e18f;
// The limit as messages show it.
std::string coordinateRange();
// The first vertex whose position is past coordinateLimit (or not a number) or whose normal
// is not finite, as "vertex i: <fault>"; such a store cannot be written.
std::optional<std::string> unwritableVertex();

class OutputFile;

extern char outName[seedOutNameSize];        // morphseed's result file
extern char outName_3dvFile[outNameSize];    // morphsweep's result files
extern char outName_objFile[outNameSize];
extern char outName_3dvTemplateFile[outNameSize];
extern const char* inputFile;                // morphsweep's input template (a command-line word)
extern int writeTemplateFile;                // non-zero: writeOBJ also writes the template
extern float largest;                        // largest |coordinate| write3DV has met in this process

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

// Loads the template at `path` into the store and recomputes the normals. On bad input
// returns the reason (naming the file and where) and leaves the store empty.
std::optional<std::string> loadTemplate(const char* path);
// The same from an open stream; `name` stands for the file in messages.
std::optional<std::string> loadTemplate(std::istream& in, const std::string& name);
// Loads inputFile; a bad template ends the run with exitBadFile.
void readIntoStructs();
