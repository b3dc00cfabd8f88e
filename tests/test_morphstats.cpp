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
#include <limits>
#include <map>
#include <numbers>
#include <sstream>
#include <tuple>

#include "crafted_mesh.h"
#include "measure/angledefect.h"
#include "measure/extent.h"
#include "icosphere.h"
#include "measure/measures.h"
#include "sweep_command.h"
#include "sweeptable.h"
#include "measure/table.h"
#include "plot.h"
#include "provenance.h"
#include "work_folder.h"

namespace fs = std::filesystem;
using view::Mesh;

namespace {

using testmesh::box;

const double pi = std::numbers::pi;

Mesh inverted(Mesh m) {
  for (auto& f : m.faces) std::swap(f[1], f[2]);
  return m;
}

using testmesh::icosphere;

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

// Points flung from the body (an unstable run): only those several box sizes out count.
TEST(Measures, FarVerticesAreThoseSeveralBoxSizesOutsideThePercentileBox) {
  const Mesh sphere = icosphere(3);  // 642 points, body box about 2 across
  const stats::BodyBox body = stats::bodyBox(sphere.points);
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(body.lo[k], -1, 0.05) << k;
    EXPECT_NEAR(body.hi[k], 1, 0.05) << k;
  }
  struct Case {
    std::vector<std::array<float, 3>> moved;  // new places of the first points
    long long far;
    double farthest;
  };
  const Case cases[] = {
      {{}, 0, 0},
      {{{0, 0, 4519}, {0, 0, -4519}, {0, 0, 31}, {0, 0, -31}, {0, 31, 0}, {31, 0, 0}}, 6, 4518},
      {{{0, 0, 5}}, 0, 0},     // two box sizes out: not far
      {{{0, 0, 8}, {0, 0, 7.5f}}, 2, 7},  // three and a half box sizes out
  };
  for (const Case& c : cases) {
    Mesh m = sphere;
    for (std::size_t i = 0; i < c.moved.size(); ++i) m.points[i * 7] = c.moved[i];
    const stats::FarPoints far = stats::farPoints(m.points, stats::bodyBox(m.points));
    EXPECT_EQ(far.count, c.far) << c.moved.size();
    EXPECT_NEAR(far.farthest, c.farthest, 0.1) << c.moved.size();
    EXPECT_EQ(stats::measure(m).farVertices, c.far);
  }
  // The column comes last, so that columns read by place keep their meaning.
  EXPECT_EQ(stats::measureColumns().back(), "farVertices");
  EXPECT_EQ(stats::measureValues(stats::measure(sphere)).size(), stats::measureColumns().size());
  // No points, or all at one place: a box of no size, nothing far.
  EXPECT_EQ(stats::farPoints({}, stats::bodyBox({})).count, 0);
  const Mesh one{{{1, 1, 1}, {1, 1, 1}, {1, 1, 1}}, {{0, 1, 2}}, {}, {}, {}};
  EXPECT_EQ(stats::measure(one).farVertices, 0);
}

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

TEST(TJunctions, CracksAreFoundFromTheTrianglesWherePositionsCoincide) {
  // Split three levels deep towards one edge, then every point moved onto one spot (as six
  // decimals round tiny triangles): the cracks still pair up from the triangles alone.
  Mesh m = icosphere(1);
  std::size_t face = 0;
  for (int depth = 0; depth < 3; ++depth) {
    splitAlone(m, face);
    face = m.faces.size() - 3;
  }
  const stats::Measures apart = stats::measure(m);
  for (auto& p : m.points) p = {0.5f, 0.25f, 0};
  const stats::Measures together = stats::measure(m);
  EXPECT_EQ(together.tJunctions, apart.tJunctions);
  EXPECT_EQ(together.faults.degenerateTriangles, together.triangles);
  EXPECT_EQ(together.faults.coincidentPoints, together.vertices - 1);
  EXPECT_EQ(together.angleDefect, 2 + together.triangles / 2.0);
}

TEST(SurfaceFaults, EachKindIsNamedAndTheRestMeasured) {
  const Mesh sphere = icosphere(1);
  // Two spheres touching at one point: the second is the first mirrored through its point 0.
  Mesh pinched = sphere;
  const int offset = int(sphere.points.size()) - 1;
  const auto& touch = sphere.points[0];
  for (std::size_t k = 1; k < sphere.points.size(); ++k) {
    const auto& p = sphere.points[k];
    pinched.points.push_back({2 * touch[0] - p[0], 2 * touch[1] - p[1], 2 * touch[2] - p[2]});
  }
  for (const auto& f : sphere.faces) {
    const auto copy = [&](int c) { return c == 0 ? 0 : c + offset; };
    pinched.faces.push_back({copy(f[0]), copy(f[2]), copy(f[1])});
  }
  Mesh collapsed = sphere;  // the ends of an edge at one position: both its triangles flat
  collapsed.points[std::size_t(sphere.faces[0][1])] = sphere.points[std::size_t(sphere.faces[0][0])];
  Mesh doubled = sphere;  // a triangle twice: its edges each have three
  doubled.faces.push_back(sphere.faces[0]);
  Mesh repeated = box(1, 1, 1);  // a triangle with a corner twice has no angles
  repeated.faces.push_back({0, 0, 1});
  struct Case {
    const char* what;
    Mesh mesh;
    stats::SurfaceFaults expected;
    double angleDefect;  // NaN: only not 2
  };
  const double notTwo = std::numeric_limits<double>::quiet_NaN();
  for (const Case& c : std::vector<Case>{{"sound", sphere, {}, 2},
                                         {"pinched", pinched, {0, 0, 0, 1}, 3},
                                         {"collapsed edge", collapsed, {2, 0, 1, 0}, 3},
                                         {"doubled triangle", doubled, {0, 3, 0, 0}, notTwo},
                                         {"repeated corner", repeated, {1, 0, 0, 0}, 2}}) {
    SCOPED_TRACE(c.what);
    const stats::Measures m = stats::measure(c.mesh);
    EXPECT_EQ(m.faults.degenerateTriangles, c.expected.degenerateTriangles);
    EXPECT_EQ(m.faults.nonManifoldEdges, c.expected.nonManifoldEdges);
    EXPECT_EQ(m.faults.coincidentPoints, c.expected.coincidentPoints);
    EXPECT_EQ(m.faults.nonManifoldPoints, c.expected.nonManifoldPoints);
    EXPECT_EQ(m.surfaceFaults, c.expected.total());
    if (std::isnan(c.angleDefect)) {
      EXPECT_NE(m.angleDefect, 2);
    } else {
      EXPECT_EQ(m.angleDefect, c.angleDefect);
    }
  }
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

// ---- The program on files ----

namespace {

struct Outcome {
  int status = -1;
  std::string out, err;
};

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Runs a program in the working folder, its output caught in files.
Outcome run(const std::vector<std::string>& words) {
  const pid_t pid = fork();
  if (pid == 0) {
    if (!std::freopen("run.out", "w", stdout) || !std::freopen("run.err", "w", stderr)) _exit(126);
    std::vector<char*> argv;
    for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  Outcome r;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  r.out = slurp("run.out");
  r.err = slurp("run.err");
  fs::remove("run.out");
  fs::remove("run.err");
  return r;
}

Outcome morphstats(std::vector<std::string> words) {
  words.insert(words.begin(), MORPHSTATS_BINARY);
  return run(words);
}

void writeFile(const fs::path& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string objText(const Mesh& m) {
  std::ostringstream s;
  s.precision(9);
  for (const auto& p : m.points) s << "v " << p[0] << ' ' << p[1] << ' ' << p[2] << '\n';
  for (const auto& f : m.faces) s << "f " << f[0] + 1 << ' ' << f[1] + 1 << ' ' << f[2] + 1 << '\n';
  return s.str();
}

std::string threeDVText(const Mesh& m) {
  std::ostringstream s;
  s << m.points.size() << '\n' << m.faces.size() << '\n';
  for (const auto& p : m.points) s << p[0] << ' ' << p[1] << ' ' << p[2] << "\n0 0 1\n";
  for (const auto& f : m.faces) s << "3\n" << f[0] << ' ' << f[1] << ' ' << f[2] << '\n';
  return s.str();
}

std::vector<std::vector<std::string>> csvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::string field;
    bool quoted = false;
    for (std::size_t k = 0; k < line.size(); ++k) {
      const char c = line[k];
      if (quoted && c == '"' && k + 1 < line.size() && line[k + 1] == '"') {
        field += '"';
        ++k;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (c == ',' && !quoted) {
        fields.push_back(field);
        field.clear();
      } else {
        field += c;
      }
    }
    fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

// The value of column `name` in row `row` of a table.
std::string cell(const std::vector<std::vector<std::string>>& rows, std::size_t row, const std::string& name) {
  const auto& header = rows.at(0);
  const auto at = std::find(header.begin(), header.end(), name);
  if (at == header.end()) return "<no column " + name + ">";
  return rows.at(row).at(std::size_t(at - header.begin()));
}

bool isPng(const fs::path& path) { return slurp(path).compare(0, 8, "\x89PNG\r\n\x1a\n") == 0; }

class Program : public FreshFolderTest {};

}  // namespace

TEST_F(Program, AreaAndVolumeAgreeWithVtkOnRealResults) {
  // A grown embryo (with T-junctions), a morphsweep result and an icosphere.
  fs::copy_file(SEED_FILE, "indexed_icosa");
  ASSERT_EQ(run({MORPHSEED_BINARY, "-s", "1000", "-b", "1", "28"}).status, 0);
  fs::copy_file(BUNDLED_EXAMPLE, "start.3dv");
  ASSERT_EQ(run(examplePointCommand(MORPHSWEEP_BINARY)).status, 0);
  writeFile("sphere.obj", objText(icosphere(4)));
  const std::string swept = "start.3dv.n3.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2";
  const std::vector<std::pair<std::string, view::MeshFormat>> files{{"embryo.1000.3dv", view::MeshFormat::threeDV},
                                                                    {swept + ".3dv", view::MeshFormat::threeDV},
                                                                    {swept + ".obj", view::MeshFormat::obj},
                                                                    {"sphere.obj", view::MeshFormat::obj}};

  const view::MeshLoad embryo = view::loadMesh("embryo.1000.3dv", view::MeshFormat::threeDV);
  ASSERT_TRUE(embryo.ok()) << embryo.error;
  const stats::Measures grown = stats::measure(embryo.mesh);
  EXPECT_GT(grown.tJunctions, 100);
  EXPECT_NEAR(grown.angleDefect, 2, 1e-9);

  if (access("/usr/bin/python3", X_OK) != 0)
    GTEST_SKIP() << "no /usr/bin/python3 to run VTK (scripts/install-deps.sh installs it)";
  for (const auto& [file, format] : files) {
    SCOPED_TRACE(file);
    const Outcome vtk = run({"/usr/bin/python3", VTK_MASS_SCRIPT, file});
    if (vtk.status == 77)
      GTEST_SKIP() << "no VTK (scripts/install-deps.sh --tests installs python3-paraview): " << vtk.err;
    ASSERT_EQ(vtk.status, 0) << vtk.err;
    double area = 0, volume = 0;
    ASSERT_EQ(std::sscanf(vtk.out.c_str(), "%lf %lf", &area, &volume), 2) << vtk.out;
    const view::MeshLoad load = view::loadMesh(file, format);
    ASSERT_TRUE(load.ok()) << load.error;
    const stats::Measures m = stats::measure(load.mesh);
    expectNear(m.area, area, 1e-6, "area");
    expectNear(m.volume, volume, 1e-6, "volume");
  }
}

TEST_F(Program, TableOfFilesWarnsOfInversionAndIsWholeOrAbsent) {
  writeFile("cube.obj", objText(box(1, 1, 1)));
  writeFile("inside out.obj", objText(inverted(box(1, 2, 4))));
  writeFile("box.3dv", threeDVText(box(1, 2, 4)));
  Outcome r = morphstats({"cube.obj", "inside out.obj", "box.3dv"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = csvRows(r.out);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].size(), 1 + stats::measureColumns().size());
  EXPECT_EQ(cell(rows, 1, "file"), "cube.obj");
  EXPECT_EQ(cell(rows, 1, "volume"), "1");
  EXPECT_NEAR(std::strtod(cell(rows, 1, "angleDefect").c_str(), nullptr), 2, 1e-12);
  EXPECT_EQ(cell(rows, 2, "volume"), "-8");
  EXPECT_EQ(cell(rows, 3, "elongation"), stats::formatReal(stats::measure(box(1, 2, 4)).elongation));
  EXPECT_EQ(r.err,
            "morphstats: inside out.obj: warning: the enclosed volume -8 is negative: the triangles wind inwards\n");

  r = morphstats({"-o", "table.csv", "cube.obj", "box.3dv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(csvRows(slurp("table.csv")).size(), 3u);

  // A bad file anywhere: no table at all, the old one left as it was.
  writeFile("short.3dv", "8\n12\n0 0 0\n");
  r = morphstats({"-o", "table.csv", "cube.obj", "short.3dv"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("morphstats: short.3dv: "), std::string::npos) << r.err;
  EXPECT_EQ(csvRows(slurp("table.csv")).size(), 3u);
  r = morphstats({"cube.obj", "nothing.obj"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "");
  writeFile("empty.obj", "");
  r = morphstats({"empty.obj"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("morphstats: empty.obj: ", 0), 0u) << r.err;
  EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 6);  // no temporaries left
}

TEST_F(Program, SeriesRowsFollowTheCycleAndPlotAgainstIt) {
  writeFile("a.obj", objText(box(1, 1, 1)));
  writeFile("b.obj", objText(box(1, 1, 2)));
  writeFile("c.obj", objText(box(1, 2, 2)));
  Outcome r = morphstats({"--series", "20:c.obj", "0:a.obj", "10:b.obj"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = csvRows(r.out);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0][0], "cycle");
  EXPECT_EQ(cell(rows, 1, "cycle") + cell(rows, 2, "cycle") + cell(rows, 3, "cycle"), "01020");
  EXPECT_EQ(cell(rows, 3, "file"), "c.obj");
  EXPECT_EQ(cell(rows, 3, "volume"), "4");

  r = morphstats({"--series", "--plot", "volume", "-o", "growth.png", "20:c.obj", "0:a.obj", "10:b.obj"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(isPng("growth.png"));
  EXPECT_EQ(r.err, "");
  // A measure that does not vary, and a single snapshot: gnuplot gets a range to draw.
  for (const std::vector<std::string>& items : {std::vector<std::string>{"20:c.obj", "0:a.obj", "10:b.obj"},
                                                std::vector<std::string>{"0:a.obj"}}) {
    std::vector<std::string> words{"--series", "--plot", "vertices", "-o", "flat.png"};
    words.insert(words.end(), items.begin(), items.end());
    r = morphstats(words);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(isPng("flat.png"));
    fs::remove("flat.png");
  }

  r = morphstats({"--series", "a.obj"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "morphstats: a.obj: the file carries no cycle; give it as CYCLE:a.obj\n");
  r = morphstats({"--series", "--plot", "girth", "-o", "g.png", "0:a.obj"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("morphstats: unknown metric 'girth' (known: vertices, triangles, area,", 0), 0u) << r.err;
  r = morphstats({"--plot", "area", "-o", "g.png", "a.obj"});
  EXPECT_EQ(r.status, 1);
  EXPECT_FALSE(fs::exists("g.png"));
}

TEST_F(Program, SweepTableKeepsEveryPointAndPlotsOverTheSweptParameters) {
  // Six points over growthCycles x repulsion; the results made by hand.
  std::string manifest;
  std::vector<std::string> results;
  for (const char* n : {"1", "2"}) {
    for (const char* kr : {"1", "2", "3"}) {
      manifest += std::string("/bin/morphsweep -n ") + n + " -m 1 -t 0 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr " +
                  kr + " -kh 4 'my start.3dv'\n";
      results.push_back(std::string("my start.3dv.n") + n + ".m1.r40.120.5.g.40.120.17.b.40.120.33.kr.4.kh." + kr +
                        ".3dv");
    }
  }
  writeFile("manifest", manifest);
  for (std::size_t k : {0u, 1u, 2u, 4u}) writeFile(results[k], threeDVText(box(1, 1, float(k + 1))));
  writeFile(results[5], "12\nnot a mesh\n");
  // The job log shows point 5 failed although an old result is there.
  writeFile("manifest.joblog",
            "Seq\tHost\tStarttime\tJobRuntime\tSend\tReceive\tExitval\tSignal\tCommand\n"
            "5\t:\t1\t0.1\t0\t0\t2\t0\tmorphsweep ...\n");
  fs::create_directory("manifest.logs");
  writeFile("manifest.logs/5.err", "Embryo 1\n..morphsweep: cannot write 'x.3dv': No space left on device\n\n");

  Outcome r = morphstats({"--manifest", "manifest", "-o", "manifest.csv"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "morphstats: 3 of 6 points have no measures; see the status column\n");
  const auto rows = csvRows(slurp("manifest.csv"));
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ((std::vector<std::string>(rows[0].begin(), rows[0].begin() + 6)),
            (std::vector<std::string>{"point", "growthCycles", "repulsion", "status", "reason", "file"}));
  EXPECT_EQ(cell(rows, 2, "repulsion"), "2");
  EXPECT_EQ(cell(rows, 6, "growthCycles"), "2");
  EXPECT_EQ(cell(rows, 1, "status"), "ok");
  EXPECT_EQ(cell(rows, 3, "volume"), "3");
  EXPECT_EQ(cell(rows, 4, "status"), "missing");
  EXPECT_EQ(cell(rows, 4, "reason"), "not run");
  EXPECT_EQ(cell(rows, 4, "area"), "");
  EXPECT_EQ(cell(rows, 5, "status"), "failed");
  EXPECT_EQ(cell(rows, 5, "reason"), "exit 2: morphsweep: cannot write 'x.3dv': No space left on device");
  EXPECT_EQ(cell(rows, 6, "status"), "failed");
  EXPECT_EQ(cell(rows, 6, "reason").rfind(results[5] + ": ", 0), 0u) << cell(rows, 6, "reason");
  EXPECT_EQ(cell(rows, 6, "file"), results[5]);

  r = morphstats(
      {"--manifest", "manifest", "--plot", "volume", "--by", "repulsion", "--by2", "growthCycles", "-o", "p.png"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(isPng("p.png"));
  r = morphstats({"--manifest", "manifest", "--heatmap", "volume", "--by", "growthCycles,repulsion", "-o", "h.png"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(isPng("h.png"));
  // Vector pictures for print, chosen by --plot-format.
  r = morphstats({"--manifest", "manifest", "--heatmap", "volume", "--by", "growthCycles,repulsion", "--plot-format",
                  "svg", "-o", "h.svg"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(slurp("h.svg").find("<svg"), std::string::npos);
  r = morphstats({"--manifest", "manifest", "--plot", "volume", "--by", "repulsion", "--plot-format", "pdf", "-o",
                  "p.pdf"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(slurp("p.pdf").rfind("%PDF", 0), 0u);
  for (const std::vector<std::string>& words :
       {std::vector<std::string>{"--manifest", "manifest", "--plot-format", "svg"},
        std::vector<std::string>{"--manifest", "manifest", "--plot", "volume", "--by", "repulsion", "--plot-format",
                                 "gif", "-o", "x.gif"}}) {
    r = morphstats(words);
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("--plot-format"), std::string::npos) << r.err;
  }
  // The same count of triangles everywhere: one colour, drawn.
  r = morphstats({"--manifest", "manifest", "--heatmap", "triangles", "--by", "growthCycles,repulsion", "-o", "t.png"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(isPng("t.png"));

  r = morphstats({"--manifest", "manifest", "--heatmap", "volume", "--by", "growthCycles,attraction", "-o", "x.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("morphstats: attraction is not swept in manifest (every point has attraction = 4); swept: "
                        "growthCycles, repulsion\n",
                        0),
            0u)
      << r.err;
  r = morphstats({"--manifest", "manifest", "--plot", "volume", "--by", "speed", "-o", "x.png"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err.rfind("morphstats: unknown parameter 'speed' (known: growthCycles,", 0), 0u) << r.err;
  r = morphstats({"--manifest", "elsewhere/manifest"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "morphstats: elsewhere/manifest: cannot open: No such file or directory\n");
  writeFile("broken", "morphsweep -n 1 | cat\n");
  r = morphstats({"--manifest", "broken", "-o", "broken.csv"});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err.rfind("morphstats: broken:1: ", 0), 0u) << r.err;
  EXPECT_FALSE(fs::exists("x.png") || fs::exists("broken.csv"));
}

// The scripts: viridis with a labelled colour box, lines apart by dash and marker even
// where they coincide, whole-number x tics over exactly the data.
TEST(Plots, ScriptsUseViridisAndTellCoincidingLinesApart) {
  const std::string heat = stats::heatmapScript("t", "a", "b", "sphericity", {"1", "2"}, {"3"},
                                                {{0, 0, 0.5}, {1, 0, 0.75}});
  for (const char* piece : {"'#440154'", "'#fde725'", "set cblabel 'sphericity'", "set colorbox", "%.4g"})
    EXPECT_NE(heat.find(piece), std::string::npos) << piece;
  EXPECT_EQ(heat.find("rgbformulae"), std::string::npos);
  // The dark cell is written in white, the light one in black.
  EXPECT_NE(heat.find("0.5 0xffffff"), std::string::npos) << heat;
  EXPECT_NE(heat.find("0.75 0x000000"), std::string::npos) << heat;

  const stats::Curve same{"1", {{3, 0.5}, {4, 0.6}, {7, 0.7}}};
  stats::Curve other = same;
  other.label = "2";
  const std::string lines = stats::curveScript("t", "cycle", "area", "kr", {same, other});
  EXPECT_NE(lines.find("dashtype 1 pointtype 7"), std::string::npos) << lines;
  EXPECT_NE(lines.find("dashtype 2 pointtype 5"), std::string::npos) << lines;
  EXPECT_NE(lines.find("set xrange [3:7]"), std::string::npos) << lines;
  EXPECT_NE(lines.find("set xtics 1\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find("set format x '%.0f'"), std::string::npos);
  EXPECT_NE(stats::curveScript("t", "cycle", "n", "", {{"", {{0, 10}, {200, 90}}}}, true).find("set xtics 50\n"),
            std::string::npos);
  EXPECT_EQ(stats::viridisHex(0), "#440154");
  EXPECT_EQ(stats::viridisHex(0.5), "#21918c");
}

// --provenance: the run record's fields on every row, a point's command and status on the
// row of its result however the file is named; a record that cannot be used, nothing.
TEST_F(Program, ProvenanceAddsTheRunRecordAndRefusesABadOne) {
  writeFile("a.3dv", threeDVText(box(1, 1, 1)));
  writeFile("b.3dv", threeDVText(box(1, 1, 2)));
  writeFile("c.3dv", threeDVText(box(1, 1, 3)));
  const std::string head = R"({"manifest": "m", "folder": ")" + fs::current_path().string() +
                           R"(", "release": "1.0.0", "commit": "", "processor": "P", "unit": "avx2",
      "host": "h", "threads": 1, "jobs": null, "start": "S", "end": "E", "status": "failed",
      "counts": {"ok": 1, "failed": 1, "notRun": 0}, "points": )";
  // Fields the tools do not read may hold anything, nested as deep as the bound (32 levels).
  const auto nested = [](int levels) { return std::string(levels, '[') + std::string(levels, ']'); };
  writeFile("run.json", head + R"([{"point": 1, "result": "a.3dv", "command": "run a", "status": "ok"},
      {"point": 2, "result": "b.3dv", "command": "run \"b\", twice", "status": "failed"}], "inputs": )" + nested(31) + "}");
  Outcome r = morphstats({"--provenance", "run.json", "a.3dv", "./b.3dv", "c.3dv"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = csvRows(r.out);
  ASSERT_EQ(rows.size(), 4u);
  EXPECT_EQ(rows[0].size(), 1 + stats::measureColumns().size() + 10);
  const struct {
    std::size_t row;
    const char* column;
    std::string value;
  } cells[] = {{1, "volume", "1"},          {1, "release", "1.0.0"},  {3, "processor", "P"},
               {2, "unit", "avx2"},         {1, "threads", "1"},       {3, "runEnd", "E"},
               {1, "pointCommand", "run a"}, {2, "pointCommand", "run \"b\", twice"},
               {2, "pointStatus", "failed"}, {3, "pointCommand", ""},  {3, "commit", ""}};
  for (const auto& c : cells) EXPECT_EQ(cell(rows, c.row, c.column), c.value) << c.row << " " << c.column;
  // A point's snapshots belong to it too, by their stem; other names do not.
  io::RunRecord record;
  record.folder = fs::current_path().string();
  record.points = {{1, "a.3dv", "run a", "ok"}};
  const stats::Provenance provenance(record);
  const std::pair<std::string, std::string> owners[] = {{"a.3dv", "run a"},      {"./a.c12.vtp", "run a"},
                                                        {fs::absolute("a.3dv"), "run a"}, {"a.c.vtp", ""},
                                                        {"a.c12.vtp.3dv", ""},    {"b.3dv", ""}};
  for (const auto& [file, command] : owners) EXPECT_EQ(provenance.fields(file)[8], command) << file;

  const auto with = [&head](const std::string& from, const std::string& to) {
    return std::string(head).replace(head.find(from), from.size(), to);
  };
  const struct {
    std::vector<std::string> words;
    std::string record;  // written to bad.json; empty: none
    int status;
    std::string message;  // how standard error begins
  } refused[] = {
      {{"-o", "table.csv", "--provenance", "none.json", "a.3dv"}, "", 2,
       "morphstats: none.json: cannot open: No such file or directory\n"},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"}, "{\"release\": ", 2,
       "morphstats: bad.json: not a run record: "},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"}, "{\"manifest\": \"\xff\"}", 2,
       "morphstats: bad.json: not a run record: parse error at line 1, column 15: syntax error while parsing value - "
       "invalid string: ill-formed UTF-8 byte; last read: '\"?'\n"},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"}, "[1, 2]", 2,
       "morphstats: bad.json: not a run record: is not a JSON object\n"},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"}, head + "{}}", 2,
       "morphstats: bad.json: not a run record: 'points' is not a list\n"},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"}, head + R"([{"point": "1"}]})", 2,
       "morphstats: bad.json: not a run record: 'point' is not a whole number\n"},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"}, head + R"([{"point": 1}, 7]})", 2,
       "morphstats: bad.json: not a run record: no 'result'\n"},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"}, head + "[7, {}]}", 2,
       "morphstats: bad.json: not a run record: a point is not an object\n"},
      // Past the bounds: nesting no record has, and a count past the signed range (not -1).
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"}, head + "[], \"inputs\": " + nested(32) + "}", 2,
       "morphstats: bad.json: not a run record: nested deeper than 32 levels\n"},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"}, "{\"x\": " + nested(100000) + "}", 2,
       "morphstats: bad.json: not a run record: nested deeper than 32 levels\n"},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"},
       with("\"threads\": 1", "\"threads\": 18446744073709551615") + "[]}", 2,
       "morphstats: bad.json: not a run record: 'threads' is larger than 9223372036854775807\n"},
      {{"-o", "table.csv", "--provenance", "bad.json", "a.3dv"},
       with("\"ok\": 1", "\"ok\": 9223372036854775808") + "[]}", 2,
       "morphstats: bad.json: not a run record: 'ok' is larger than 9223372036854775807\n"},
      {{"--series", "--provenance", "run.json", "--plot", "volume", "-o", "p.png", "1:a.3dv"}, "", 1,
       "morphstats: --provenance adds columns to a table, not to a picture\n"},
  };
  for (const auto& c : refused) {
    fs::remove("bad.json");
    if (!c.record.empty()) writeFile("bad.json", c.record);
    r = morphstats(c.words);
    EXPECT_EQ(r.status, c.status) << c.message;
    EXPECT_EQ(r.err.rfind(c.message, 0), 0u) << r.err;
    EXPECT_FALSE(fs::exists("table.csv") || fs::exists("p.png")) << c.message;
  }
}

// The record's text cannot become a formula in a spreadsheet: a cell that begins as one
// does gets a leading apostrophe; numbers, the measures' and the record's, stay as they are.
TEST_F(Program, ProvenanceTextIsNoFormulaAndNumbersStayNumbers) {
  writeFile("a.3dv", threeDVText(inverted(box(1, 1, 1))));
  const std::pair<const char*, std::string> fields[] = {
      {"release", "=1+2"}, {"commit", "+cmd"},       {"processor", "-2"}, {"unit", "@SUM(A1)"},
      {"host", R"(\tx)"},  {"start", R"(\r=x)"},    {"end", "2026-12-09T06:00:00Z"}};  // as JSON writes them
  std::string record = R"({"manifest": "m", "folder": ")" + fs::current_path().string() +
                       R"j(", "threads": -3, "jobs": null, "status": "ok", "counts": {"ok": 1, "failed": 0, "notRun": 0},
      "points": [{"point": 1, "result": "a.3dv", "command": "=HYPERLINK(\"x\")", "status": "-"}])j";
  for (const auto& [key, value] : fields) record += ", \"" + std::string(key) + "\": \"" + value + "\"";
  writeFile("run.json", record + "}");
  const Outcome r = morphstats({"--provenance", "run.json", "a.3dv"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = csvRows(r.out);
  ASSERT_EQ(rows.size(), 2u);
  const std::pair<const char*, std::string> cells[] = {
      {"release", "'=1+2"},      {"commit", "'+cmd"},    {"processor", "'-2"},
      {"unit", "'@SUM(A1)"},     {"host", "'\tx"},       {"runStart", "'\r=x"},
      {"runEnd", "2026-12-09T06:00:00Z"}, {"pointCommand", "'=HYPERLINK(\"x\")"}, {"pointStatus", "'-"},
      {"threads", "-3"},         {"volume", "-1"}};
  for (const auto& [column, value] : cells) EXPECT_EQ(cell(rows, 1, column), value) << column;
}

// Crafted files that took minutes: each face on a long split edge repeating its search, and
// a point where many border edges arrive and leave. Each is measured whole within the 10 s
// the fuzz targets give one input (scripts/fuzz.sh), and its fault named: the faces all on
// one edge are left out, and the point's fans close up one by one.
TEST_F(Program, CraftedBorderEdgesMeasureWithinTheFuzzTimeLimit) {
  constexpr int n = 30000;
  const std::string warning = "morphstats: crafted.obj: warning: 1 surface fault (1 non-manifold ";
  for (const auto& [obj, kind] :
       std::vector<std::pair<std::string, std::string>>{{sharedEdgeObj(n, n), "edge"}, {hubObj(n), "point"}}) {
    writeFile("crafted.obj", obj);
    const Outcome r = run({"/usr/bin/timeout", "10", MORPHSTATS_BINARY, "crafted.obj"});
    ASSERT_EQ(r.status, 0) << "124 is the time limit: " << r.err;
    EXPECT_EQ(cell(csvRows(r.out), 1, "tJunctions"), "0");
    EXPECT_EQ(cell(csvRows(r.out), 1, "surfaceFaults"), "1");
    EXPECT_EQ(r.err, warning + kind + "): angleDefect is over the rest of the surface\n");
  }
}

// A timestep is a cycle only when it is a whole number: never rounded, never wrapped.
TEST_F(Program, TimestepsThatAreNoCyclesAreRefused) {
  writeFile("a.obj", objText(box(1, 1, 1)));
  for (const char* step : {"0.4", "1e+300", "-1"}) {
    writeFile("s.pvd", std::string("<VTKFile type=\"Collection\"><Collection><DataSet timestep=\"") + step +
                           "\" file=\"a.obj\"/></Collection></VTKFile>");
    const Outcome r = morphstats({"--series", "s.pvd"});
    EXPECT_EQ(r.status, 2) << step;
    EXPECT_EQ(r.err, std::string("morphstats: s.pvd: DataSet 0: timestep ") + step +
                         " is not a cycle (a whole number from 0)\n");
  }
}

TEST_F(Program, GnuplotComplaintsAreErrors) {
  // A gnuplot that fails, first on the search path.
  fs::create_directory("bin");
  writeFile("bin/gnuplot", "#!/bin/sh\necho 'line 3: undefined variable: x' >&2\nexit 1\n");
  fs::permissions("bin/gnuplot", fs::perms::owner_all);
  writeFile("a.obj", objText(box(1, 1, 1)));
  const std::string path = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", (fs::current_path() / "bin").string().append(":").append(path).c_str(), 1);
  const Outcome r = morphstats({"--series", "--plot", "area", "-o", "a.png", "0:a.obj"});
  setenv("PATH", path.c_str(), 1);
  EXPECT_EQ(r.status, 3);
  EXPECT_EQ(r.err, "morphstats: a.png: gnuplot failed:\nline 3: undefined variable: x\n");
  EXPECT_FALSE(fs::exists("a.png"));
}

// A real series: the snapshots a run lists in its .pvd, read from another folder, carry
// their cycles and their morphogen levels into the rows.
TEST_F(Program, SeriesOfARealRunIsReadThroughItsIndex) {
  fs::create_directory("run");
  fs::copy_file(SEED_FILE, "run/indexed_icosa");
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir("run") != 0 || !std::freopen("/dev/null", "w", stderr)) _exit(126);
    execl(MORPHSEED_BINARY, MORPHSEED_BINARY, "-s", "1000", "-b", "1", "6", "-v", "3", static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

  const Outcome r = morphstats({"--series", "run/embryo.1000.pvd"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto rows = csvRows(r.out);
  ASSERT_EQ(rows.size(), 4u);
  for (std::size_t row = 1; row <= 3; ++row) {
    const std::string cycle = std::to_string(3 * (row - 1));
    EXPECT_EQ(cell(rows, row, "cycle"), cycle);
    EXPECT_EQ(cell(rows, row, "file"), "run/embryo.1000.c" + cycle + ".vtp");
    EXPECT_NEAR(std::stod(cell(rows, row, "angleDefect")), 2.0, 1e-9);
    EXPECT_FALSE(cell(rows, row, "redMean").empty()) << "row " << row;
  }
  // The seed is loaded with no morphogen anywhere; growth has begun a red episode by cycle 6.
  EXPECT_EQ(std::stod(cell(rows, 1, "redMean")), 0.0);
  EXPECT_GT(std::stod(cell(rows, 3, "redMean")), 0.0);

  const Outcome bad = morphstats({"--series", "run/none.pvd"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("run/none.pvd"), std::string::npos) << bad.err;
}
