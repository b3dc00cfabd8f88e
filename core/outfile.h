// A result file that is either complete or absent: the text goes to a temporary name in
// the same folder and replaces the target only after every write and the close succeeded.
#pragma once

#include <cstdio>
#include <string>

// The most characters the temporary name adds to the target's name: ".tmp", the process
// id, ".", and an attempt number below 100.
inline constexpr int temporarySuffixLength = 17;

class OutputFile {
 public:
  // Creates the temporary; ends the run with exitBadFile if it cannot.
  explicit OutputFile(std::string path);
  ~OutputFile();  // removes the temporary unless committed
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  FILE* stream() { return stream_; }
  // Flushes, closes and renames onto the target; ends the run with exitBadFile on any error.
  void commit();

 private:
  std::string path_;
  std::string tempPath_;
  FILE* stream_ = nullptr;
};
