// The distance from a point to the nearest point on a surface's triangles: Embree's
// bounding volume hierarchy over the triangles proposes candidates, each measured exactly.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "io/meshread.h"

namespace stats {

using Point = std::array<double, 3>;

// The point of the triangle (a, b, c), its edges and corners included, nearest to `p`; a
// triangle whose corners are collinear or coincide is taken as its edges.
Point closestOnTriangle(const Point& p, const Point& a, const Point& b, const Point& c);
double pointTriangleDistance(const Point& p, const Point& a, const Point& b, const Point& c);

// A surface's triangles, ready for distance queries. Faces naming a missing point are left
// out; a surface without a triangle is at infinite distance from everything.
class NearestTriangle {
 public:
  NearestTriangle(const std::vector<Point>& points, const std::vector<std::array<int, 3>>& faces);
  ~NearestTriangle();
  NearestTriangle(const NearestTriangle&) = delete;
  NearestTriangle& operator=(const NearestTriangle&) = delete;

  // The exact distance from `p` to the nearest triangle. `hint` is a triangle to start
  // from (a neighbour's nearest makes the search short) and becomes p's nearest triangle.
  double distance(const Point& p, std::size_t& hint) const;
  // The nearest point itself (`p` when there is no triangle).
  Point nearest(const Point& p, std::size_t& hint) const;

 private:
  struct Tree;
  std::vector<std::array<Point, 3>> corners_;
  // How far the hierarchy's single-precision boxes may lie from the triangles in double:
  // added to every search radius, so that no candidate is missed.
  double slack_ = 0;
  std::unique_ptr<Tree> tree_;
};

// A mesh's points in double.
std::vector<Point> doublePoints(const view::Mesh& mesh);

}  // namespace stats
