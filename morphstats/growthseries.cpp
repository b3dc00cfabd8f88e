#include "growthseries.h"

#include <cctype>
#include <cmath>

#include "io/seriesread.h"

namespace stats {
namespace {

bool endsWithPvd(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".pvd";
}

}  // namespace

std::optional<std::string> addSeriesItem(const std::string& item, std::vector<Snapshot>& out) {
  if (endsWithPvd(item)) {
    view::SeriesLoad series = view::loadSeries(item);
    const std::vector<long long> cycles = view::wholeCycles(series, item);
    if (!series.ok()) return series.error;
    for (std::size_t i = 0; i < cycles.size(); ++i) out.push_back({cycles[i], series.steps[i].file});
    return std::nullopt;
  }
  const std::size_t colon = item.find(':');
  std::size_t digits = 0;
  while (digits < item.size() && std::isdigit(static_cast<unsigned char>(item[digits]))) ++digits;
  if (colon == std::string::npos || digits != colon || digits == 0) {
    out.push_back({std::nullopt, item});
    return std::nullopt;
  }
  if (digits > 18) return "the cycle of '" + item + "' is too large";
  if (colon + 1 == item.size()) return "'" + item + "' names no file after the cycle";
  out.push_back({std::stoll(item.substr(0, colon)), item.substr(colon + 1)});
  return std::nullopt;
}

}  // namespace stats
