#include "version.h"

#include <cstdio>

#include "failure.h"
#include "version_info.h"

const char* morphVersion() { return generatedVersion; }

const char* morphCommit() { return generatedCommit; }

std::string versionLabel() {
  // A build from an exported tree without a recorded commit names its release alone.
  if (*generatedCommit == '\0') return generatedVersion;
  return std::string(generatedVersion) + " (commit " + generatedCommit + ")";
}

std::string versionText(const char* program) { return std::string(program) + " " + versionLabel() + "\n"; }

int printInfo(const std::string& text) {
  const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
  return written ? 0 : exitBadFile;
}
