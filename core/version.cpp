#include "version.h"

#include "version_info.h"

const char* morphVersion() { return generatedVersion; }

const char* morphCommit() { return generatedCommit; }

std::string versionText(const char* program) {
  return std::string(program) + " " + generatedVersion + " (commit " + generatedCommit + ")\n";
}
