// The names of the programs' result files and of morphsweep's input, set from the command
// line and read by the writers.
#pragma once

inline constexpr int outNameSize = 260;     // morphsweep's output name buffers
inline constexpr int seedOutNameSize = 64;  // morphseed's

extern char outName[seedOutNameSize];      // morphseed's result file
extern char outName_3dvFile[outNameSize];  // morphsweep's result files
extern char outName_objFile[outNameSize];
extern char outName_3dvTemplateFile[outNameSize];
extern const char* inputFile;  // morphsweep's input template (a command-line word)
extern int writeTemplateFile;  // non-zero: writeOBJ also writes the template
extern float largest;          // largest |coordinate| write3DV has met in this process
