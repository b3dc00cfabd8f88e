// morphstats: measures checked on solids whose values are known by hand, against VTK's
// mass properties on real results, and the program's tables, plots and refusals.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <numbers>
#include <sstream>

#include "angledefect.h"
#include "measures.h"
#include "sweeptable.h"
#include "table.h"
#include "work_folder.h"

namespace fs = std::filesystem;
using view::Mesh;

namespace {

const double pi = std::numbers::pi;

// A box from the origin to (x, y, z), two triangles a side, wound outwards.
Mesh box(float x, float y, float z) {
  Mesh m;
  for (int k = 0; k < 8; ++k) m.points.push_back({k & 1 ? x : 0, k & 2 ? y : 0, k & 4 ? z : 0});
  m.faces = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
             {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
  return m;
}

Mesh inverted(Mesh m) {
  for (auto& f : m.faces) std::swap(f[1], f[2]);
  return m;
}

Mesh icosphere(int levels) {
  const float t = (1 + std::sqrt(5.0f)) / 2;
  Mesh m;
  m.points = {{-1, t, 0}, {1, t, 0}, {-1, -t, 0}, {1, -t, 0}, {0, -1, t}, {0, 1, t},
              {0, -1, -t}, {0, 1, -t}, {t, 0, -1}, {t, 0, 1}, {-t, 0, -1}, {-t, 0, 1}};
  m.faces = {{0, 11, 5}, {0, 5, 1}, {0, 1, 7}, {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
             {11, 10, 2}, {10, 7, 6}, {7, 1, 8}, {3, 9, 4}, {3, 4, 2}, {3, 2, 6}, {3, 6, 8},
             {3, 8, 9}, {4, 9, 5}, {2, 4, 11}, {6, 2, 10}, {8, 6, 7}, {9, 8, 1}};
  for (int l = 0; l < levels; ++l) {
    std::map<std::pair<int, int>, int> mids;
    auto mid = [&](int a, int b) {
      auto [it, added] = mids.try_emplace({std::min(a, b), std::max(a, b)}, int(m.points.size()));
      if (added) {
        const auto &p = m.points[a], &q = m.points[b];
        m.points.push_back({(p[0] + q[0]) / 2, (p[1] + q[1]) / 2, (p[2] + q[2]) / 2});
      }
      return it->second;
    };
    std::vector<std::array<int, 3>> faces;
    for (const auto& f : m.faces) {
      const int a = mid(f[0], f[1]), b = mid(f[1], f[2]), c = mid(f[2], f[0]);
      faces.insert(faces.end(), {{f[0], a, c}, {f[1], b, a}, {f[2], c, b}, {a, b, c}});
    }
    m.faces = faces;
  }
  for (auto& p : m.points) {
    const float len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    for (float& c : p) c /= len;
  }
  return m;
}

// Splits face `f` one-to-four in place, leaving its neighbours whole: each edge mid-point
// becomes a T-junction of the neighbour across it. Returns the new mid-points.
std::array<int, 3> splitAlone(Mesh& m, std::size_t f) {
  const auto [a, b, c] = m.faces[f];
  std::array<int, 3> mids{};
  const std::array<std::pair<int, int>, 3> edges{{{a, b}, {b, c}, {c, a}}};
  for (std::size_t k = 0; k < 3; ++k) {
    const auto &p = m.points[std::size_t(edges[k].first)], &q = m.points[std::size_t(edges[k].second)];
    mids[k] = int(m.points.size());
    m.points.push_back({(p[0] + q[0]) / 2, (p[1] + q[1]) / 2, (p[2] + q[2]) / 2});
  }
  const auto [ab, bc, ca] = mids;
  m.faces[f] = {ab, bc, ca};
  m.faces.insert(m.faces.end(), {{a, ab, ca}, {b, bc, ab}, {c, ca, bc}});
  return mids;
}

void expectNear(double value, double expected, double relative, const char* what) {
  EXPECT_NEAR(value, expected, relative * std::abs(expected)) << what;
}

}  // namespace

// ---- Measures on solids with known values ----

TEST(Measures, UnitCube) {
  const stats::Measures m = stats::measure(box(1, 1, 1));
  EXPECT_EQ(m.vertices, 8);
  EXPECT_EQ(m.triangles, 12);
  EXPECT_NEAR(m.area, 6, 1e-14);
  EXPECT_NEAR(m.volume, 1, 1e-14);
  // The ellipsoid with a cube's inertia: each moment 1/6 per unit mass, so semi-axes sqrt(5/12).
  for (const double l : m.lengths) EXPECT_NEAR(l, 2 * std::sqrt(5.0 / 12), 1e-12);
  EXPECT_NEAR(m.elongation, 1, 1e-12);
  EXPECT_NEAR(m.sphericity, std::cbrt(pi) * std::pow(6.0, 2.0 / 3) / 6, 1e-14);
  EXPECT_NEAR(m.angleDefect, 2, 1e-12);
  EXPECT_EQ(m.tJunctions, 0);
  // Corners at sqrt(3)/2 from the centre; each has the same share of the area.
  EXPECT_NEAR(m.meanRadius, std::sqrt(3.0) / 2, 1e-14);
  EXPECT_NEAR(m.radiusSpread, 0, 1e-7);
  EXPECT_EQ(m.boxMin, (std::array<double, 3>{0, 0, 0}));
  EXPECT_EQ(m.boxMax, (std::array<double, 3>{1, 1, 1}));
  EXPECT_FALSE(m.areaAbove.has_value());
}

TEST(Measures, BoxProportionsAndPlaceIndependence) {
  const stats::Measures m = stats::measure(box(1, 2, 4));
  EXPECT_NEAR(m.area, 28, 1e-13);
  EXPECT_NEAR(m.volume, 8, 1e-13);
  EXPECT_NEAR(m.elongation, 4, 1e-12);
  EXPECT_NEAR(m.lengths[0] / m.lengths[1], 2, 1e-12);
  // The uniform box's second moment along an edge L is L^2/12: the ellipsoid's full axis
  // is 2 sqrt(5 L^2 / 12).
  EXPECT_NEAR(m.lengths[0], 2 * std::sqrt(5 * 16.0 / 12), 1e-12);

  // Far from the origin the tetrahedra from it nearly cancel; the measures must not move.
  Mesh moved = box(1, 2, 4);
  for (auto& p : moved.points) p = {p[0] + 100, p[1] - 300, p[2] + 50};
  const stats::Measures n = stats::measure(moved);
  expectNear(n.volume, 8, 1e-12, "volume");
  for (std::size_t k = 0; k < 3; ++k) expectNear(n.lengths[k], m.lengths[k], 1e-9, "principal length");
  expectNear(n.meanRadius, m.meanRadius, 1e-9, "mean radius");
  expectNear(n.radiusSpread, m.radiusSpread, 1e-7, "radius spread");

  // A rotated box has the same principal lengths: they come from the eigenvalues, not the axes.
  Mesh turned = box(1, 2, 4);
  const double c = std::cos(0.7), s = std::sin(0.7);
  for (auto& p : turned.points) p = {float(c * p[0] - s * p[2]), p[1], float(s * p[0] + c * p[2])};
  const stats::Measures r = stats::measure(turned);
  for (std::size_t k = 0; k < 3; ++k) expectNear(r.lengths[k], m.lengths[k], 1e-6, "rotated length");
}

TEST(Measures, IcosphereIsRoundAndHasEulerCharacteristicTwo) {
  const stats::Measures m = stats::measure(icosphere(4));
  EXPECT_EQ(m.vertices, 2562);
  EXPECT_NEAR(m.sphericity, 1, 1e-3);
  EXPECT_LT(m.sphericity, 1);
  EXPECT_NEAR(m.angleDefect * 2 * pi, 4 * pi, 1e-9);
  EXPECT_NEAR(m.meanRadius, 1, 1e-6);
  EXPECT_NEAR(m.elongation, 1, 1e-3);
  expectNear(m.area, 4 * pi, 2e-3, "area");
  expectNear(m.volume, 4 * pi / 3, 4e-3, "volume");
}

TEST(Measures, InvertedMeshHasNegativeVolumeAndTheSameShape) {
  const stats::Measures out = stats::measure(box(1, 2, 4));
  const stats::Measures in = stats::measure(inverted(box(1, 2, 4)));
  EXPECT_NEAR(in.volume, -8, 1e-13);
  EXPECT_NEAR(in.area, 28, 1e-13);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(in.lengths[k], out.lengths[k], 1e-12);
  EXPECT_NEAR(in.sphericity, out.sphericity, 1e-14);
}

TEST(Measures, FlatOrEmptyMeshesGiveNoLengths) {
  Mesh flat;
  flat.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  flat.faces = {{0, 1, 2}, {0, 2, 1}};
  const stats::Measures m = stats::measure(flat);
  EXPECT_EQ(m.volume, 0);
  EXPECT_TRUE(std::isnan(m.lengths[0]));
  EXPECT_EQ(stats::measureFields(m)[5], "");  // majorLength left empty, not "nan"
  const stats::Measures none = stats::measure(Mesh{});
  EXPECT_TRUE(std::isnan(none.sphericity));
}

// ---- T-junctions ----

TEST(TJunctions, ASplitFaceChangesNoMeasureAndIsCountedStraight) {
  Mesh m = box(1, 2, 4);
  const stats::Measures whole = stats::measure(m);
  splitAlone(m, 0);
  splitAlone(m, m.faces.size() - 3);  // a corner piece, again: two of its mid-points halve halves
  const stats::Measures split = stats::measure(m);
  EXPECT_EQ(split.tJunctions, 6);
  EXPECT_NEAR(split.area, whole.area, 1e-13);
  EXPECT_NEAR(split.volume, whole.volume, 1e-13);
  EXPECT_NEAR(split.angleDefect, 2, 1e-12);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_NEAR(split.lengths[k], whole.lengths[k], 1e-12);
}

TEST(TJunctions, DeepSplitsOnOneEdgeAreAllFound) {
  // Splitting the piece at one corner over and over puts ever more points on the unsplit
  // neighbour's edge.
  Mesh m = icosphere(1);
  std::size_t face = 0;
  for (int depth = 0; depth < 8; ++depth) {
    splitAlone(m, face);
    face = m.faces.size() - 3;
  }
  const stats::Measures s = stats::measure(m);
  EXPECT_NEAR(s.angleDefect, 2, 1e-9);
  EXPECT_EQ(s.tJunctions, 24);
}

TEST(TJunctions, HolesAndOffLinePointsAreNotMistakenForThem) {
  // A missing face is a hole: its corners lose pi of angle, and the defect shows it.
  Mesh holed = box(1, 1, 1);
  holed.faces.pop_back();
  EXPECT_NEAR(stats::measure(holed).angleDefect, 2.5, 1e-12);
  EXPECT_EQ(stats::measure(holed).tJunctions, 0);

  // A mid-point lifted off its edge is no T-junction.
  Mesh lifted = box(1, 1, 1);
  const int ab = splitAlone(lifted, 0)[0];
  lifted.points[std::size_t(ab)][2] -= 0.2f;
  const stats::AngleDefect d = stats::angleDefect(lifted);
  EXPECT_EQ(d.tJunctions, 2);
  EXPECT_GT(std::abs(d.total / (2 * pi) - 2), 0.1);
}

// ---- Morphogens ----

TEST(Morphogens, FractionAboveFollowsTheGrowthRuleAndMeansAreAreaWeighted) {
  Mesh m = box(1, 1, 1);
  m.levels.assign(8, {0, 0, 0});
  // Red 90 on the four points at z = 1: the top face's two triangles average 90, the side
  // triangles with two such corners 60, those with one 30. Blue 198 there: one such corner
  // averages exactly the threshold 66, which counts as reached.
  for (int k = 4; k < 8; ++k) m.levels[std::size_t(k)] = {90, 0, 198};
  m.thresholds = std::array<int, 3>{60, 1, 66};
  const stats::Measures s = stats::measure(m);
  ASSERT_TRUE(s.areaAbove && s.meanLevel);
  EXPECT_NEAR((*s.areaAbove)[0], 3.0 / 6, 1e-15);  // top (1) and half of every side (4 x 0.5)
  EXPECT_EQ((*s.areaAbove)[1], 0);
  EXPECT_NEAR((*s.areaAbove)[2], 5.0 / 6, 1e-15);
  EXPECT_NEAR((*s.meanLevel)[0], (90 + 4 * 45) / 6.0, 1e-12);
  EXPECT_EQ((*s.meanLevel)[1], 0);
  const std::vector<std::string> fields = stats::measureFields(s);
  EXPECT_EQ(fields.size(), stats::measureColumns().size());
  EXPECT_EQ(fields[*stats::metricColumn("redAbove")], "0.5");
  EXPECT_EQ(stats::measureFields(stats::measure(box(1, 1, 1)))[*stats::metricColumn("redAbove")], "");
}

// ---- Table text ----

TEST(Table, RealsRoundTripAndFieldsQuote) {
  for (const double v : {0.1, 1.0 / 3, -2.5e-300, 6.02214076e23, 4.0, -0.0}) {
    const std::string text = stats::formatReal(v);
    EXPECT_EQ(std::strtod(text.c_str(), nullptr), v) << text;
    EXPECT_TRUE(std::signbit(std::strtod(text.c_str(), nullptr)) == std::signbit(v)) << text;
  }
  EXPECT_EQ(stats::formatReal(4.0), "4");
  EXPECT_EQ(stats::formatReal(std::nan("")), "");
  EXPECT_EQ(stats::formatReal(HUGE_VAL), "");
  EXPECT_EQ(stats::csvLine({"a", "b,c", "say \"hi\"", ""}), "a,\"b,c\",\"say \"\"hi\"\"\",\n");
  EXPECT_FALSE(stats::metricColumn("file"));
  EXPECT_EQ(stats::parameterWord("growthCycles"), 2u);
  EXPECT_EQ(stats::parameterWord("redThreshold"), 9u);
  EXPECT_EQ(stats::parameterWord("attraction"), 22u);
  EXPECT_EQ(stats::parameterWord("inputTemplate"), 23u);
  EXPECT_EQ(stats::parameterWord("speed"), 0u);
}
