#include "outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>

#include "failure.h"
#include "resultfolder.h"
#include "signals.h"
#include "testseam.h"

namespace {

[[noreturn]] void failWrite(const std::string& path, int error) {
  throw runError(failure::write, "cannot write '" + path + "': " + std::strerror(error));
}

// The stream of the signal seam: counts the bytes that reach the file and raises the
// signal once enough have.
struct CountingSink {
  int fd;
  std::size_t written;
};

ssize_t countingWrite(void* cookie, const char* data, std::size_t size) {
  auto* sink = static_cast<CountingSink*>(cookie);
  const ssize_t n = write(sink->fd, data, size);
  if (n > 0) {
    // Over every file of the process; a checkpoint is written on a thread of its own.
    static std::atomic<std::size_t> total{0};
    total += static_cast<std::size_t>(n);
    const TestFaults& faults = testFaults();
    if (faults.signal && total >= faults.signalAfterBytes) raise(faults.signal);
  }
  return n;
}

int countingClose(void* cookie) {
  auto* sink = static_cast<CountingSink*>(cookie);
  const int status = close(sink->fd);
  delete sink;
  return status;
}

FILE* openStream(int fd) {
  if (!testFaults().signal) return fdopen(fd, "w");
  cookie_io_functions_t functions{};
  functions.write = countingWrite;
  functions.close = countingClose;
  FILE* stream = fopencookie(new CountingSink{fd, 0}, "w", functions);
  return stream;
}

int syncFile(int fd) {
  const TestFaults& faults = testFaults();
  if (faults.fsyncFileFails) return EIO;
  if (faults.skipFsync) return 0;
  return fsync(fd) == 0 ? 0 : errno;
}

// The rename lives in the folder's entries; a crash before they reach the disk could lose
// it. File systems that cannot sync a folder say so (EINVAL), which is no failure.
int syncFolderOf(const std::string& path) {
  const TestFaults& faults = testFaults();
  if (faults.fsyncFolderFails) return EIO;
  if (faults.skipFsync) return 0;
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  int error = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  if (error == EINVAL || error == ENOTSUP) error = 0;
  return error;
}

}  // namespace

OutputFile::OutputFile(std::string path, TemporarySweep sweep) : path_(std::move(path)) {
  if (sweep == TemporarySweep::thisFile) removeAbandonedTemporaries(path_);
  // O_EXCL with a per-process name keeps two runs writing into one folder apart.
  for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
    tempPath_ = path_ + ".tmp" + std::to_string(getpid()) + "." + std::to_string(attempt);
    const TerminationSignalsHeld held;
    fd_ = open(tempPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
      slot_ = registerTemporary(tempPath_.c_str());
      break;
    }
    if (errno == EEXIST) continue;
    const int error = errno;
    tempPath_.clear();
    failWrite(path_, error);
  }
  if (fd_ < 0) {
    tempPath_.clear();
    failWrite(path_, EEXIST);
  }
  stream_ = openStream(fd_);
  if (!stream_) {
    const int error = errno;
    close(fd_);
    fd_ = -1;
    abandon(error);
  }
}

OutputFile::~OutputFile() {
  if (stream_) std::fclose(stream_);
  removeTemporary();
}

void OutputFile::removeTemporary() {
  if (tempPath_.empty()) return;
  const TerminationSignalsHeld held;
  unlink(tempPath_.c_str());
  releaseTemporary(slot_);
  slot_ = -1;
  tempPath_.clear();
}

void OutputFile::abandon(int error) {
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
  removeTemporary();
  failWrite(path_, error ? error : EIO);
}

void OutputFile::probe() {
  errno = 0;
  if (std::fputc('\n', stream_) == EOF || std::fflush(stream_) != 0) abandon(errno);
  if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) abandon(errno);
  std::rewind(stream_);
}

void OutputFile::commit() {
  errno = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_)) abandon(errno);
  if (const int error = syncFile(fd_)) abandon(error);
  errno = 0;
  const bool closeFailed = std::fclose(stream_) != 0;
  stream_ = nullptr;
  if (closeFailed) abandon(errno);
  {
    const TerminationSignalsHeld held;
    if (std::rename(tempPath_.c_str(), path_.c_str()) != 0) {
      const int error = errno;
      unlink(tempPath_.c_str());
      releaseTemporary(slot_);
      tempPath_.clear();
      failWrite(path_, error);
    }
    releaseTemporary(slot_);
    slot_ = -1;
    tempPath_.clear();
  }
  // A result whose rename may not survive a crash counts as not written.
  if (const int error = syncFolderOf(path_)) {
    unlink(path_.c_str());
    failWrite(path_, error);
  }
}

WrittenFile writtenFile(const std::string& path) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return {st.st_dev, st.st_ino, st.st_size};
}

bool replaceEndInPlace(const std::string& path, WrittenFile& file, const std::string& oldEnd,
                       const std::string& newEnd) {
  const off_t at = file.size - static_cast<off_t>(oldEnd.size());
  if (file.size < 0 || at < 0) return false;
  const int fd = open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  struct stat st {};
  std::string found(oldEnd.size(), '\0');
  const bool same = fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_dev == file.device &&
                    st.st_ino == file.inode && st.st_size == file.size &&
                    pread(fd, found.data(), found.size(), at) == static_cast<ssize_t>(found.size()) &&
                    found == oldEnd;
  bool done = false;
  if (same) {
    const TerminationSignalsHeld held;
    const ssize_t n = pwrite(fd, newEnd.data(), newEnd.size(), at);
    const off_t end = at + static_cast<off_t>(newEnd.size());
    done = n == static_cast<ssize_t>(newEnd.size()) && (end >= file.size || ftruncate(fd, end) == 0) &&
           syncFile(fd) == 0;
    if (done) {
      file.size = end;
    } else if (n != 0) {
      // A short write (a full disk) or a failed flush: the old end goes back, which needs no
      // new space, so the file stays whole for a reader and the rewrite that follows.
      const bool restored = pwrite(fd, oldEnd.data(), oldEnd.size(), at) == static_cast<ssize_t>(oldEnd.size()) &&
                            ftruncate(fd, file.size) == 0;
      if (!restored) file.size = -1;
    }
  }
  close(fd);
  return done;
}
