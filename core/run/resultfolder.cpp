#include "resultfolder.h"

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <functional>

#include "outfile.h"

namespace {

struct PathParts {
  std::string folder;  // with its trailing '/'; empty for the working folder
  std::string file;
};

PathParts split(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return {"", path};
  return {path.substr(0, slash + 1), path.substr(slash + 1)};
}

bool allDigits(const std::string& text, std::size_t from, std::size_t to) {
  if (from >= to || to - from > 18) return false;
  for (std::size_t i = from; i < to; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  return true;
}

bool processGone(long pid) { return kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH; }

// Calls `visit(entry name, owner pid)` for every temporary of `path` in its folder.
void forEachTemporary(const std::string& path, const std::function<void(const std::string&, long)>& visit) {
  const PathParts parts = split(path);
  DIR* folder = opendir(parts.folder.empty() ? "." : parts.folder.c_str());
  if (!folder) return;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (const long pid = temporaryOwner(name, parts.file)) visit(parts.folder + name, pid);
  }
  closedir(folder);
}

}  // namespace

long temporaryOwner(const std::string& entry, const std::string& path) {
  const std::string base = split(path).file + ".tmp";
  if (entry.size() <= base.size() || entry.compare(0, base.size(), base) != 0) return 0;
  const std::size_t dot = entry.find('.', base.size());
  if (dot == std::string::npos || !allDigits(entry, base.size(), dot) || !allDigits(entry, dot + 1, entry.size())) {
    return 0;
  }
  const long pid = std::stol(entry.substr(base.size(), dot - base.size()));
  return pid > 0 ? pid : 0;
}

namespace {

void removeIfAbandoned(const std::string& temporary, long pid) {
  if (pid == getpid() || !processGone(pid)) return;
  struct stat info {};
  if (lstat(temporary.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  if (std::time(nullptr) - info.st_mtime < abandonedAfterSeconds) return;
  unlink(temporary.c_str());
}

}  // namespace

void removeAbandonedTemporaries(const std::string& path) { forEachTemporary(path, removeIfAbandoned); }

void removeAbandonedTemporariesOfStem(const std::string& stem) {
  const PathParts parts = split(stem);
  const std::string prefix = parts.file + ".";
  DIR* folder = opendir(parts.folder.empty() ? "." : parts.folder.c_str());
  if (!folder) return;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name.compare(0, prefix.size(), prefix) != 0) continue;
    // "<result>.tmp<pid>.<n>": the result is the name before its last ".tmp".
    const std::size_t tmp = name.rfind(".tmp");
    if (tmp == std::string::npos || tmp < prefix.size()) continue;
    if (const long pid = temporaryOwner(name, name.substr(0, tmp))) removeIfAbandoned(parts.folder + name, pid);
  }
  closedir(folder);
}

void removeAbandonedTemporaries(const std::string& folder, bool (*isResult)(const std::string& fileName)) {
  DIR* entries = opendir(folder.empty() ? "." : folder.c_str());
  if (!entries) return;
  const std::string prefix = folder.empty() || folder.back() == '/' ? folder : folder + "/";
  while (const dirent* entry = readdir(entries)) {
    const std::string name = entry->d_name;
    const std::size_t tmp = name.rfind(".tmp");
    if (tmp == std::string::npos || !isResult(name.substr(0, tmp))) continue;
    if (const long pid = temporaryOwner(name, name.substr(0, tmp))) removeIfAbandoned(prefix + name, pid);
  }
  closedir(entries);
}

bool resultTaken(const std::string& path) {
  struct stat info {};
  if (lstat(path.c_str(), &info) == 0) return true;
  bool taken = false;
  forEachTemporary(path, [&](const std::string&, long pid) {
    if (pid != getpid() && !processGone(pid)) taken = true;
  });
  return taken;
}

void checkResultFolder(const std::string& path) {
  OutputFile probe(path);
  probe.probe();
}
