#include "outfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>

#include "failure.h"
#include "resultfolder.h"
#include "signals.h"
#include "testseam.h"

namespace {

[[noreturn]] void failWrite(const std::string& path, int error) {
  throw runError(failure::write, "cannot write '" + path + "': " + std::strerror(error));
}

[[noreturn]] void refuse(const std::string& path, const std::string& why) {
  throw runError(failure::write, "cannot write '" + path + "': " + why);
}

// Every output's stream writes through this sink rather than being a plain descriptor
// stream: a write that fails part way (a full disk, a file-size limit) leaves only the
// stream's error flag, and errno may be gone by the time the file is committed, so the
// sink keeps the cause. Writes as a descriptor stream does: the whole buffer, or an error.
ssize_t sinkWrite(void* cookie, const char* data, std::size_t size) {
  auto* sink = static_cast<OutputFile::Sink*>(cookie);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = write(sink->fd, data + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (!sink->error) sink->error = n < 0 ? errno : EIO;
      break;
    }
    done += static_cast<std::size_t>(n);
    // The signal seam: raised once enough bytes of every file of the process reached the
    // disk (a checkpoint is written on a thread of its own).
    if (const TestFaults& faults = testFaults(); faults.signal) {
      // Raised once, by the write that reaches the count, as one keypress or one kill would.
      static std::atomic<std::size_t> total{0};
      const std::size_t before = total.fetch_add(static_cast<std::size_t>(n));
      const std::size_t at = faults.signalAfterBytes;
      if (before + static_cast<std::size_t>(n) >= at && (before < at || before == 0)) raise(faults.signal);
    }
  }
  return static_cast<ssize_t>(done);  // short: the stream sets its error flag
}

int sinkSeek(void* cookie, off64_t* offset, int whence) {
  const off_t at = lseek(static_cast<OutputFile::Sink*>(cookie)->fd, *offset, whence);
  if (at < 0) return -1;
  *offset = at;
  return 0;
}

int sinkClose(void* cookie) { return close(static_cast<OutputFile::Sink*>(cookie)->fd); }

FILE* openStream(OutputFile::Sink& sink) {
  cookie_io_functions_t functions{};
  functions.write = sinkWrite;
  functions.seek = sinkSeek;
  functions.close = sinkClose;
  return fopencookie(&sink, "w", functions);
}

const char* kindOf(mode_t mode) {
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISBLK(mode)) return "a block device";
  return nullptr;
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

OutputFile::OutputFile(std::string path, TemporarySweep sweep, ExistingName existing)
    : path_(std::move(path)), target_(path_) {
  if (existing == ExistingName::kept) openKept();
  if (!direct_) {
    if (sweep == TemporarySweep::thisFile) removeAbandonedTemporaries(target_);
    // O_EXCL with a per-process name keeps two runs writing into one folder apart.
    for (int attempt = 0; attempt < 100 && fd_ < 0; ++attempt) {
      tempPath_ = target_ + ".tmp" + std::to_string(getpid()) + "." + std::to_string(attempt);
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
  }
  sink_.fd = fd_;
  stream_ = openStream(sink_);
  if (!stream_) {
    const int error = errno;
    close(fd_);
    fd_ = -1;
    abandon(error);
  }
}

void OutputFile::openKept() {
  struct stat name {};
  if (lstat(path_.c_str(), &name) != 0) return;  // a new file
  struct stat file = name;
  if (S_ISLNK(name.st_mode) && stat(path_.c_str(), &file) != 0) {
    if (errno == ENOENT) refuse(path_, "it is a symbolic link to a file that does not exist");
    failWrite(path_, errno);
  }
  if (const char* kind = kindOf(file.st_mode)) {
    refuse(path_, std::string("it is ") + kind + "; name a regular file, a named pipe or a terminal");
  }
  if (S_ISFIFO(file.st_mode) || S_ISCHR(file.st_mode)) {
    // Opened as a shell's redirection would: a pipe waits for its reader.
    fd_ = open(path_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) failWrite(path_, errno);
    struct stat opened {};
    if (fstat(fd_, &opened) == 0 && (S_ISFIFO(opened.st_mode) || S_ISCHR(opened.st_mode))) {
      direct_ = true;
      return;
    }
    // Replaced by a regular file since it was looked at: written as one.
    close(fd_);
    fd_ = -1;
  }
  if (S_ISLNK(name.st_mode)) {
    // The temporary goes beside the file the link names, so that the rename replaces that
    // file (or fails on a folder, as for a folder named directly) and leaves the link as it is.
    char* resolved = realpath(path_.c_str(), nullptr);
    if (!resolved) failWrite(path_, errno);
    target_ = resolved;
    std::free(resolved);
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
  // The cause a write met comes first: what followed it (a flush, a close) says less.
  if (sink_.error) error = sink_.error;
  if (stream_) std::fclose(stream_);
  stream_ = nullptr;
  removeTemporary();
  failWrite(path_, error ? error : EIO);
}

void OutputFile::probe() {
  if (direct_) return;  // nothing written to a pipe or a terminal can be taken back
  errno = 0;
  if (std::fputc('\n', stream_) == EOF || std::fflush(stream_) != 0) abandon(errno);
  if (ftruncate(fd_, 0) != 0 || lseek(fd_, 0, SEEK_SET) != 0) abandon(errno);
  std::rewind(stream_);
}

void OutputFile::commit() {
  errno = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_)) abandon(errno);
  if (direct_) {
    // A pipe or a device takes no flush to a disk, and has no name to rename onto.
    errno = 0;
    const bool closeFailed = std::fclose(stream_) != 0;
    stream_ = nullptr;
    if (closeFailed) abandon(errno);
    return;
  }
  if (const int error = syncFile(fd_)) abandon(error);
  errno = 0;
  const bool closeFailed = std::fclose(stream_) != 0;
  stream_ = nullptr;
  if (closeFailed) abandon(errno);
  {
    const TerminationSignalsHeld held;
    if (std::rename(tempPath_.c_str(), target_.c_str()) != 0) {
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
  if (const int error = syncFolderOf(target_)) {
    unlink(target_.c_str());
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
