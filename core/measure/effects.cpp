#include "measure/effects.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>

namespace stats {
namespace {

// Variance of equally weighted values.
double variance(const std::vector<double>& v) {
  double mean = 0;
  for (const double x : v) mean += x;
  mean /= double(v.size());
  double sum = 0;
  for (const double x : v) sum += (x - mean) * (x - mean);
  return sum / double(v.size());
}

// The means of the cells grouped by `keep` (one flag per factor): the cells that agree on
// the kept factors average into one group.
std::vector<double> groupMeans(const std::vector<double>& cells, const std::vector<std::size_t>& counts,
                               const std::vector<bool>& keep) {
  std::vector<std::size_t> stride(counts.size());
  std::size_t groups = 1;
  for (std::size_t f = counts.size(); f-- > 0;) {
    stride[f] = keep[f] ? groups : 0;
    if (keep[f]) groups *= counts[f];
  }
  std::vector<double> sums(groups, 0);
  for (std::size_t c = 0; c < cells.size(); ++c) {
    std::size_t rest = c, group = 0;
    for (std::size_t f = counts.size(); f-- > 0;) {
      group += (rest % counts[f]) * stride[f];
      rest /= counts[f];
    }
    sums[group] += cells[c];
  }
  for (double& s : sums) s /= double(cells.size() / groups);
  return sums;
}

// First-order and total shares of every factor from the cell means (the first factor
// varying slowest); false when the means do not vary.
bool sharesOf(const std::vector<double>& cells, const std::vector<std::size_t>& counts, std::vector<Share>& out) {
  const auto [lo, hi] = std::minmax_element(cells.begin(), cells.end());
  if (*lo == *hi) return false;
  const double all = variance(cells);
  out.assign(counts.size(), {});
  for (std::size_t f = 0; f < counts.size(); ++f) {
    std::vector<bool> only(counts.size(), false), others(counts.size(), true);
    only[f] = true;
    others[f] = false;
    // Rounding may leave a share a hair outside 0..1.
    out[f].firstOrder = std::clamp(variance(groupMeans(cells, counts, only)) / all, 0.0, 1.0);
    out[f].total = std::clamp(1 - variance(groupMeans(cells, counts, others)) / all, 0.0, 1.0);
  }
  return true;
}

std::array<double, 2> interval(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const auto at = [&](double q) { return v[std::min(v.size() - 1, std::size_t(q * double(v.size() - 1) + 0.5))]; };
  return {at(0.025), at(0.975)};
}

std::string percent(double share) {
  char text[32];
  const double p = 100 * share;
  std::snprintf(text, sizeof text, std::abs(p) >= 9.95 ? "%.0f%%" : "%.1f%%", p);
  return text;
}

}  // namespace

Effects factorEffects(const FactorGrid& grid) {
  Effects e;
  std::size_t cellCount = 1;
  for (const std::size_t n : grid.levelCounts) cellCount *= n;
  std::vector<std::vector<double>> cells(cellCount);
  for (std::size_t r = 0; r < grid.values.size() && r < grid.levels.size(); ++r) {
    if (std::isnan(grid.values[r]) || grid.levels[r].size() != grid.levelCounts.size()) continue;
    std::size_t cell = 0;
    bool inside = true;
    for (std::size_t f = 0; f < grid.levelCounts.size(); ++f) {
      inside = inside && grid.levels[r][f] < grid.levelCounts[f];
      cell = cell * grid.levelCounts[f] + grid.levels[r][f];
    }
    if (inside) cells[cell].push_back(grid.values[r]);
  }
  e.emptyCells = std::size_t(std::count_if(cells.begin(), cells.end(), [](const auto& c) { return c.empty(); }));
  if (e.emptyCells || cells.empty()) return e;

  const auto means = [&](const std::vector<std::vector<double>>& replicates) {
    std::vector<double> m;
    for (const auto& c : replicates) {
      double sum = 0;
      for (const double v : c) sum += v;
      m.push_back(sum / double(c.size()));
    }
    return m;
  };
  if (!sharesOf(means(cells), grid.levelCounts, e.shares)) {
    e.outcome = Effects::Outcome::noEffect;
    return e;
  }
  e.outcome = Effects::Outcome::shares;
  if (std::none_of(cells.begin(), cells.end(), [](const auto& c) { return c.size() > 1; })) return e;

  // Resampled replicates; a round whose means do not vary tells nothing and is left out.
  std::mt19937_64 random(20261209);
  std::vector<std::vector<double>> first(grid.levelCounts.size()), total(grid.levelCounts.size());
  std::vector<std::vector<double>> drawn(cells.size());
  for (int round = 0; round < bootstrapRounds; ++round) {
    for (std::size_t c = 0; c < cells.size(); ++c) {
      drawn[c].resize(cells[c].size());
      for (double& v : drawn[c]) v = cells[c][random() % cells[c].size()];
    }
    std::vector<Share> s;
    if (!sharesOf(means(drawn), grid.levelCounts, s)) continue;
    for (std::size_t f = 0; f < s.size(); ++f) {
      first[f].push_back(s[f].firstOrder);
      total[f].push_back(s[f].total);
    }
  }
  for (std::size_t f = 0; f < e.shares.size(); ++f) {
    if (first[f].empty()) continue;
    e.shares[f].firstOrderInterval = interval(first[f]);
    e.shares[f].totalInterval = interval(total[f]);
  }
  return e;
}

std::vector<std::size_t> levelIndices(const std::vector<std::string>& words, std::size_t& count) {
  const auto number = [](const std::string& w, double& v) {
    char* end = nullptr;
    v = std::strtod(w.c_str(), &end);
    return !w.empty() && *end == '\0' && std::isfinite(v);
  };
  const auto before = [&](const std::string& a, const std::string& b) {
    double x = 0, y = 0;
    const bool nx = number(a, x), ny = number(b, y);
    if (nx && ny && x != y) return x < y;
    if (nx != ny) return nx;  // numbers first
    return a < b;
  };
  std::vector<std::string> distinct = words;
  std::sort(distinct.begin(), distinct.end(), before);
  distinct.erase(std::unique(distinct.begin(), distinct.end()), distinct.end());
  count = distinct.size();
  std::vector<std::size_t> indices;
  for (const std::string& w : words) {
    indices.push_back(std::size_t(std::lower_bound(distinct.begin(), distinct.end(), w, before) - distinct.begin()));
  }
  return indices;
}

std::string effectSentence(const std::string& factor, const std::string& measure, const Effects& e,
                           std::size_t factorIndex) {
  if (e.outcome == Effects::Outcome::noEffect) {
    return measure + " is the same at every point: no effect of " + factor;
  }
  if (e.outcome == Effects::Outcome::incomplete || factorIndex >= e.shares.size()) {
    return "no shares for " + measure + ": " + std::to_string(e.emptyCells) +
           (e.emptyCells == 1 ? " point of the grid has" : " points of the grid have") + " no value";
  }
  const Share& s = e.shares[factorIndex];
  std::string text = factor + " explains " + percent(s.firstOrder) + " of the variance of " + measure + " (" +
                     percent(s.total) + " with its interactions)";
  if (s.firstOrderInterval) {
    text += "; 95% interval over seeds " + percent((*s.firstOrderInterval)[0]) + " to " +
            percent((*s.firstOrderInterval)[1]);
  }
  return text;
}

}  // namespace stats
