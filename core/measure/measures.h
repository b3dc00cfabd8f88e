// Shape measures of one closed triangulated surface: size, enclosed solid, its proportions
// and how far it is from a sound closed surface; all in double from the file's floats.
#pragma once

#include <array>
#include <optional>

#include "io/meshread.h"
#include "measure/angledefect.h"

namespace stats {

struct Measures {
  long long vertices = 0;
  long long triangles = 0;
  double area = 0;        // total area of the triangles
  double volume = 0;      // enclosed volume, signed: negative when the triangles wind inwards
  double sphericity = 0;  // pi^(1/3) (6V)^(2/3) / A: 1 for a sphere, less for any other shape
  // Full axis lengths of the uniform solid ellipsoid whose inertia equals the enclosed
  // solid's, longest first; NaN when the volume is zero.
  std::array<double, 3> lengths{};
  double elongation = 0;                     // longest / shortest principal length
  double meanRadius = 0;                     // area-weighted mean distance of the surface from the centroid
  double radiusSpread = 0;                   // area-weighted standard deviation of that distance
  std::array<double, 3> boxMin{}, boxMax{};  // bounding box of the points
  double angleDefect = 0;    // total angle defect / (2 pi) over the sound triangles; 2 for a sound closed surface
  long long tJunctions = 0;  // vertices counted as lying on an edge of a triangle that does not use them
  long long surfaceFaults = 0;  // degenerate or non-manifold elements (kinds in `faults`); 0 for a sound surface
  SurfaceFaults faults;
  // Per morphogen (red, green, blue), present when the mesh carries levels and thresholds.
  std::optional<std::array<double, 3>> areaAbove;  // fraction of the area at or above the threshold
  std::optional<std::array<double, 3>> meanLevel;  // area-weighted mean level, 0..255
  long long farVertices = 0;  // points far outside the body's box (measure/extent.h): flung by an unstable run
};

// The solid's centroid and second moments; the centroid of the surface when the volume is 0.
struct Solid {
  double volume = 0;
  std::array<double, 3> centroid{};
  std::array<std::array<double, 3>, 3> inertia{};  // about the centroid, unit density
};

Solid enclosedSolid(const view::Mesh& mesh);
Measures measure(const view::Mesh& mesh);

}  // namespace stats
