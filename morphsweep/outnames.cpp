#include "outnames.h"

char outName_3dvFile[outNameSize];
char outName_objFile[outNameSize];
char outName_3dvTemplateFile[outNameSize];
const char* inputFile = nullptr;
int writeTemplateFile = 1;
