// How far apart two surfaces are: distances from every vertex of each to the nearest point
// on the other's triangles, after an optional registration of the second onto the first.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "io/meshread.h"
#include "measure/nearest.h"

namespace stats {

// none: as the files place them; rigid: rotation and translation (principal axes, then
// iterative closest point); similarity: rigid and one scale.
enum class Registration { none, rigid, similarity };
std::optional<Registration> parseRegistration(const std::string& word);
const char* registrationName(Registration r);

// Maps a point x of the second surface to scale * rotation * x + translation.
struct Transform {
  double scale = 1;
  std::array<std::array<double, 3>, 3> rotation{{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};  // rows
  Point translation{};
  Point apply(const Point& x) const;
  double rotationDegrees() const;  // the angle of the rotation about its axis
};

// The transform that brings `moving` onto `fixed` by `r` (the identity for none).
Transform registerOnto(const view::Mesh& fixed, const view::Mesh& moving, Registration r);

struct Distances {
  double hausdorff = 0;  // the largest vertex-to-surface distance, both ways
  double mean = 0;       // over all vertices of both surfaces together
  double rms = 0;
};
// Distances between two surfaces as they lie; every vertex counts, joined to a triangle or not.
Distances surfaceDistances(const std::vector<Point>& aPoints, const std::vector<std::array<int, 3>>& aFaces,
                           const std::vector<Point>& bPoints, const std::vector<std::array<int, 3>>& bFaces);

struct Comparison {
  Registration registration = Registration::rigid;
  Distances distances;      // between `a` and the registered `b`
  double volumeDifference;  // b minus a, of the surfaces as read
  double areaDifference;
  Transform transform;      // of b onto a
};
Comparison compare(const view::Mesh& a, const view::Mesh& b, Registration r);

// Each surface's rmsDistance after rigid registration to the medoid of them all (the one
// whose distances to the others sum least; the first of equals), 0 for the medoid itself.
// The pairs are compared on up to `threads` threads; the result does not depend on them.
std::vector<double> medoidDistances(const std::vector<const view::Mesh*>& meshes, std::size_t threads,
                                    std::size_t* medoid = nullptr);

// The columns of a comparison after a and b, and a row's fields in their order.
const std::vector<std::string>& comparisonColumns();
std::vector<std::string> comparisonFields(const Comparison& c);

}  // namespace stats
