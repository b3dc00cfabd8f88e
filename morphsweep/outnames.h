// The names of morphsweep's result files and its input, set from the command line and
// handed to the writers.
#pragma once

inline constexpr int outNameSize = 260;  // the output name buffers

extern char outName_3dvFile[outNameSize];  // the result files
extern char outName_objFile[outNameSize];
extern char outName_3dvTemplateFile[outNameSize];
extern const char* inputFile;  // the input template (a command-line word)
extern int writeTemplateFile;  // non-zero: the template result is written too
