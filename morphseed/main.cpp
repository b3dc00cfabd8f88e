#include "batch.h"

int main(int argc, char** argv) {
  if (const int status = parseCommandLine(argc, argv)) return status;
  batchRun();
}
