// Where the body of a surface lies, robustly: a few points flung far from the rest (a run
// that went unstable) must not set the scale of a picture. The body's box is the box of the
// 0.5 to 99.5 percentiles of the point coordinates, axis by axis; a point counts as far
// out when it lies more than farBoxSizes of the box's longest side outside that box.
#pragma once

#include <array>
#include <vector>

namespace stats {

using Points = std::vector<std::array<float, 3>>;

inline constexpr double boxPercentile = 0.005;  // and 1 - this at the top
inline constexpr double farBoxSizes = 3;

struct BodyBox {
  std::array<double, 3> lo{0, 0, 0}, hi{0, 0, 0};
  double size() const;  // the longest side
};

// The percentile box of the points (all zero for none).
BodyBox bodyBox(const Points& points);

// The points far outside `box`: how many, and the largest distance of one from the box.
// A box of zero size has no far points.
struct FarPoints {
  long long count = 0;
  double farthest = 0;
};
FarPoints farPoints(const Points& points, const BodyBox& box);

// The distance of `p` from the box, 0 inside it.
double distanceFromBox(const std::array<float, 3>& p, const BodyBox& box);

}  // namespace stats
