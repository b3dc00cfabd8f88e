// Faults a test can inject into result writing through the environment variable
// MORPH_TEST_FAULT, which no user sets. Read once per process. Values:
//   fsync-file          the flush of a temporary to the disk fails (EIO)
//   fsync-folder        the flush of the folder after the rename fails (EIO)
//   no-fsync            nothing is flushed to the disk (to measure what flushing costs)
//   signal=INT@4096     the signal (INT, TERM, HUP or USR1) is raised once 4096 bytes of
//                       result files have been written
#pragma once

#include <cstddef>

struct TestFaults {
  bool fsyncFileFails = false;
  bool fsyncFolderFails = false;
  bool skipFsync = false;
  int signal = 0;  // 0: none
  std::size_t signalAfterBytes = 0;
};

const TestFaults& testFaults();
