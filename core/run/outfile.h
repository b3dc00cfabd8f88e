// A result file that is either complete or absent: the text goes to a temporary name in
// the same folder and replaces the target only after every write, the flush to the disk
// and the close succeeded; the folder is flushed after the rename. A failed write is
// reported with its own cause (a full disk, a file-size limit). A terminating signal
// removes the temporary (core/run/signals.h); one left by a crash or SIGKILL is removed by
// a later write of the same result once its process is gone (core/run/resultfolder.h).
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

// The most characters the temporary name adds to the target's name: ".tmp", the process
// id, ".", and an attempt number below 100.
inline constexpr int temporarySuffixLength = 17;

// Whether creating a result first removes the abandoned temporaries of dead runs beside it
// (a scan of its folder), or the caller already did, once for a whole family of names.
enum class TemporarySweep { thisFile, doneByCaller };

// What becomes of a name that exists as something other than a regular file. The programs'
// results replace whatever has their name, as they always did. The tools' outputs (a
// picture, a table, a report) keep it: a named pipe or a character device (a terminal,
// /dev/null) is written directly, with no temporary; a symbolic link is followed to the
// file it names, which must exist, and that file is written as if it had been named; a
// socket or a block device is refused naming its kind. A folder fails as before.
enum class ExistingName { replaced, kept };

class OutputFile {
 public:
  // Creates the temporary (or opens a kept special file); ends the run with exitBadFile if
  // it cannot.
  explicit OutputFile(std::string path, TemporarySweep sweep = TemporarySweep::thisFile,
                      ExistingName existing = ExistingName::replaced);
  ~OutputFile();  // removes the temporary unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  FILE* stream() { return stream_; }
  const std::string& path() const { return path_; }
  // Writes a byte and takes it back, so that a folder or disk that cannot take a result
  // is found before the work that fills it; ends the run with exitBadFile as a failed write.
  // Nothing is written to a special file written directly.
  void probe();
  // Flushes, syncs, closes and renames onto the target, then syncs the folder; ends the run
  // with exitBadFile on any error, leaving neither the temporary nor the target. A special
  // file written directly is only flushed and closed.
  void commit();

  // What the stream writes to: the file, and the first failed write's cause (errno), 0
  // while none failed, which the stream itself does not keep.
  struct Sink {
    int fd = -1;
    int error = 0;
  };

 private:
  [[noreturn]] void abandon(int error);
  void removeTemporary();
  // For a kept name: opens a named pipe or character device directly, or learns the file
  // a symbolic link names (target_); refuses a socket, a block device and a broken link.
  void openKept();

  std::string path_;    // as the user named it, for messages
  std::string target_;  // the file renamed onto: path_, or the file a symbolic link names
  std::string tempPath_;
  bool direct_ = false;  // a special file written directly, without a temporary
  FILE* stream_ = nullptr;
  int fd_ = -1;
  Sink sink_;
  int slot_ = -1;  // in the signal handler's table
};

// A file this process wrote whole: which file it is and how long, so that a later change in
// place touches only that file, unchanged since (another run may have replaced it).
struct WrittenFile {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = -1;  // -1: not known, so never changed in place
};

// The file now at `path` (size -1 if it cannot be looked at).
WrittenFile writtenFile(const std::string& path);

// Replaces the last bytes of `path`, which must be `oldEnd`, with `newEnd`, in one write that
// a dying process either made whole or not at all, then flushes it to the disk; only while the
// file is still `file` (updated here). Returns false, with the file as it was, when the file
// has changed or the write or flush fails: the caller then writes it whole.
bool replaceEndInPlace(const std::string& path, WrittenFile& file, const std::string& oldEnd,
                       const std::string& newEnd);
