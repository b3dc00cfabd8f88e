// A growth series: snapshots of one embryo, each with the cycle it was taken at.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace stats {

struct Snapshot {
  std::optional<long long> cycle;  // from the command line; else the file must carry it
  std::string file;
};

// One command-line item of a series: "CYCLE:FILE" (CYCLE a whole number from 0) gives the
// cycle, a bare FILE takes the cycle its snapshot carries. A series file (.pvd) lists its
// snapshots. Returns the fault when the item cannot be used.
std::optional<std::string> addSeriesItem(const std::string& item, std::vector<Snapshot>& out);

}  // namespace stats
