// Shape comparison: the nearest point on a triangle and on a surface against brute force,
// distances between boxes known by hand, registration of moved copies, VTK's distances on
// grown embryos, and morphstats --compare's table and refusals.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>

#include "child_process.h"
#include "icosphere.h"
#include "measure/compare.h"
#include "measure/nearest.h"
#include "work_folder.h"

namespace fs = std::filesystem;
using stats::Point;
using view::Mesh;

namespace {

using testmesh::box;

// An icosphere stretched to three different axes, with bumps on two sides so that no
// rotation maps it onto itself.
Mesh lopsided(int levels) {
  Mesh m = testmesh::icosphere(levels);
  for (auto& p : m.points) {
    const float bump = p[0] > 0.5f ? 1 + 0.4f * (p[0] - 0.5f) : 1;
    const float rise = p[1] > 0.4f ? 1 + 0.5f * (p[1] - 0.4f) : 1;
    p = {p[0] * 2.3f * bump, p[1] * 1.6f, p[2] * rise};
  }
  return m;
}

Mesh moved(Mesh m, const stats::Transform& t) {
  for (auto& p : m.points) {
    const Point q = t.apply({p[0], p[1], p[2]});
    p = {float(q[0]), float(q[1]), float(q[2])};
  }
  return m;
}

stats::Transform turnAndShift(double scale) {
  stats::Transform t;
  const double c = std::cos(2.0), s = std::sin(2.0);  // 2 rad about z, then a tilt about x
  t.rotation = {{{c, -s, 0}, {0.6 * s, 0.6 * c, -0.8}, {0.8 * s, 0.8 * c, 0.6}}};
  t.translation = {4, -1, 2.5};
  t.scale = scale;
  return t;
}

}  // namespace

TEST(Nearest, PointTriangleDistanceByRegion) {
  const Point a{0, 0, 0}, b{2, 0, 0}, c{0, 2, 0};
  // Above the inside, beyond each corner and edge, on the triangle; then flat triangles.
  const std::vector<std::tuple<Point, Point, Point, Point, double>> cases{
      {{0.5, 0.5, 3}, a, b, c, 3},
      {{-1, -1, 0}, a, b, c, std::sqrt(2.0)},
      {{5, -4, 0}, a, b, c, 5},
      {{0, 5, 0}, a, b, c, 3},
      {{1, -2, 0}, a, b, c, 2},
      {{-3, 1, 0}, a, b, c, 3},
      {{2, 2, 0}, a, b, c, std::sqrt(2.0)},
      {{0.5, 0.5, 0}, a, b, c, 0},
      {{1, 1, 1}, a, b, Point{4, 0, 0}, std::sqrt(2.0)},  // collinear corners
      {{1, 1, 0}, a, a, a, std::sqrt(2.0)},                // one point
  };
  for (const auto& [p, x, y, z, expected] : cases) {
    EXPECT_NEAR(stats::pointTriangleDistance(p, x, y, z), expected, 1e-14)
        << p[0] << ' ' << p[1] << ' ' << p[2] << " from a triangle with corner " << z[0];
  }
}

// The hierarchy's answer is the brute-force minimum over every triangle, for points near
// and far, on a surface of uneven triangles: a long one, and a flat one sticking out.
TEST(Nearest, SurfaceDistanceIsTheMinimumOverAllTriangles) {
  Mesh m = lopsided(3);
  m.points.insert(m.points.end(), {{6, 0, 0}, {0, 0, 3}, {0, 0, 4}});
  const int n = int(m.points.size());
  m.faces.insert(m.faces.end(), {{n - 3, 0, 1}, {n - 2, n - 1, n - 2}});
  const std::vector<Point> points = stats::doublePoints(m);
  const stats::NearestTriangle tree(points, m.faces);
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coordinate(-4, 7);
  std::size_t hint = 0;
  for (int k = 0; k < 400; ++k) {
    const Point p{coordinate(random), coordinate(random) / 2, coordinate(random) / 3};
    double brute = 1e300;
    for (const auto& f : m.faces) {
      brute = std::min(brute, stats::pointTriangleDistance(p, points[std::size_t(f[0])], points[std::size_t(f[1])],
                                                           points[std::size_t(f[2])]));
    }
    ASSERT_EQ(tree.distance(p, hint), brute) << k;
  }
  EXPECT_TRUE(std::isinf(stats::NearestTriangle(points, {}).distance({0, 0, 0}, hint)));
}

// A unit cube in a cube of side 2 sharing its corner: only (1,1,1) of the small one is
// off the large one's surface (by 1); the large one's corners are 0, 1, sqrt 2, sqrt 3
// from the small one.
TEST(Distances, NestedCubesByHand) {
  const stats::Comparison c = stats::compare(box(1, 1, 1), box(2, 2, 2), stats::Registration::none);
  EXPECT_DOUBLE_EQ(c.distances.hausdorff, std::sqrt(3.0));
  EXPECT_DOUBLE_EQ(c.distances.mean, (1 + 3 + 3 * std::sqrt(2.0) + std::sqrt(3.0)) / 16);
  EXPECT_DOUBLE_EQ(c.distances.rms, std::sqrt(13.0 / 16));
  EXPECT_DOUBLE_EQ(c.volumeDifference, 7);
  EXPECT_DOUBLE_EQ(c.areaDifference, 18);
  EXPECT_EQ(c.transform.scale, 1);
  EXPECT_EQ(c.transform.rotationDegrees(), 0);
}

TEST(Registration, MovedCopiesComeBackAndOnlySimilarityUndoesAScale) {
  const Mesh a = lopsided(3);
  const double size = 2 * 2.3 * 1.2;
  for (const double scale : {1.0, 1.7}) {
    const Mesh b = moved(a, turnAndShift(scale));
    const stats::Comparison none = stats::compare(a, b, stats::Registration::none);
    EXPECT_GT(none.distances.hausdorff, 1);
    const stats::Comparison rigid = stats::compare(a, b, stats::Registration::rigid);
    const stats::Comparison similar = stats::compare(a, b, stats::Registration::similarity);
    EXPECT_LT(similar.distances.hausdorff, 1e-5 * size) << scale;
    EXPECT_NEAR(similar.transform.scale, 1 / scale, 1e-6);
    EXPECT_EQ(rigid.transform.scale, 1);
    if (scale == 1) {
      EXPECT_LT(rigid.distances.hausdorff, 1e-5 * size);
      // The turn undone: cos of the angle is (trace - 1) / 2 of the rotation above.
      EXPECT_NEAR(rigid.transform.rotationDegrees(), std::acos((std::cos(2.0) * 1.6 + 0.6 - 1) / 2) * 180 / M_PI, 1e-4);
    } else {
      EXPECT_GT(rigid.distances.hausdorff, 0.1);
    }
  }
  // The surface against itself: exactly nothing to undo.
  const stats::Comparison self = stats::compare(a, a, stats::Registration::rigid);
  EXPECT_EQ(self.distances.hausdorff, 0);
  EXPECT_EQ(self.transform.rotationDegrees(), 0);
}

// ---- The program ----

namespace {

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

ChildRun run(const std::vector<std::string>& words) { return runChild(words); }

ChildRun morphstats(std::vector<std::string> words) {
  words.insert(words.begin(), MORPHSTATS_BINARY);
  return run(words);
}

void writeObj(const fs::path& path, const Mesh& m) {
  std::ofstream s(path);
  s.precision(9);
  for (const auto& p : m.points) s << "v " << p[0] << ' ' << p[1] << ' ' << p[2] << '\n';
  for (const auto& f : m.faces) s << "f " << f[0] + 1 << ' ' << f[1] + 1 << ' ' << f[2] + 1 << '\n';
}

std::vector<std::string> fields(const std::string& line) {
  std::vector<std::string> f;
  std::istringstream cells(line);
  for (std::string cell; std::getline(cells, cell, ',');) f.push_back(cell);
  return f;
}

class Program : public FreshFolderTest {};

}  // namespace

TEST_F(Program, TableRowsPerPairAgreeWithVtkAndRefuseBadUse) {
  fs::copy_file(SEED_FILE, "indexed_icosa");
  ASSERT_EQ(run({MORPHSEED_BINARY, "-s", "1000", "-b", "2", "20"}).status, 0);
  for (const char* seed : {"1000", "1001"}) {
    const view::MeshLoad load = view::loadMesh(std::string("embryo.") + seed + ".3dv", view::MeshFormat::threeDV);
    ASSERT_TRUE(load.ok()) << load.error;
    writeObj(std::string(seed) + ".obj", load.mesh);
  }
  ChildRun r = morphstats({"--compare", "--register", "none", "1000.obj", "1000.obj", "1001.obj", "-o", "d.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream table(slurp("d.csv"));
  std::string header, same, other;
  std::getline(table, header), std::getline(table, same), std::getline(table, other);
  EXPECT_EQ(header.rfind("a,b,registration,hausdorff,meanDistance,rmsDistance,volumeDifference,areaDifference,scale,", 0),
            0u);
  EXPECT_EQ(fields(same).at(3), "0");
  const std::vector<std::string> apart = fields(other);
  ASSERT_EQ(apart.size(), fields(header).size());
  EXPECT_EQ(apart[1], "1001.obj");
  EXPECT_GT(std::stod(apart[3]), 0.01);

  if (access("/usr/bin/python3", X_OK) != 0) GTEST_SKIP() << "no /usr/bin/python3 to run VTK";
  r = run({"/usr/bin/python3", VTK_DISTANCE_SCRIPT, "1000.obj", "1001.obj"});
  if (r.status == 77) GTEST_SKIP() << "no VTK (scripts/install-deps.sh --tests installs python3-paraview): " << r.err;
  ASSERT_EQ(r.status, 0) << r.err;
  std::istringstream vtk(r.out);
  for (std::size_t column : {3u, 4u, 5u}) {
    double expected = 0;
    vtk >> expected;
    EXPECT_NEAR(std::stod(apart[column]), expected, 1e-5 * expected) << fields(header)[column];
  }

  for (const auto& [words, message] : std::vector<std::pair<std::vector<std::string>, std::string>>{
           {{"--compare", "1000.obj"}, "--compare needs two files or more"},
           {{"--compare", "--register", "affine", "1000.obj", "1001.obj"}, "--register needs none, rigid or similarity"},
           {{"--register", "none", "1000.obj"}, "--register needs --compare"},
           {{"--compare", "--series", "1000.obj", "1001.obj"}, "--compare and --series do not go together"}}) {
    r = morphstats(words);
    EXPECT_EQ(r.status, 1) << words[1];
    EXPECT_EQ(r.err.rfind("morphstats: " + message, 0), 0u) << r.err;
  }
  // A file that cannot be read leaves no table.
  r = morphstats({"--compare", "1000.obj", "missing.obj", "-o", "x.csv"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("missing.obj"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists("x.csv"));
}
