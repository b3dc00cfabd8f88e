// The release and the commit a program was built from, as its --version prints them.
#pragma once

#include <string>

// The project's release number, e.g. "1.0.0".
const char* morphVersion();
// `git describe --always --dirty` of the tree at build time; in an exported tree the
// commit git archive wrote into .commit, or "" when there is none.
const char* morphCommit();

// "<release> (commit <commit>)", or "<release>" without a commit.
std::string versionLabel();
// "<program> " + versionLabel() + "\n".
std::string versionText(const char* program);

// Writes the text of --help or --version on standard output: 0 when it was written, else
// exitBadFile (standard output closed or on a full disk).
int printInfo(const std::string& text);
