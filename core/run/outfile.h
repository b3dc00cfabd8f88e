// A result file that is either complete or absent: the text goes to a temporary name in
// the same folder and replaces the target only after every write, the flush to the disk
// and the close succeeded; the folder is flushed after the rename. A terminating signal
// removes the temporary (core/signals.h); one left by a crash or SIGKILL is removed by a
// later write of the same result once its process is gone (core/resultfolder.h).
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

class OutputFile {
 public:
  // Creates the temporary; ends the run with exitBadFile if it cannot.
  explicit OutputFile(std::string path, TemporarySweep sweep = TemporarySweep::thisFile);
  ~OutputFile();  // removes the temporary unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  FILE* stream() { return stream_; }
  const std::string& path() const { return path_; }
  // Writes a byte and takes it back, so that a folder or disk that cannot take a result
  // is found before the work that fills it; ends the run with exitBadFile as a failed write.
  void probe();
  // Flushes, syncs, closes and renames onto the target, then syncs the folder; ends the run
  // with exitBadFile on any error, leaving neither the temporary nor the target.
  void commit();

 private:
  [[noreturn]] void abandon(int error);
  void removeTemporary();

  std::string path_;
  std::string tempPath_;
  FILE* stream_ = nullptr;
  int fd_ = -1;
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
