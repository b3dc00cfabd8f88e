#include "seedclaim.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <ctime>
#include <regex>
#include <string>

#include "clockseed.h"
#include "resultfolder.h"

namespace {

// An advisory lock on the folder itself, so that no lock file is left behind. Where the
// file system has no locks the claim still works, only without the wait for one another.
class FolderLock {
 public:
  explicit FolderLock(const char* folder) : fd_(open(folder, O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {
    if (fd_ >= 0) flock(fd_, LOCK_EX);
  }
  ~FolderLock() {
    if (fd_ >= 0) close(fd_);  // closing releases the lock
  }
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

 private:
  int fd_;
};

// "embryo.<digits>.3dv" or "embryo.<digits>.3dvTemplate", with the chosen episode values'
// tag after the seed or not: a result some morphseed run in this folder may write.
bool isEmbryoResult(const std::string& name) {
  // Made at each call (only temporaries' names come here): a static one would be the
  // library's mutable state.
  const std::regex result(
      "embryo\\.[0-9]+(\\.(red|green|blue)-(lifespan|threshold|secretor)-?[0-9]+(to-?[0-9]+)?)*\\.3dv(Template)?");
  return std::regex_match(name, result);
}

}  // namespace

std::string embryoResultName(int seed, const std::string& tag) {
  return "embryo." + std::to_string(seed) + tag + ".3dv";
}

EmbryoClaim claimEmbryo(std::optional<int> givenSeed, int previousSeed, const std::string& tag) {
  EmbryoClaim claim;
  if (givenSeed) {
    claim.seed = *givenSeed;
    claim.result = std::make_unique<OutputFile>(embryoResultName(claim.seed, tag));
  } else {
    const FolderLock lock(".");
    // A clock-seeded run holds its claim while the embryo grows, so a SIGKILL then leaves
    // it behind; any later clock-seeded run may write any embryo's name, so it clears
    // abandoned temporaries of them all.
    removeAbandonedTemporaries("", isEmbryoResult);
    int second = static_cast<int>(std::time(nullptr));
    while (second == previousSeed || resultTaken(embryoResultName(second, tag))) second = waitForNewSecond(second);
    claim.seed = second;
    claim.result = std::make_unique<OutputFile>(embryoResultName(claim.seed, tag));
  }
  return claim;
}
