// The order of a growth series: snapshots given in any order (a shell glob puts c10 before
// c2) are shown, filmed and measured by the cycle each carries.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace view {

struct SeriesEntry {
  std::optional<long long> cycle;  // unset: the file names no cycle
  std::string name;                // the file, for messages
};

// The entries' indices by increasing cycle. When some entry has no cycle there is nothing
// to order by, and the order given stands. Two entries of one cycle are a fault:
// "<a> and <b> are both cycle <n>; a series holds one snapshot per cycle".
std::vector<std::size_t> cycleOrder(const std::vector<SeriesEntry>& entries, std::string& problem);

}  // namespace view
