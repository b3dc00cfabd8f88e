#include "measure/extent.h"

#include <algorithm>
#include <cmath>

namespace stats {

namespace {

// The q-quantile of `values` (0 <= q <= 1), interpolated between neighbouring ranks.
double quantile(std::vector<double>& values, double q) {
  const double at = q * static_cast<double>(values.size() - 1);
  const auto below = static_cast<std::size_t>(std::floor(at));
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(below), values.end());
  const double a = values[below];
  if (below + 1 >= values.size()) return a;
  const double b = *std::min_element(values.begin() + static_cast<std::ptrdiff_t>(below) + 1, values.end());
  return a + (b - a) * (at - static_cast<double>(below));
}

}  // namespace

double BodyBox::size() const { return std::max({hi[0] - lo[0], hi[1] - lo[1], hi[2] - lo[2]}); }

BodyBox bodyBox(const Points& points) {
  BodyBox box;
  if (points.empty()) return box;
  std::vector<double> values(points.size());
  for (std::size_t k = 0; k < 3; ++k) {
    for (std::size_t i = 0; i < points.size(); ++i) values[i] = points[i][k];
    box.lo[k] = quantile(values, boxPercentile);
    box.hi[k] = quantile(values, 1 - boxPercentile);
  }
  return box;
}

double distanceFromBox(const std::array<float, 3>& p, const BodyBox& box) {
  double squares = 0;
  for (std::size_t k = 0; k < 3; ++k) {
    const double c = p[k];
    const double out = c < box.lo[k] ? box.lo[k] - c : c > box.hi[k] ? c - box.hi[k] : 0;
    squares += out * out;
  }
  return std::sqrt(squares);
}

FarPoints farPoints(const Points& points, const BodyBox& box) {
  FarPoints far;
  const double limit = farBoxSizes * box.size();
  if (!(limit > 0) || !std::isfinite(limit)) return far;
  for (const auto& p : points) {
    const double d = distanceFromBox(p, box);
    if (d > limit) {
      ++far.count;
      far.farthest = std::max(far.farthest, d);
    }
  }
  return far;
}

}  // namespace stats
