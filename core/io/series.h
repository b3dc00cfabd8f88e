// A run's time series of snapshots: when they are taken, the cycle each vertex was born
// in, and the .pvd index that lists the snapshots written so far.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "outfile.h"
#include "snapshot.h"

class snapshotSeries {
 public:
  // Snapshots go to <stem>.c<cycle>.vtp and the index to <stem>.pvd; `interval` >= 1.
  snapshotSeries(std::string stem, int interval, std::vector<snapshotField> parameters);

  // After the load: every vertex is born in cycle 0, and cycle 0 is written.
  void loaded(const Embryo& e);
  // After growth cycle `cycle` (from 1): vertices added since the last call are born in
  // it; written when `cycle` is a multiple of the interval.
  void cycleDone(const Embryo& e, int cycle);
  // After the last cycle: written unless cycleDone has already written it.
  void finished(const Embryo& e, int cycle);

  // Goes on with a series that a resumed run had begun, from the checkpoint `checkpoint`:
  // the births so far and the cycles already written (the index lists them again at the
  // next snapshot). Those snapshots must be in this folder, or the index would list files
  // that are not there (a resume in another folder): raises runError(exitBadFile) naming
  // the checkpoint and what is missing.
  void resume(const std::string& checkpoint, std::vector<int> born, std::vector<int> written);

  const std::vector<int>& born() const { return born_; }
  const std::vector<int>& cyclesWritten() const { return written_; }

  static std::string snapshotName(const std::string& stem, int cycle);
  static std::string indexName(const std::string& stem);

 private:
  void recordBirths(const Embryo& e, int cycle);
  void write(const Embryo& e, int cycle);
  void writeIndex();

  std::string stem_;
  int interval_;
  std::vector<snapshotField> parameters_;
  std::vector<int> born_;     // per vertex index
  std::vector<int> written_;  // cycles, increasing
  bool swept_ = false;        // abandoned temporaries of the series' names removed
  WrittenFile index_;         // the index as last written, extended in place while unchanged
};

// The usage line of -v, the same in both programs.
inline constexpr const char* snapshotUsage =
    "-v cycles the snapshot interval: write <stem>.c<cycle>.vtp after cycle 0, every so many cycles and the "
    "last, listed in <stem>.pvd\n";
