// A sweep's run record as columns of a table: the build, machine and times of the run on
// every row, and on the row of a point's result (or of one of its snapshots) that point's
// command line and how it ended.
#pragma once

#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "io/runrecord.h"

namespace stats {

class Provenance {
 public:
  explicit Provenance(const io::RunRecord& record);

  // The column names, in table order.
  static const std::vector<std::string>& columns();
  // The fields of the row of `file` (as the table names it, relative to this folder).
  std::vector<std::string> fields(const std::string& file) const;

 private:
  std::vector<std::string> common_;                     // the run's fields, on every row
  std::unordered_map<std::string, io::RunPoint> points_;  // by the result's resolved path
  mutable std::map<std::string, std::string> folders_;  // folders as given, resolved
};

}  // namespace stats
