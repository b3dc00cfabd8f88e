// What a run may learn about the folder its results go to before it writes them:
// temporaries that dead runs left behind, and results another live run is writing.
#pragma once

#include <string>

// A temporary untouched for this long, whose process is gone, is taken as abandoned. The
// wait keeps a run from removing the temporary of a live run on another machine that
// shares the folder (its process id means nothing here).
inline constexpr int abandonedAfterSeconds = 60;

// The process id in "<file name of path>.tmp<pid>.<n>", or 0 when `entry` is not a
// temporary of `path`.
long temporaryOwner(const std::string& entry, const std::string& path);

// Removes the temporaries of `path` whose process is gone and which are older than
// abandonedAfterSeconds. Nothing else is touched.
void removeAbandonedTemporaries(const std::string& path);

// The same, in one scan of the folder, for every result named "<stem>.<anything>": a run
// that writes a family of names (a series) sweeps once instead of once per name.
void removeAbandonedTemporariesOfStem(const std::string& stem);

// The same for every result in `folder` (empty: the working folder) whose file name
// `isResult` accepts.
void removeAbandonedTemporaries(const std::string& folder, bool (*isResult)(const std::string& fileName));

// True when `path` exists, or another live process of this machine holds a temporary of it.
bool resultTaken(const std::string& path);

// Creates the temporary of `path`, writes a byte to it and removes it: a folder or disk
// that would refuse the result is found before the work that fills it. Ends the run as
// a failed write of `path` does.
void checkResultFolder(const std::string& path);
