#include "outfile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "failure.h"

namespace {

[[noreturn]] void failWrite(const std::string& path, int error) {
  fail(exitBadFile, "cannot write '" + path + "': " + std::strerror(error));
}

}  // namespace

OutputFile::OutputFile(std::string path) : path_(std::move(path)) {
  // Under a file-size limit (ulimit -f) a write past it would kill the process and leave
  // the temporary behind; ignored, the write fails and is reported like a full disk.
  static const bool sizeLimitIsAnError = std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR;
  (void)sizeLimitIsAnError;
  // O_EXCL with a per-process name keeps two runs writing into one folder apart.
  for (int attempt = 0; attempt < 100 && !stream_; ++attempt) {
    tempPath_ = path_ + ".tmp" + std::to_string(getpid()) + "." + std::to_string(attempt);
    const int fd = open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      const int error = errno;
      tempPath_.clear();
      failWrite(path_, error);
    }
    stream_ = fdopen(fd, "w");
    if (!stream_) {
      const int error = errno;
      close(fd);
      unlink(tempPath_.c_str());
      tempPath_.clear();
      failWrite(path_, error);
    }
  }
  if (!stream_) {
    tempPath_.clear();
    failWrite(path_, EEXIST);
  }
}

OutputFile::~OutputFile() {
  if (stream_) std::fclose(stream_);
  if (!tempPath_.empty()) unlink(tempPath_.c_str());
}

void OutputFile::commit() {
  errno = 0;
  const bool writeFailed = std::fflush(stream_) != 0 || std::ferror(stream_);
  int error = errno;
  const bool closeFailed = std::fclose(stream_) != 0;
  if (!error) error = errno;
  stream_ = nullptr;
  if (writeFailed || closeFailed) {
    unlink(tempPath_.c_str());
    tempPath_.clear();
    failWrite(path_, error ? error : EIO);
  }
  if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
    error = errno;
    unlink(tempPath_.c_str());
    tempPath_.clear();
    failWrite(path_, error);
  }
  tempPath_.clear();
}
