#include "seriesorder.h"

#include <algorithm>
#include <numeric>

namespace view {

std::vector<std::size_t> cycleOrder(const std::vector<SeriesEntry>& entries, std::string& problem) {
  problem.clear();
  std::vector<std::size_t> order(entries.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  const bool allKnown = std::all_of(entries.begin(), entries.end(), [](const SeriesEntry& e) { return e.cycle; });
  if (!allKnown) return order;
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return *entries[a].cycle < *entries[b].cycle; });
  for (std::size_t k = 1; k < order.size(); ++k) {
    const SeriesEntry& before = entries[order[k - 1]];
    const SeriesEntry& after = entries[order[k]];
    if (*before.cycle == *after.cycle) {
      problem = before.name + " and " + after.name + " are both cycle " + std::to_string(*after.cycle) +
                "; a series holds one snapshot per cycle";
      return {};
    }
  }
  return order;
}

}  // namespace view
