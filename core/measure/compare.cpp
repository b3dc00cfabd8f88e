#include "measure/compare.h"

#include <Eigen/Eigenvalues>
#include <Eigen/Geometry>
#include <algorithm>
#include <cmath>
#include <nanoflann.hpp>
#include <numbers>
#include <thread>

#include "measure/measures.h"
#include "measure/table.h"

namespace stats {
namespace {

// The surface's area-weighted centroid and second central moments per unit area; the
// mean of its points when it has no area.
struct Moments {
  Eigen::Vector3d centre = Eigen::Vector3d::Zero();
  Eigen::Matrix3d spread = Eigen::Matrix3d::Zero();
};

Moments surfaceMoments(const std::vector<Point>& points, const std::vector<std::array<int, 3>>& faces) {
  Moments m;
  double area = 0;
  Eigen::Vector3d first = Eigen::Vector3d::Zero();
  Eigen::Matrix3d second = Eigen::Matrix3d::Zero();
  const auto n = static_cast<long long>(points.size());
  for (const auto& f : faces) {
    if (!std::all_of(f.begin(), f.end(), [n](int c) { return c >= 0 && c < n; })) continue;
    Eigen::Vector3d v[3];
    for (int k = 0; k < 3; ++k) v[k] = Eigen::Vector3d(points[std::size_t(f[std::size_t(k)])].data());
    const double a = 0.5 * (v[1] - v[0]).cross(v[2] - v[0]).norm();
    const Eigen::Vector3d s = v[0] + v[1] + v[2];
    area += a;
    first += a / 3 * s;
    // The integral of x x' over a triangle: area / 12 (sum of corner products + s s').
    second += a / 12 * (v[0] * v[0].transpose() + v[1] * v[1].transpose() + v[2] * v[2].transpose() + s * s.transpose());
  }
  if (area > 0 && std::isfinite(area)) {
    m.centre = first / area;
    m.spread = second / area - m.centre * m.centre.transpose();
    return m;
  }
  for (const Point& p : points) m.centre += Eigen::Vector3d(p.data());
  if (!points.empty()) m.centre /= double(points.size());
  return m;
}

double surfaceArea(const view::Mesh& mesh) {
  const std::vector<Point> points = doublePoints(mesh);
  const auto n = static_cast<long long>(points.size());
  double area = 0;
  for (const auto& f : mesh.faces) {
    if (!std::all_of(f.begin(), f.end(), [n](int c) { return c >= 0 && c < n; })) continue;
    const Eigen::Vector3d a(points[std::size_t(f[0])].data()), b(points[std::size_t(f[1])].data()),
        c(points[std::size_t(f[2])].data());
    area += 0.5 * (b - a).cross(c - a).norm();
  }
  return area;
}

Transform fromMatrix(const Eigen::Matrix4d& h, bool scaled) {
  Transform t;
  const Eigen::Matrix3d sr = h.topLeftCorner<3, 3>();
  t.scale = scaled ? std::cbrt(sr.determinant()) : 1.0;
  for (std::size_t r = 0; r < 3; ++r) {
    for (std::size_t c = 0; c < 3; ++c) t.rotation[r][c] = sr(Eigen::Index(r), Eigen::Index(c)) / t.scale;
    t.translation[r] = h(Eigen::Index(r), 3);
  }
  return t;
}

// The fixed surface's vertices in a k-d tree: the cheap pairing of the coarse steps, whose
// points may still lie far from the surface.
struct Vertices {
  const std::vector<Point>* points;
  std::size_t kdtree_get_point_count() const { return points->size(); }
  double kdtree_get_pt(std::size_t k, std::size_t dim) const { return (*points)[k][dim]; }
  template <class Box>
  bool kdtree_get_bbox(Box&) const {
    return false;
  }
};
using VertexTree =
    nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<double, Vertices>, Vertices, 3, std::size_t>;

// Every step of iterative closest point: each (sub-sampled) vertex of the moving surface,
// moved by the transform so far, is paired with its nearest vertex or its nearest point on
// the fixed surface, and the best transform for those pairs is solved in closed form.
struct Icp {
  const NearestTriangle& surface;
  const VertexTree& vertices;
  const std::vector<Point>& fixedPoints;
  const std::vector<Point>& moving;
  bool scaled;

  // Mean squared distance of the pairs after `steps` at most; `t` becomes the transform
  // of the smallest, and stays when no step improves on it.
  double refine(Transform& t, std::size_t stride, int steps, double enough, bool onSurface) const {
    const std::size_t count = (moving.size() + stride - 1) / stride;
    Eigen::Matrix3Xd from(3, Eigen::Index(count)), to(3, Eigen::Index(count));
    double best = std::numeric_limits<double>::infinity();
    Transform current = t;
    std::size_t hint = 0;
    for (int step = 0; step <= steps; ++step) {
      double sum = 0;
      for (std::size_t k = 0, j = 0; k < moving.size(); k += stride, ++j) {
        const Point x = current.apply(moving[k]);
        Point y;
        if (onSurface) {
          y = surface.nearest(x, hint);
        } else {
          std::size_t nearest = 0;
          double squared = 0;
          vertices.knnSearch(x.data(), 1, &nearest, &squared);
          y = fixedPoints[nearest];
        }
        from.col(Eigen::Index(j)) = Eigen::Vector3d(moving[k].data());
        to.col(Eigen::Index(j)) = Eigen::Vector3d(y.data());
        for (std::size_t d = 0; d < 3; ++d) sum += (x[d] - y[d]) * (x[d] - y[d]);
      }
      const double meanSquare = sum / double(count);
      if (!(meanSquare < best)) break;
      const bool small = meanSquare > best * (1 - enough);
      best = meanSquare;
      t = current;
      if (small || meanSquare == 0 || step == steps) break;
      current = fromMatrix(Eigen::umeyama(from, to, scaled), scaled);
    }
    return best;
  }
};

}  // namespace

std::optional<Registration> parseRegistration(const std::string& word) {
  for (const Registration r : {Registration::none, Registration::rigid, Registration::similarity}) {
    if (word == registrationName(r)) return r;
  }
  return std::nullopt;
}

const char* registrationName(Registration r) {
  switch (r) {
    case Registration::none: return "none";
    case Registration::rigid: return "rigid";
    case Registration::similarity: return "similarity";
  }
  return "";
}

Point Transform::apply(const Point& x) const {
  Point y{};
  for (std::size_t r = 0; r < 3; ++r) {
    y[r] = scale * (rotation[r][0] * x[0] + rotation[r][1] * x[1] + rotation[r][2] * x[2]) + translation[r];
  }
  return y;
}

double Transform::rotationDegrees() const {
  const double cosine = (rotation[0][0] + rotation[1][1] + rotation[2][2] - 1) / 2;
  return std::acos(std::clamp(cosine, -1.0, 1.0)) * 180 / std::numbers::pi;
}

Transform registerOnto(const view::Mesh& fixedMesh, const view::Mesh& movingMesh, Registration r) {
  if (r == Registration::none) return {};
  const std::vector<Point> fixedPoints = doublePoints(fixedMesh), moving = doublePoints(movingMesh);
  if (fixedPoints.empty() || moving.empty()) return {};
  const NearestTriangle surface(fixedPoints, fixedMesh.faces);
  const Vertices data{&fixedPoints};
  VertexTree vertices(3, data, nanoflann::KDTreeSingleIndexAdaptorParams(16));
  vertices.buildIndex();
  const Icp icp{surface, vertices, fixedPoints, moving, r == Registration::similarity};

  // Starts: the principal axes of one onto the other's, each way round their signs that
  // keeps a rotation, and the placement as it is; axes of a nearly round body are
  // arbitrary, which the last start covers.
  const Moments a = surfaceMoments(fixedPoints, fixedMesh.faces), b = surfaceMoments(moving, movingMesh.faces);
  const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> ea(a.spread), eb(b.spread);
  const double traceB = b.spread.trace();
  const double scale = r == Registration::similarity && traceB > 0 && a.spread.trace() > 0
                           ? std::sqrt(a.spread.trace() / traceB)
                           : 1.0;
  std::vector<Eigen::Matrix3d> rotations;
  for (const Eigen::Vector3d& signs : {Eigen::Vector3d(1, 1, 1), Eigen::Vector3d(-1, -1, 1), Eigen::Vector3d(-1, 1, -1),
                                     Eigen::Vector3d(1, -1, -1)}) {
    Eigen::Matrix3d rotation = ea.eigenvectors() * signs.asDiagonal() * eb.eigenvectors().transpose();
    if (rotation.determinant() < 0) rotation = -rotation;
    rotations.push_back(rotation);
  }
  rotations.push_back(Eigen::Matrix3d::Identity());

  // Each start is refined on a sample of the points, paired with vertices; the best goes on
  // with all points, then with the nearest points of the surface, which a copy's vertices
  // meet exactly.
  const std::size_t stride = std::max<std::size_t>(1, moving.size() / 500);
  Transform best;
  double bestError = std::numeric_limits<double>::infinity();
  for (const Eigen::Matrix3d& rotation : rotations) {
    Transform t;
    t.scale = scale;
    const Eigen::Vector3d shift = a.centre - scale * rotation * b.centre;
    for (std::size_t i = 0; i < 3; ++i) {
      for (std::size_t j = 0; j < 3; ++j) t.rotation[i][j] = rotation(Eigen::Index(i), Eigen::Index(j));
      t.translation[i] = shift(Eigen::Index(i));
    }
    const double error = icp.refine(t, stride, 20, 1e-3, false);
    if (error < bestError) bestError = error, best = t;
  }
  icp.refine(best, 1, 50, 1e-6, false);
  icp.refine(best, 1, 50, 1e-9, true);
  return best;
}

Distances surfaceDistances(const std::vector<Point>& aPoints, const std::vector<std::array<int, 3>>& aFaces,
                           const std::vector<Point>& bPoints, const std::vector<std::array<int, 3>>& bFaces) {
  Distances d;
  double sum = 0, squares = 0;
  const auto oneWay = [&](const std::vector<Point>& from, const NearestTriangle& to) {
    std::size_t hint = 0;
    for (const Point& p : from) {
      const double distance = to.distance(p, hint);
      d.hausdorff = std::max(d.hausdorff, distance);
      sum += distance;
      squares += distance * distance;
    }
  };
  oneWay(aPoints, NearestTriangle(bPoints, bFaces));
  oneWay(bPoints, NearestTriangle(aPoints, aFaces));
  const double count = double(aPoints.size() + bPoints.size());
  if (count > 0) {
    d.mean = sum / count;
    d.rms = std::sqrt(squares / count);
  }
  return d;
}

Comparison compare(const view::Mesh& a, const view::Mesh& b, Registration r) {
  Comparison c;
  c.registration = r;
  c.transform = registerOnto(a, b, r);
  std::vector<Point> moved = doublePoints(b);
  if (r != Registration::none) {
    for (Point& p : moved) p = c.transform.apply(p);
  }
  c.distances = surfaceDistances(doublePoints(a), a.faces, moved, b.faces);
  c.volumeDifference = enclosedSolid(b).volume - enclosedSolid(a).volume;
  c.areaDifference = surfaceArea(b) - surfaceArea(a);
  return c;
}

std::vector<double> medoidDistances(const std::vector<const view::Mesh*>& meshes, std::size_t threads,
                                    std::size_t* medoid) {
  const std::size_t n = meshes.size();
  std::vector<std::pair<std::size_t, std::size_t>> pairs;
  for (std::size_t i = 0; i < n; ++i) {
    for (std::size_t j = i + 1; j < n; ++j) pairs.emplace_back(i, j);
  }
  std::vector<double> pairDistance(pairs.size());
  const auto work = [&](std::size_t first, std::size_t step) {
    for (std::size_t k = first; k < pairs.size(); k += step) {
      pairDistance[k] = compare(*meshes[pairs[k].first], *meshes[pairs[k].second], Registration::rigid).distances.rms;
    }
  };
  threads = std::clamp<std::size_t>(threads, 1, std::max<std::size_t>(1, pairs.size()));
  std::vector<std::thread> pool;
  for (std::size_t t = 1; t < threads; ++t) pool.emplace_back(work, t, threads);
  work(0, threads);
  for (std::thread& t : pool) t.join();

  std::vector<std::vector<double>> d(n, std::vector<double>(n, 0));
  for (std::size_t k = 0; k < pairs.size(); ++k) {
    d[pairs[k].first][pairs[k].second] = d[pairs[k].second][pairs[k].first] = pairDistance[k];
  }
  std::size_t centre = 0;
  double least = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < n; ++i) {
    double sum = 0;
    for (const double v : d[i]) sum += v;
    if (sum < least) least = sum, centre = i;
  }
  if (medoid) *medoid = centre;
  return n ? d[centre] : std::vector<double>{};
}

const std::vector<std::string>& comparisonColumns() {
  static const std::vector<std::string> columns{
      "registration", "hausdorff", "meanDistance", "rmsDistance", "volumeDifference", "areaDifference", "scale",
      "rotationDegrees", "r11", "r12", "r13", "r21", "r22", "r23", "r31", "r32", "r33",
      "translationX", "translationY", "translationZ"};
  return columns;
}

std::vector<std::string> comparisonFields(const Comparison& c) {
  std::vector<std::string> f{registrationName(c.registration), formatReal(c.distances.hausdorff),
                             formatReal(c.distances.mean), formatReal(c.distances.rms),
                             formatReal(c.volumeDifference), formatReal(c.areaDifference),
                             formatReal(c.transform.scale), formatReal(c.transform.rotationDegrees())};
  for (const auto& row : c.transform.rotation) {
    for (const double v : row) f.push_back(formatReal(v));
  }
  for (const double v : c.transform.translation) f.push_back(formatReal(v));
  return f;
}

}  // namespace stats
