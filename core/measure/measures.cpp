#include "measure/measures.h"

#include <Eigen/Eigenvalues>
#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "measure/angledefect.h"
#include "measure/extent.h"

namespace stats {
namespace {

using Vec = std::array<double, 3>;

Vec at(const view::Mesh& mesh, int index) {
  const auto& p = mesh.points[static_cast<std::size_t>(index)];
  return {p[0], p[1], p[2]};
}
Vec sub(const Vec& a, const Vec& b) { return {a[0] - b[0], a[1] - b[1], a[2] - b[2]}; }
Vec cross(const Vec& a, const Vec& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }
double norm(const Vec& a) { return std::sqrt(dot(a, a)); }

// Faces whose corners all name a point; the readers guarantee this, but a mesh built in
// memory may not, and a bad index must not be read.
bool valid(const view::Mesh& mesh, const std::array<int, 3>& f) {
  const auto n = static_cast<long long>(mesh.points.size());
  return std::all_of(f.begin(), f.end(), [n](int c) { return c >= 0 && c < n; });
}

double triangleArea(const Vec& a, const Vec& b, const Vec& c) { return 0.5 * norm(cross(sub(b, a), sub(c, a))); }

// Full axis lengths of the uniform solid ellipsoid with the principal moments `moments`
// (per unit mass): a moment about one axis is (b^2 + c^2) / 5 of the other two semi-axes.
std::array<double, 3> ellipsoidLengths(const Eigen::Vector3d& moments) {
  std::array<double, 3> lengths{};
  const double sum = moments.sum();
  for (int k = 0; k < 3; ++k) {
    const double semiSquared = 2.5 * (sum - 2 * moments[k]);
    lengths[static_cast<std::size_t>(k)] = 2 * std::sqrt(std::max(semiSquared, 0.0));
  }
  std::sort(lengths.begin(), lengths.end(), std::greater<>());
  return lengths;
}

}  // namespace

Solid enclosedSolid(const view::Mesh& mesh) {
  // Each face with the origin spans a signed tetrahedron; summed, the outside parts cancel.
  // Second moments of a tetrahedron (0, a, b, c): det/120 (a a' + b b' + c c' + s s'), s = a + b + c.
  double sixV = 0;
  Vec first{};
  std::array<std::array<double, 3>, 3> second{};
  double area = 0;
  Vec areaCentre{};
  for (const auto& f : mesh.faces) {
    if (!valid(mesh, f)) continue;
    const Vec a = at(mesh, f[0]), b = at(mesh, f[1]), c = at(mesh, f[2]);
    const double det = dot(a, cross(b, c));
    const Vec s{a[0] + b[0] + c[0], a[1] + b[1] + c[1], a[2] + b[2] + c[2]};
    sixV += det;
    for (int i = 0; i < 3; ++i) {
      first[i] += det * s[i];
      for (int j = 0; j < 3; ++j) second[i][j] += det * (a[i] * a[j] + b[i] * b[j] + c[i] * c[j] + s[i] * s[j]);
    }
    const double t = triangleArea(a, b, c);
    area += t;
    for (int i = 0; i < 3; ++i) areaCentre[i] += t * s[i] / 3;
  }
  Solid solid;
  solid.volume = sixV / 6;
  for (int i = 0; i < 3; ++i) {
    // First moment of a tetrahedron from the origin: det/24 s.
    solid.centroid[i] = sixV != 0 ? first[i] / 4 / sixV : (area > 0 ? areaCentre[i] / area : 0);
  }
  std::array<std::array<double, 3>, 3> central{};
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      central[i][j] = second[i][j] / 120 - solid.volume * solid.centroid[i] * solid.centroid[j];
    }
  }
  const double trace = central[0][0] + central[1][1] + central[2][2];
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) solid.inertia[i][j] = (i == j ? trace : 0) - central[i][j];
  }
  return solid;
}

Measures measure(const view::Mesh& mesh) {
  Measures m;
  m.vertices = static_cast<long long>(mesh.points.size());
  m.triangles = static_cast<long long>(mesh.faces.size());
  const Solid solid = enclosedSolid(mesh);
  m.volume = solid.volume;

  // Area, and each point's share of it (a third of each face it is a corner of).
  std::vector<double> share(mesh.points.size(), 0.0);
  const bool coloured = mesh.thresholds.has_value() && mesh.levels.size() == mesh.points.size();
  std::array<double, 3> above{}, levelSum{};
  for (const auto& f : mesh.faces) {
    if (!valid(mesh, f)) continue;
    const double t = triangleArea(at(mesh, f[0]), at(mesh, f[1]), at(mesh, f[2]));
    m.area += t;
    for (int c : f) share[static_cast<std::size_t>(c)] += t / 3;
    if (!coloured) continue;
    for (std::size_t k = 0; k < 3; ++k) {
      const int sum = mesh.levels[static_cast<std::size_t>(f[0])][k] + mesh.levels[static_cast<std::size_t>(f[1])][k] +
                      mesh.levels[static_cast<std::size_t>(f[2])][k];
      // The growth rule's own test: the integer average of the corners reaches the threshold.
      if (sum / 3 >= (*mesh.thresholds)[k]) above[k] += t;
      levelSum[k] += t * sum / 3;
    }
  }
  if (coloured) {
    m.areaAbove.emplace();
    m.meanLevel.emplace();
    for (std::size_t k = 0; k < 3; ++k) {
      (*m.areaAbove)[k] = m.area > 0 ? above[k] / m.area : std::numeric_limits<double>::quiet_NaN();
      (*m.meanLevel)[k] = m.area > 0 ? levelSum[k] / m.area : std::numeric_limits<double>::quiet_NaN();
    }
  }

  const double pi = std::numbers::pi;
  m.sphericity = std::cbrt(pi) * std::pow(6 * std::abs(m.volume), 2.0 / 3.0) / m.area;
  if (!(m.area > 0)) m.sphericity = std::numeric_limits<double>::quiet_NaN();

  if (m.volume != 0) {
    Eigen::Matrix3d inertia;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) inertia(i, j) = solid.inertia[i][j] / m.volume;
    }
    const Eigen::SelfAdjointEigenSolver<Eigen::Matrix3d> solver(inertia, Eigen::EigenvaluesOnly);
    m.lengths = ellipsoidLengths(solver.eigenvalues());
  } else {
    m.lengths.fill(std::numeric_limits<double>::quiet_NaN());
  }
  m.elongation = m.lengths[0] / m.lengths[2];

  // Distance of the surface from the centroid, each point standing for its share of area;
  // the spread in a second pass, which keeps it exact for a nearly round surface.
  const auto radius = [&](std::size_t v) { return norm(sub(at(mesh, static_cast<int>(v)), solid.centroid)); };
  double weight = 0, sum = 0;
  for (std::size_t v = 0; v < mesh.points.size(); ++v) {
    weight += share[v];
    sum += share[v] * radius(v);
  }
  double squares = 0;
  m.meanRadius = weight > 0 ? sum / weight : std::numeric_limits<double>::quiet_NaN();
  for (std::size_t v = 0; v < mesh.points.size(); ++v) {
    if (share[v] > 0) squares += share[v] * (radius(v) - m.meanRadius) * (radius(v) - m.meanRadius);
  }
  m.radiusSpread = weight > 0 ? std::sqrt(squares / weight) : std::numeric_limits<double>::quiet_NaN();

  if (mesh.points.empty()) {
    m.boxMin.fill(std::numeric_limits<double>::quiet_NaN());
    m.boxMax = m.boxMin;
  } else {
    m.boxMin.fill(std::numeric_limits<double>::infinity());
    m.boxMax.fill(-std::numeric_limits<double>::infinity());
    for (const auto& p : mesh.points) {
      for (std::size_t k = 0; k < 3; ++k) {
        m.boxMin[k] = std::min(m.boxMin[k], double(p[k]));
        m.boxMax[k] = std::max(m.boxMax[k], double(p[k]));
      }
    }
  }

  const AngleDefect defect = angleDefect(mesh);
  m.angleDefect = defect.characteristic;
  m.tJunctions = defect.tJunctions;
  m.faults = defect.faults;
  m.surfaceFaults = defect.faults.total();
  m.farVertices = farPoints(mesh.points, bodyBox(mesh.points)).count;
  return m;
}

}  // namespace stats
