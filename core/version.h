// The release and the commit a program was built from, as its --version prints them.
#pragma once

#include <string>

// The project's release number, e.g. "1.0.0".
const char* morphVersion();
// `git describe --always --dirty` of the tree at build time, or "unknown" without git.
const char* morphCommit();

// "<program> <release> (commit <commit>)\n".
std::string versionText(const char* program);
