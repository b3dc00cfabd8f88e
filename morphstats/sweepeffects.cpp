#include "sweepeffects.h"

#include <cmath>
#include <limits>
#include <set>

#include "measure/table.h"

namespace stats {

const std::vector<std::string>& effectColumns() {
  static const std::vector<std::string> columns{"outcome",       "firstOrder", "total",     "firstOrderLow",
                                                "firstOrderHigh", "totalLow",   "totalHigh", "sentence"};
  return columns;
}

std::optional<std::string> sweepEffects(const SweepTable& table, const std::vector<double>& medoidDistance,
                                        SweepEffects& out) {
  out = SweepEffects{};
  FactorGrid grid;
  std::vector<std::size_t> slots;
  for (std::size_t s = 0; s < table.swept.size(); ++s) {
    if (table.swept[s] == replicateParameter) continue;
    out.factors.push_back(table.swept[s]);
    slots.push_back(s);
  }
  if (out.factors.empty()) return std::string("the sweep varies no parameter: there is nothing to share the variance");
  grid.levels.assign(table.points.size(), {});
  std::size_t cells = 1;
  for (const std::size_t s : slots) {
    std::vector<std::string> words;
    for (const auto& v : table.values) words.push_back(v[s]);
    std::size_t count = 0;
    const std::vector<std::size_t> index = levelIndices(words, count);
    for (std::size_t p = 0; p < index.size(); ++p) grid.levels[p].push_back(index[p]);
    grid.levelCounts.push_back(count);
    cells *= count;
  }
  const std::set<std::vector<std::size_t>> present(grid.levels.begin(), grid.levels.end());
  if (present.size() != cells) {
    return "the points are no full grid of the swept parameters: " + std::to_string(present.size()) + " of " +
           std::to_string(cells) + " combinations are there";
  }
  const auto add = [&](const std::string& name, const std::function<double(std::size_t)>& value) {
    grid.values.clear();
    for (std::size_t p = 0; p < table.points.size(); ++p) grid.values.push_back(value(p));
    out.rows.emplace_back(name, factorEffects(grid));
  };
  const double absent = std::numeric_limits<double>::quiet_NaN();
  for (std::size_t m = 0; m < measureColumns().size(); ++m) {
    add(measureColumns()[m], [&](std::size_t p) {
      const auto& measures = table.points[p].measures;
      return measures ? measureValues(*measures)[m] : absent;
    });
  }
  add("medoidDistance", [&](std::size_t p) { return p < medoidDistance.size() ? medoidDistance[p] : absent; });
  return std::nullopt;
}

std::string effectsCsv(const SweepEffects& e) {
  std::vector<std::string> header{"measure", "parameter"};
  header.insert(header.end(), effectColumns().begin(), effectColumns().end());
  std::string csv = csvLine(header);
  for (const auto& [measure, effects] : e.rows) {
    for (std::size_t f = 0; f < e.factors.size(); ++f) {
      std::vector<std::string> row{measure, e.factors[f]};
      if (effects.outcome == Effects::Outcome::shares) {
        const Share& s = effects.shares[f];
        const auto bound = [](const std::optional<std::array<double, 2>>& i, std::size_t k) {
          return i ? formatReal((*i)[k]) : std::string();
        };
        row.insert(row.end(), {"shares", formatReal(s.firstOrder), formatReal(s.total), bound(s.firstOrderInterval, 0),
                               bound(s.firstOrderInterval, 1), bound(s.totalInterval, 0), bound(s.totalInterval, 1)});
      } else {
        row.insert(row.end(), {effects.outcome == Effects::Outcome::noEffect ? "no effect" : "incomplete", "", "", "",
                               "", "", ""});
      }
      row.push_back(effectSentence(e.factors[f], measure, effects, f));
      csv += csvLine(row);
    }
  }
  return csv;
}

}  // namespace stats
