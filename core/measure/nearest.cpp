#include "measure/nearest.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <nanoflann.hpp>

namespace stats {
namespace {

Point sub(const Point& a, const Point& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
double dot(const Point& a, const Point& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double length(const Point& a) { return std::sqrt(dot(a, a)); }

Point along(const Point& a, const Point& ab, double t) { return {a[0] + ab[0] * t, a[1] + ab[1] * t, a[2] + ab[2] * t}; }

Point closestOnSegment(const Point& p, const Point& a, const Point& b) {
  const Point ab = sub(b, a);
  const double span = dot(ab, ab);
  return span > 0 ? along(a, ab, std::clamp(dot(sub(p, a), ab) / span, 0.0, 1.0)) : a;
}

// The centroids as nanoflann's dataset.
struct Centroids {
  const std::vector<Point>* points;
  std::size_t kdtree_get_point_count() const { return points->size(); }
  double kdtree_get_pt(std::size_t k, std::size_t dim) const { return (*points)[k][dim]; }
  template <class Box>
  bool kdtree_get_bbox(Box&) const {
    return false;
  }
};

// Keeps the nearest triangle so far. Every point of a triangle lies within the reach of one
// of its samples, so a triangle nearer than `best` has a sample nearer than best + maxReach:
// the tree visits only those, and a sample beyond best + its own reach is passed over
// without the exact test.
struct NearestSoFar {
  const std::vector<std::array<Point, 3>>& corners;
  const std::vector<std::size_t>& triangle;
  const std::vector<double>& reach;
  double maxReach;
  Point query;
  double best = std::numeric_limits<double>::infinity();
  Point nearest = query;
  std::size_t nearestTriangle = 0;

  void tryTriangle(std::size_t t) {
    const auto& [a, b, c] = corners[t];
    const Point q = closestOnTriangle(query, a, b, c);
    const double d = length(sub(query, q));
    if (d < best) best = d, nearest = q, nearestTriangle = t;
  }

  std::size_t size() const { return 1; }
  bool full() const { return true; }
  bool addPoint(double squared, std::size_t k) {
    const double within = (best + reach[k]) * (1 + 1e-12);
    if (squared > within * within) return true;
    tryTriangle(triangle[k]);
    return true;
  }
  double worstDist() const {
    // A little slack over the bound covers the rounding of centroids and reaches.
    const double bound = (best + maxReach) * (1 + 1e-9);
    return bound * bound;
  }
};

}  // namespace

// The closest point by the regions of the triangle's plane: a corner, an edge, or the
// inside (the usual barycentric case analysis).
Point closestOnTriangle(const Point& p, const Point& a, const Point& b, const Point& c) {
  const Point ab = sub(b, a), ac = sub(c, a), ap = sub(p, a);
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const Point bp = sub(p, b);
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const Point cp = sub(p, c);
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) return closestOnSegment(p, a, b);
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) return closestOnSegment(p, a, c);
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && d4 - d3 >= 0 && d5 - d6 >= 0) return closestOnSegment(p, b, c);
  const double sum = va + vb + vc;
  // A flat triangle has no inside of its own: its nearest point is on an edge.
  if (!(sum > 0) || !std::isfinite(sum)) {
    Point best = a;
    double bestDistance = std::numeric_limits<double>::infinity();
    for (const auto& [from, to] : {std::pair{a, b}, {b, c}, {c, a}}) {
      const Point q = closestOnSegment(p, from, to);
      if (const double d = length(sub(p, q)); d < bestDistance) bestDistance = d, best = q;
    }
    return best;
  }
  const double v = vb / sum, w = vc / sum;
  return {a[0] + ab[0] * v + ac[0] * w, a[1] + ab[1] * v + ac[1] * w, a[2] + ab[2] * v + ac[2] * w};
}

double pointTriangleDistance(const Point& p, const Point& a, const Point& b, const Point& c) {
  return length(sub(p, closestOnTriangle(p, a, b, c)));
}

struct NearestTriangle::Tree {
  using Index =
      nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, Centroids>, Centroids, 3, std::size_t>;
  Centroids data;
  Index index;
  explicit Tree(const std::vector<Point>& points)
      : data{&points}, index(3, data, nanoflann::KDTreeSingleIndexAdaptorParams(16)) {
    index.buildIndex();
  }
};

NearestTriangle::NearestTriangle(const std::vector<Point>& points, const std::vector<std::array<int, 3>>& faces) {
  const auto n = static_cast<long long>(points.size());
  std::vector<double> reaches;
  corners_.reserve(faces.size());
  reaches.reserve(faces.size());
  for (const auto& f : faces) {
    if (!std::all_of(f.begin(), f.end(), [n](int c) { return c >= 0 && c < n; })) continue;
    const std::array<Point, 3> t{points[std::size_t(f[0])], points[std::size_t(f[1])], points[std::size_t(f[2])]};
    corners_.push_back(t);
    reaches.push_back(std::max({length(sub(t[0], t[1])), length(sub(t[1], t[2])), length(sub(t[2], t[0]))}));
  }
  if (corners_.empty()) return;
  // A few large triangles (a surface grown unevenly) would widen every search: a triangle
  // longer than the median is cut into k x k pieces, each sampled at its centroid.
  std::vector<double> sorted = reaches;
  std::nth_element(sorted.begin(), sorted.begin() + std::ptrdiff_t(sorted.size() / 2), sorted.end());
  const double typical = sorted[sorted.size() / 2];
  samples_.reserve(corners_.size());
  triangle_.reserve(corners_.size());
  reach_.reserve(corners_.size());
  const auto addPiece = [&](std::size_t t, const Point& a, const Point& b, const Point& c) {
    const Point centre{(a[0] + b[0] + c[0]) / 3, (a[1] + b[1] + c[1]) / 3, (a[2] + b[2] + c[2]) / 3};
    const double r = std::max({length(sub(a, centre)), length(sub(b, centre)), length(sub(c, centre))});
    samples_.push_back(centre);
    triangle_.push_back(t);
    reach_.push_back(r);
    maxReach_ = std::max(maxReach_, r);
  };
  for (std::size_t t = 0; t < corners_.size(); ++t) {
    const auto& [a, b, c] = corners_[t];
    const double ratio = typical > 0 && std::isfinite(reaches[t]) ? reaches[t] / typical : 1;
    const int k = ratio > 1 ? int(std::min(std::ceil(ratio), 64.0)) : 1;
    if (k == 1) {
      addPiece(t, a, b, c);
      continue;
    }
    // The pieces of the triangle's k x k grid in barycentric steps of 1/k.
    const auto at = [&](int i, int j) {
      const double u = double(i) / k, v = double(j) / k;
      return Point{a[0] + (b[0] - a[0]) * u + (c[0] - a[0]) * v, a[1] + (b[1] - a[1]) * u + (c[1] - a[1]) * v,
                   a[2] + (b[2] - a[2]) * u + (c[2] - a[2]) * v};
    };
    for (int i = 0; i < k; ++i) {
      for (int j = 0; i + j < k; ++j) {
        addPiece(t, at(i, j), at(i + 1, j), at(i, j + 1));
        if (i + j + 1 < k) addPiece(t, at(i + 1, j), at(i + 1, j + 1), at(i, j + 1));
      }
    }
  }
  tree_ = std::make_unique<Tree>(samples_);
}

NearestTriangle::~NearestTriangle() = default;

double NearestTriangle::distance(const Point& p, std::size_t& hint) const {
  if (!tree_) return std::numeric_limits<double>::infinity();
  NearestSoFar result{corners_, triangle_, reach_, maxReach_, p};
  // The hint's exact distance bounds the search from its start.
  result.tryTriangle(hint < corners_.size() ? hint : 0);
  tree_->index.findNeighbors(result, p.data(), nanoflann::SearchParams());
  hint = result.nearestTriangle;
  return result.best;
}

Point NearestTriangle::nearest(const Point& p, std::size_t& hint) const {
  if (!tree_) return p;
  NearestSoFar result{corners_, triangle_, reach_, maxReach_, p};
  result.tryTriangle(hint < corners_.size() ? hint : 0);
  tree_->index.findNeighbors(result, p.data(), nanoflann::SearchParams());
  hint = result.nearestTriangle;
  return result.nearest;
}

std::vector<Point> doublePoints(const view::Mesh& mesh) {
  std::vector<Point> points;
  points.reserve(mesh.points.size());
  for (const auto& p : mesh.points) points.push_back({p[0], p[1], p[2]});
  return points;
}

}  // namespace stats
