#include "measure/nearest.h"

#include <embree3/rtcore.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>
#include <stdexcept>

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

// The nearest triangle so far, for Embree's callback: each candidate is measured exactly
// in double, and the search radius shrinks to the best distance plus the slack.
struct NearestSoFar {
  const std::vector<std::array<Point, 3>>& corners;
  double slack;
  Point query;
  double best = std::numeric_limits<double>::infinity();
  Point nearest = query;
  std::size_t nearestTriangle = 0;

  bool tryTriangle(std::size_t t) {
    const auto& [a, b, c] = corners[t];
    const Point q = closestOnTriangle(query, a, b, c);
    const double d = length(sub(query, q));
    if (!(d < best)) return false;
    best = d, nearest = q, nearestTriangle = t;
    return true;
  }
  float radius() const { return std::nextafter(float(best * (1 + 1e-6) + slack), INFINITY); }
};

bool visit(RTCPointQueryFunctionArguments* args) {
  auto* found = static_cast<NearestSoFar*>(args->userPtr);
  if (args->primID >= found->corners.size() || !found->tryTriangle(args->primID)) return false;
  args->query->radius = found->radius();
  return true;
}

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

// One device and scene per surface; the device builds on the calling thread alone, so
// surfaces are built side by side on threads of the caller's choosing.
struct NearestTriangle::Tree {
  RTCDevice device = nullptr;
  RTCScene scene = nullptr;
  ~Tree() {
    if (scene) rtcReleaseScene(scene);
    if (device) rtcReleaseDevice(device);
  }
};

NearestTriangle::NearestTriangle(const std::vector<Point>& points, const std::vector<std::array<int, 3>>& faces) {
  const auto n = static_cast<long long>(points.size());
  std::vector<std::array<unsigned, 3>> indices;
  corners_.reserve(faces.size());
  indices.reserve(faces.size());
  for (const auto& f : faces) {
    if (!std::all_of(f.begin(), f.end(), [n](int c) { return c >= 0 && c < n; })) continue;
    corners_.push_back({points[std::size_t(f[0])], points[std::size_t(f[1])], points[std::size_t(f[2])]});
    indices.push_back({unsigned(f[0]), unsigned(f[1]), unsigned(f[2])});
  }
  if (corners_.empty()) return;
  double extent = 0;
  for (const Point& p : points) extent = std::max({extent, std::abs(p[0]), std::abs(p[1]), std::abs(p[2])});
  // A coordinate rounded to float moves by at most half a unit in its last place (2^-24 of
  // it); a box from such corners, and a distance to it, by a few of those.
  slack_ = 1e-6 * extent;
  if (!std::isfinite(slack_)) throw std::runtime_error("a surface point is not finite");

  tree_ = std::make_unique<Tree>();
  tree_->device = rtcNewDevice("threads=1");
  if (!tree_->device) throw std::runtime_error("cannot start Embree");
  tree_->scene = rtcNewScene(tree_->device);
  rtcSetSceneBuildQuality(tree_->scene, RTC_BUILD_QUALITY_LOW);
  rtcSetSceneFlags(tree_->scene, RTC_SCENE_FLAG_ROBUST);
  RTCGeometry geometry = rtcNewGeometry(tree_->device, RTC_GEOMETRY_TYPE_TRIANGLE);
  auto* vertices = static_cast<float*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3,
                                                               3 * sizeof(float), points.size()));
  auto* corners = static_cast<unsigned*>(rtcSetNewGeometryBuffer(geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3,
                                                                 3 * sizeof(unsigned), indices.size()));
  if (!vertices || !corners) {
    rtcReleaseGeometry(geometry);
    throw std::bad_alloc();
  }
  for (std::size_t i = 0; i < points.size(); ++i) {
    for (std::size_t d = 0; d < 3; ++d) vertices[3 * i + d] = float(points[i][d]);
  }
  std::copy(indices.begin(), indices.end(), reinterpret_cast<std::array<unsigned, 3>*>(corners));
  rtcCommitGeometry(geometry);
  rtcAttachGeometry(tree_->scene, geometry);
  rtcReleaseGeometry(geometry);
  rtcCommitScene(tree_->scene);
}

NearestTriangle::~NearestTriangle() = default;

namespace {

// The search from `hint`'s exact distance: a neighbour's nearest triangle makes it short.
NearestSoFar search(RTCScene scene, const std::vector<std::array<Point, 3>>& corners, double slack, const Point& p,
                    std::size_t hint) {
  // The query point is rounded to float as well, by up to the same share of its own size.
  const double local = slack + 1e-6 * std::max({std::abs(p[0]), std::abs(p[1]), std::abs(p[2])});
  NearestSoFar found{corners, local, p};
  found.tryTriangle(hint < corners.size() ? hint : 0);
  RTCPointQuery query;
  query.x = float(p[0]);
  query.y = float(p[1]);
  query.z = float(p[2]);
  query.time = 0;
  query.radius = found.radius();
  RTCPointQueryContext context;
  rtcInitPointQueryContext(&context);
  rtcPointQuery(scene, &query, &context, visit, &found);
  return found;
}

}  // namespace

double NearestTriangle::distance(const Point& p, std::size_t& hint) const {
  if (!tree_) return std::numeric_limits<double>::infinity();
  const NearestSoFar found = search(tree_->scene, corners_, slack_, p, hint);
  hint = found.nearestTriangle;
  return found.best;
}

Point NearestTriangle::nearest(const Point& p, std::size_t& hint) const {
  if (!tree_) return p;
  const NearestSoFar found = search(tree_->scene, corners_, slack_, p, hint);
  hint = found.nearestTriangle;
  return found.nearest;
}

std::vector<Point> doublePoints(const view::Mesh& mesh) {
  std::vector<Point> points;
  points.reserve(mesh.points.size());
  for (const auto& p : mesh.points) points.push_back({p[0], p[1], p[2]});
  return points;
}

}  // namespace stats
