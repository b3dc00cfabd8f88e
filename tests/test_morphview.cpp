#include <fcntl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <tuple>

#include "font.h"
#include "icosphere.h"
#include "io/meshread.h"
#include "render.h"
#include "sheet.h"

namespace fs = std::filesystem;
using namespace view;

namespace {

using testmesh::icosphere;

std::string point(const char* prefix, const std::array<float, 3>& p) {
  char line[160];
  std::snprintf(line, sizeof line, "%s%f %f %f\n", prefix, p[0], p[1], p[2]);
  return line;
}

// The mesh in one of the three layouts, written the way the programs write them.
std::string toText(const Mesh& m, MeshFormat format) {
  std::ostringstream out;
  if (format == MeshFormat::obj) {
    for (const auto& p : m.points) out << point("v  ", p);
    for (const auto& f : m.faces) out << "f " << f[0] + 1 << "  " << f[1] + 1 << "  " << f[2] + 1 << "\n";
    return out.str();
  }
  out << m.points.size() << "\n" << m.faces.size() << "\n";
  for (const auto& p : m.points) {
    out << point("", p) << "0.5 0 0\n";  // normals are not read, whatever their length
    if (format == MeshFormat::threeDVTemplate) out << "0 0 0 -1 -1 \n";
  }
  for (const auto& f : m.faces) out << "3\n" << f[0] << " " << f[1] << " " << f[2] << "\n";
  return out.str();
}

long countIf(const Image& img, bool (*keep)(Rgb), int x0, int y0, int w, int h) {
  long n = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) n += keep(img.at(x, y));
  return n;
}
bool drawn(Rgb c) { return !(c == backgroundColour); }
bool isLabel(Rgb c) { return c == labelColour; }
long drawnIn(const Image& img) { return countIf(img, drawn, 0, 0, img.width(), img.height()); }

std::vector<std::string> join(std::vector<std::string> a, const std::vector<std::string>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

bool sameImage(const Image& a, const Image& b) {
  if (a.width() != b.width() || a.height() != b.height()) return false;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x)
      if (!(a.at(x, y) == b.at(x, y))) return false;
  return true;
}

// A folder of its own per test, removed afterwards.
class Files : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("morphview_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string write(const std::string& name, const std::string& text) const {
    const std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }
  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  size_t filesLeft() const { return size_t(std::distance(fs::directory_iterator(dir_), fs::directory_iterator())); }

  // Runs the tool; returns its exit status and keeps its standard error in `err`.
  int run(std::vector<std::string> args) {
    const std::string errPath = (dir_ / "stderr.txt").string();
    args.insert(args.begin(), MORPHVIEW_BINARY);
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 2);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(errPath);
    err = std::string(std::istreambuf_iterator<char>(in), {});
    fs::remove(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  static Image readPng(const std::string& file) {
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, file.c_str())) return {};
    png.format = PNG_FORMAT_RGB;
    std::vector<unsigned char> rgb(PNG_IMAGE_SIZE(png));
    if (!png_image_finish_read(&png, nullptr, rgb.data(), 0, nullptr)) return {};
    Image img(int(png.width), int(png.height), {});
    for (int y = 0; y < img.height(); ++y)
      for (int x = 0; x < img.width(); ++x) {
        const unsigned char* p = &rgb[(size_t(y) * png.width + x) * 3];
        img.set(x, y, {p[0], p[1], p[2]});
      }
    return img;
  }
  static std::string bytes(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  fs::path dir_;
  std::string err;
};

TEST(MeshRead, TheThreeLayoutsGiveOneMesh) {
  const Mesh sphere = icosphere(1);
  const MeshLoad dv = parseMesh(toText(sphere, MeshFormat::threeDV), MeshFormat::threeDV, "a");
  ASSERT_TRUE(dv.ok()) << dv.error;
  EXPECT_EQ(dv.mesh.faces, sphere.faces);
  ASSERT_EQ(dv.mesh.points.size(), sphere.points.size());
  EXPECT_NEAR(dv.mesh.points[17][1], sphere.points[17][1], 1e-6);
  for (MeshFormat f : {MeshFormat::threeDVTemplate, MeshFormat::obj}) {
    const MeshLoad other = parseMesh(toText(sphere, f), f, "b");
    ASSERT_TRUE(other.ok()) << other.error;
    EXPECT_EQ(other.mesh.points, dv.mesh.points);
    EXPECT_EQ(other.mesh.faces, dv.mesh.faces);
  }
  EXPECT_EQ(formatForName("runs/a.OBJ"), MeshFormat::obj);
  EXPECT_EQ(formatForName("embryo.12.3dvTemplate"), MeshFormat::threeDVTemplate);
  EXPECT_EQ(formatForName("embryo.12.3dvTemplate.n3.m1.kr.3.kh.2.3dv"), MeshFormat::threeDV);
}

TEST(MeshRead, ObjPolygonsAndCornerForms) {
  const MeshLoad m =
      parseMesh("# c\nv 0 0 0\nv 1 0 0\nvn 0 0 1\nv 1 1 0\nv 0 1 0 1.0\ng x\nf 1/1/1 2//1 3 4\nf -3 -2 -1 # end\n",
                MeshFormat::obj, "q.obj");
  ASSERT_TRUE(m.ok()) << m.error;
  const std::vector<std::array<int, 3>> faces{{0, 1, 2}, {0, 2, 3}, {1, 2, 3}};
  EXPECT_EQ(m.mesh.faces, faces);
  EXPECT_EQ(m.mesh.points.size(), 4u);
}

TEST(MeshRead, BadInputIsRefusedWithTheReason) {
  const std::string head = "3\n1\n0 0 0\n0 0 1\n1 0 0\n0 0 1\n";
  const std::string tri = "3\n0 1 2\n";
  const struct {
    MeshFormat format;
    std::string text, reason;
  } cases[] = {
      {MeshFormat::threeDV, "", "file ends before the vertex count"},
      {MeshFormat::threeDV, "0\n1\n", "vertex count 0 is outside 1..16777216"},
      {MeshFormat::threeDV, "3\n0\n", "triangle count 0 is outside"},
      {MeshFormat::threeDV, "16777216\n33554432\n0 0 0 0 0 0\n", "vertex 1: file ends before the x coordinate"},
      {MeshFormat::threeDV, head, "vertex 2: file ends before the x coordinate"},
      {MeshFormat::threeDV, head + "0 1 0.5x\n", "vertex 2: z coordinate '0.5x' is not a finite real number"},
      {MeshFormat::threeDV, head + "0 nan 0\n", "vertex 2: y coordinate 'nan' is not a finite"},
      {MeshFormat::threeDV, head + "1e39 0 0\n", "vertex 2: x coordinate '1e39' is not a finite"},
      {MeshFormat::threeDV, head + "0 1 0 0 0 1\n3\n0 1 3\n", "triangle 0: corner index 3 is outside 0..2"},
      {MeshFormat::threeDV, head + "0 1 0 0 0 1\n3\n0 -1 2\n", "corner index -1 is outside 0..2"},
      {MeshFormat::threeDV, head + "0 1 0 0 0 1\n4\n0 1 2\n", "triangle 0: corner count 4 is not 3"},
      {MeshFormat::threeDV, head + "0 1 0 0 0 1\n" + tri + "7\n", "unexpected text '7' after the last triangle"},
      {MeshFormat::threeDVTemplate, "1\n1\n0 0 0 0 0 1 7", "vertex 0: neighbour count 7 is outside 0..6"},
      {MeshFormat::threeDVTemplate, "1\n1\n0 0 0 0 0 1 1 1", "vertex 0: neighbour index 1 is outside 0..0"},
      {MeshFormat::threeDVTemplate, "1\n1\n0 0 0 0 0 1 0 0 0 -2", "vertex 0: parentA -2 is outside -1..0"},
      {MeshFormat::obj, "v 1 2\n", "line 1: a vertex needs three coordinates"},
      {MeshFormat::obj, "\nv 1 2 abc\n", "line 2: z coordinate 'abc' is not a finite real number"},
      {MeshFormat::obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n", "line 4: face corner 4 refers to no vertex (3 defined"},
      {MeshFormat::obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 0 1 2\n", "face corner 0 refers to no vertex"},
      {MeshFormat::obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2\n", "a face has 2 corners; it needs at least 3"},
      {MeshFormat::obj, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf a b c\n", "face corner 'a' is not a vertex number"},
      {MeshFormat::obj, "v 0 0 0\n", "holds no faces"},
  };
  for (const auto& c : cases) {
    const MeshLoad m = parseMesh(c.text, c.format, "bad.file");
    EXPECT_EQ(m.error.rfind("bad.file: ", 0), 0u) << c.text;
    EXPECT_NE(m.error.find(c.reason), std::string::npos) << "got: " << m.error;
    EXPECT_TRUE(m.mesh.points.empty() && m.mesh.faces.empty());
  }
  // Every cut-short file is refused (an OBJ cut between statements is still a mesh).
  for (MeshFormat f : {MeshFormat::threeDV, MeshFormat::threeDVTemplate, MeshFormat::obj}) {
    const std::string whole = toText(icosphere(0), f);
    for (std::size_t cut = 0; cut + 1 < whole.size(); ++cut) {
      const MeshLoad m = parseMesh(whole.substr(0, cut), f, "cut");
      if (f != MeshFormat::obj) {
        EXPECT_FALSE(m.ok()) << cut;
      }
      EXPECT_EQ(m.ok(), m.error.empty());
      EXPECT_EQ(m.ok(), !m.mesh.faces.empty());
    }
  }
  // The layout a misnamed file does have is pointed out.
  const std::string templ = toText(icosphere(0), MeshFormat::threeDVTemplate);
  EXPECT_NE(parseMesh(templ, MeshFormat::threeDV, "t.3dv").error.find("use --format template"), std::string::npos);
}

TEST(Render, SphereFillsTheFittedDiscAndCornersStayBackground) {
  const Mesh sphere = icosphere(4);
  for (auto [w, h] : {std::pair{400, 400}, std::pair{480, 320}}) {
    const Image img = renderMesh(sphere, defaultToCamera, w, h);
    const double r = std::min(w, h) * (0.5 - marginShare);
    EXPECT_EQ(countIf(img, drawn, 0, 0, w, 1) + countIf(img, drawn, 0, h - 1, w, 1) + countIf(img, drawn, 0, 0, 1, h) +
                  countIf(img, drawn, w - 1, 0, 1, h),
              0);
    const double share = double(drawnIn(img)) / (w * h);
    EXPECT_NEAR(share / (M_PI * r * r / (w * h)), 1.0, 0.02) << w << "x" << h;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        const double d = std::hypot(x + 0.5 - w / 2.0, y + 0.5 - h / 2.0);
        if (d > r + 1) {
          ASSERT_FALSE(drawn(img.at(x, y))) << x << "," << y;
        } else if (d < 0.98 * r - 1) {
          ASSERT_TRUE(drawn(img.at(x, y))) << x << "," << y;
        }
      }
  }
  // Fitting follows the mesh: a moved and enlarged sphere gives nearly the same picture.
  Mesh moved = sphere;
  for (auto& p : moved.points) p = {p[0] * 40 + 7, p[1] * 40 - 300, p[2] * 40 + 2};
  EXPECT_NEAR(
      double(drawnIn(renderMesh(moved, {0, 0, 1}, 200, 200))) / drawnIn(renderMesh(sphere, {0, 0, 1}, 200, 200)), 1.0,
      0.005);
}

// The brightness of a flat face whose normal, in the camera's right, up and towards-camera
// axes, is `n` (unit length): ambient plus the rest times its cosine with the light.
double litBrightness(const std::array<double, 3>& n) {
  const auto& l = lightFromCamera;
  const double cosine = (n[0] * l[0] + n[1] * l[1] + n[2] * l[2]) / std::sqrt(l[0] * l[0] + l[1] * l[1] + l[2] * l[2]);
  return ambientShare + (1 - ambientShare) * std::max(cosine, 0.0);
}

TEST(Render, ShadingIsTwoSidedAndLitFromAboveLeft) {
  Mesh sphere = icosphere(3);
  const Image img = renderMesh(sphere, defaultToCamera, 200, 200);
  // Brightest where the normal points at the light (up and left of the centre), dimmest
  // (ambient) on the lower right, away from it.
  int bestX = 0, bestY = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 200; ++x)
      if (img.at(x, y).r > img.at(bestX, bestY).r) bestX = x, bestY = y;
  EXPECT_LT(bestX, 95);
  EXPECT_LT(bestY, 95);
  EXPECT_GE(img.at(bestX, bestY).r, 230);
  EXPECT_NEAR(img.at(100 + 60, 100 + 60).r, surfaceColour.r * ambientShare, 3);
  // Smooth: neighbouring pixels on the lit side differ by little, not face by face.
  for (int x = 60; x < 140; ++x) EXPECT_LE(std::abs(img.at(x + 1, 70).r - img.at(x, 70).r), 3) << x;
  for (auto& f : sphere.faces) std::swap(f[1], f[2]);
  EXPECT_TRUE(sameImage(renderMesh(sphere, defaultToCamera, 200, 200), img));
  // A square seen at 45 degrees from +x and face-on from behind.
  const Mesh square{{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {{0, 1, 2}, {0, 2, 3}}, {}, {}, {}};
  const Rgb seen = renderMesh(square, {1, 0, 1}, 64, 64).at(32, 32);
  EXPECT_EQ(seen.g, std::lround(surfaceColour.g * litBrightness({-std::sqrt(0.5), 0, std::sqrt(0.5)})));
  EXPECT_EQ(renderMesh(square, {0, 0, -3}, 64, 64).at(32, 32).r, std::lround(surfaceColour.r * litBrightness({0, 0, 1})));
}

TEST(Render, NearerFacesHideFartherOnes) {
  // A flat square at z = 0 and, in front of it, a smaller one tilted 60 degrees (darker).
  Mesh m{{{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}, {-.5f, -.25f, .5f}, {.5f, -.25f, .5f}, {0, .25f, 1.37f}},
         {{0, 1, 2}, {0, 2, 3}, {4, 5, 6}},
         {},
         {},
         {}};
  const Rgb front = renderMesh(m, {0, 0, 1}, 100, 100).at(50, 50);
  const Rgb back = renderMesh(m, {0, 0, -1}, 100, 100).at(50, 50);
  EXPECT_EQ(back.r, std::lround(surfaceColour.r * litBrightness({0, 0, 1})));
  EXPECT_LT(front.r, back.r);
  std::swap(m.faces[0], m.faces[2]);  // drawing order does not matter
  EXPECT_EQ(renderMesh(m, {0, 0, 1}, 100, 100).at(50, 50), front);
}

TEST(Render, ViewDirectionSetsTheImageAxes) {
  // The corner of a cube at (-1,-1,-1) with its three edges: seen along any axis, the
  // picture is a right triangle whose bulk lies on the side of that corner.
  const Mesh corner{
      {{-1, -1, -1}, {1, -1, -1}, {-1, 1, -1}, {-1, -1, 1}}, {{0, 1, 2}, {0, 1, 3}, {0, 2, 3}, {1, 2, 3}}, {}, {}, {}};
  // Drawn pixels right of centre minus left of it, and below centre minus above it.
  auto rightward = [](const Image& img) {
    return countIf(img, drawn, 100, 0, 100, 200) - countIf(img, drawn, 0, 0, 100, 200);
  };
  auto downward = [](const Image& img) {
    return countIf(img, drawn, 0, 100, 200, 100) - countIf(img, drawn, 0, 0, 200, 100);
  };
  const Image front = renderMesh(corner, {0, 0, 1}, 200, 200);
  EXPECT_LT(rightward(front), -1000);                                    // -x on the left
  EXPECT_GT(downward(front), 1000);                                      // -y below
  EXPECT_GT(rightward(renderMesh(corner, {0, 0, -1}, 200, 200)), 1000);  // from behind, -x is right
  EXPECT_LT(downward(renderMesh(corner, {0, 1, 0}, 200, 200)), -1000);   // from above, up is -z
  EXPECT_GT(rightward(renderMesh(corner, {1, 0, 0}, 200, 200)), 1000);   // from +x, right is -z
  EXPECT_FALSE(sameImage(renderMesh(corner, {1, 2, 3}, 200, 200), front));
}

TEST(Render, DegenerateMeshesDrawNothingOrStayFinite) {
  const Mesh point{{{2, 2, 2}, {2, 2, 2}, {2, 2, 2}}, {{0, 1, 2}}, {}, {}, {}};
  EXPECT_EQ(drawnIn(renderMesh(point, defaultToCamera, 50, 50)), 0);
  const Mesh line{{{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}, {{0, 1, 2}, {0, 0, 1}}, {}, {}, {}};
  EXPECT_EQ(drawnIn(renderMesh(line, defaultToCamera, 50, 50)), 0);
  const Mesh small{{{0, 0, 0}, {1e-30f, 0, 0}, {0, 1e-30f, 0}}, {{0, 1, 2}}, {}, {}, {}};
  const Mesh huge{{{-3e38f, -3e38f, 0}, {3e38f, -3e38f, 0}, {-3e38f, 3e38f, 0}}, {{0, 1, 2}}, {}, {}, {}};
  // Both fill the fitted disc's inscribed half-square, whatever their scale.
  const long unit = drawnIn(renderMesh(small, defaultToCamera, 200, 200));
  EXPECT_NEAR(unit / (2 * 90 * 90 / 2.0), 1.0, 0.03);
  EXPECT_NEAR(double(drawnIn(renderMesh(huge, defaultToCamera, 200, 200))) / unit, 1.0, 0.03);
}

// The flung embryo: a body about 2 across with six vertices 31 to 4519 units away.
Mesh flung() {
  Mesh m = icosphere(3);
  const std::array<float, 3> far[] = {{0, 0, 4519}, {0, 0, -4519}, {0, 0, 31}, {0, 0, -31}, {0, 31, 0}, {31, 0, 0}};
  for (std::size_t i = 0; i < std::size(far); ++i) m.points[i * 7] = far[i];
  return m;
}

TEST(Render, PicturesFrameTheBodyNotVerticesFlungFarFromIt) {
  const Mesh m = flung();
  RenderStyle all;
  all.frameAll = true;
  const double pixels = 200 * 200;
  EXPECT_GT(drawnIn(renderMesh(m, defaultToCamera, 200, 200)) / pixels, 0.4);
  EXPECT_LT(drawnIn(renderMesh(m, defaultToCamera, 200, 200, all)) / pixels, 0.01);  // the body below a pixel
  // A body without far vertices is framed as every vertex is.
  const Mesh sphere = icosphere(3);
  EXPECT_TRUE(sameImage(renderMesh(sphere, {1, 2, 3}, 120, 90), renderMesh(sphere, {1, 2, 3}, 120, 90, all)));
  stats::FarPoints far;
  stats::BodyBox body;
  bodyFraming(m.points, &far, &body);
  const std::string warning = farWarning("f.3dv", far, body);
  EXPECT_EQ(warning.rfind("f.3dv: warning: 6 vertices lie far outside the body (", 0), 0u) << warning;
  EXPECT_NE(warning.find(" across), up to 4518 from it; "), std::string::npos) << warning;
  EXPECT_NE(warning.find("--frame all"), std::string::npos) << warning;
  bodyFraming(sphere.points, &far, &body);
  EXPECT_EQ(farWarning("s.3dv", far, body), "");
}

TEST(Render, TitlesAndScaleBarsSayWhatAndHowLarge) {
  EXPECT_EQ(pictureTitle("day/e.vtp", 7, 3), "e.vtp  seed 7  cycle 3");
  EXPECT_EQ(pictureTitle("e.3dv", std::nullopt, std::nullopt), "e.3dv");
  // The largest round length within a quarter of the width.
  for (const auto& [perPixel, width, length] :
       {std::tuple{0.01, 512, 1.0}, {0.004, 512, 0.5}, {3.0, 100, 50.0}, {0.0009, 400, 0.05}, {0.0, 100, 0.0}}) {
    EXPECT_DOUBLE_EQ(scaleBarLength(perPixel, width), length) << perPixel << " " << width;
  }
  const Mesh sphere = icosphere(2);
  RenderStyle style;
  const Image plain = renderPicture(sphere, defaultToCamera, 400, 400, style);
  style.title = std::string(200, 'W');  // too long: its tail after "..."
  style.scaleBar = true;
  const Image marked = renderPicture(sphere, defaultToCamera, 400, 400, style);
  const int scale = textScale(400, 400);
  EXPECT_EQ(scale, 2);
  EXPECT_EQ(countIf(plain, isLabel, 0, 0, 400, 40), 0);
  EXPECT_GT(countIf(marked, isLabel, 0, 0, 400, 4 + glyphHeight * scale + 2), 1000);  // a line of W
  EXPECT_EQ(countIf(marked, isLabel, 0, 4 + glyphHeight * scale + 2, 400, 40), 0);
  EXPECT_EQ(countIf(plain, isLabel, 0, 340, 130, 60), 0);
  EXPECT_GT(countIf(marked, isLabel, 0, 340, 130, 60), 100);  // the bar and its length
}

TEST(Labels, GlyphsAreDistinctAndTextWraps) {
  for (int a = 33; a < 127; ++a) {
    EXPECT_NE(glyphFor(char(a)), glyphFor(' ')) << char(a);
    for (int b = a + 1; b < 127; ++b) EXPECT_NE(glyphFor(char(a)), glyphFor(char(b))) << char(a) << char(b);
    for (auto row : glyphFor(char(a))) EXPECT_LT(row, 1 << glyphWidth);
  }
  EXPECT_EQ(glyphFor('\x80'), glyphFor('?'));

  const std::string name = "embryo.1253901202.3dvTemplate.n300.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv";
  const auto lines = wrapLabel(name, 26, 6);
  std::string joined;
  for (const auto& l : lines) {
    EXPECT_LE(l.size(), 26u);
    if (&l != &lines.back()) {
      EXPECT_EQ(l.back(), '.') << l;  // broken after a separator
    }
    joined += l;
  }
  EXPECT_EQ(joined, name);
  const auto tail = wrapLabel(name, 10, 3);
  ASSERT_EQ(tail.size(), 3u);
  EXPECT_EQ(tail[0] + tail[1] + tail[2], "..." + name.substr(name.size() - 27));

  Image img(40, 20, backgroundColour);
  drawText(img, 3, 4, "AB", labelColour);
  EXPECT_GT(countIf(img, isLabel, 3, 4, glyphAdvance, glyphHeight), 8);
  EXPECT_GT(countIf(img, isLabel, 3 + glyphAdvance, 4, glyphAdvance, glyphHeight), 8);
  EXPECT_EQ(countIf(img, isLabel, 0, 0, 40, 20), countIf(img, isLabel, 3, 4, 2 * glyphAdvance, glyphHeight));
}

TEST_F(Files, SheetHasATileAndALabelPerFile) {
  std::vector<std::string> paths;
  for (int i = 0; i < 5; ++i) {
    const MeshFormat f = i % 3 == 0 ? MeshFormat::obj : i % 3 == 1 ? MeshFormat::threeDV : MeshFormat::threeDVTemplate;
    const char* ext = f == MeshFormat::obj ? ".obj" : f == MeshFormat::threeDV ? ".3dv" : ".3dvTemplate";
    paths.push_back(write("start.3dv.n300.m1.r40.120.5.g.40.120.17.b.40.120." + std::to_string(i) + ".kr.3.kh.2" + ext,
                          toText(icosphere(i % 3), f)));
  }
  SheetOptions options;
  options.tile = 96;
  options.columns = 3;
  std::string problem;
  const auto layout = layoutSheet(paths, options, problem);
  ASSERT_TRUE(layout) << problem;
  EXPECT_EQ(layout->rows, 2);
  EXPECT_GE(layout->labelLines, 3);  // ~80 characters over 16 a line
  ASSERT_EQ(run(join({"--sheet", "--tile", "96", "--columns", "3", "-o", path("s.png")}, paths)), 0) << err;
  const Image sheet = readPng(path("s.png"));
  ASSERT_EQ(sheet.width(), layout->width);
  ASSERT_EQ(sheet.height(), layout->height);
  for (int i = 0; i < 6; ++i) {
    const long tile = countIf(sheet, drawn, layout->tileLeft(i), layout->tileTop(i), 96, 96);
    const long label =
        countIf(sheet, isLabel, layout->tileLeft(i), layout->labelTop(i), 96, layout->labelLines * layout->lineHeight());
    EXPECT_EQ(tile > 96 * 96 / 3, i < 5) << i;
    EXPECT_EQ(label > 50, i < 5) << i;
  }
  // Labels are legible at the sheet's default size: a line of them is at least 12 pixels high.
  const auto big = layoutSheet(paths, SheetOptions{}, problem);
  ASSERT_TRUE(big) << problem;
  const Image bigSheet = renderSheet(paths, SheetOptions{}, *big).image;
  int first = -1, last = -1;
  for (int y = big->labelTop(0); y < big->labelTop(0) + big->lineHeight(); ++y) {
    if (countIf(bigSheet, isLabel, big->tileLeft(0), y, big->tile, 1) == 0) continue;
    if (first < 0) first = y;
    last = y;
  }
  EXPECT_GE(last - first + 1, 12);
  // The sheet's title above the tiles.
  EXPECT_GT(countIf(sheet, isLabel, 0, 0, sheet.width(), layout->tileTop(0)), 50);
  // Only tiles and labels are drawn: the gaps stay background.
  EXPECT_EQ(countIf(sheet, drawn, 0, 0, sheetGap, sheet.height()), 0);

  // An unreadable file refuses the sheet, or with --mark-bad becomes a crossed-out tile.
  paths[1] = path("missing.3dv");
  EXPECT_EQ(run(join({"--sheet", "-o", path("bad.png")}, paths)), 2);
  EXPECT_EQ(err.rfind("morphview: " + paths[1] + ": cannot open", 0), 0u) << err;
  EXPECT_FALSE(fs::exists(path("bad.png")));
  ASSERT_EQ(run(join({"--sheet", "--mark-bad", "--tile", "96", "--columns", "3", "-o", path("bad.png")}, paths)), 0);
  EXPECT_NE(err.find(paths[1]), std::string::npos);
  const auto markedLayout = layoutSheet(paths, options, problem);
  ASSERT_TRUE(markedLayout);
  const Image marked = readPng(path("bad.png"));
  const int x = markedLayout->tileLeft(1), y = markedLayout->tileTop(1);
  EXPECT_EQ(marked.at(x + 10, y + 30), placeholderColour);
  EXPECT_EQ(marked.at(x + 48, y + 48), placeholderMarkColour);
  EXPECT_GT(countIf(marked, isLabel, x, markedLayout->labelTop(1), 96, markedLayout->lineHeight()), 50);
}

TEST_F(Files, ToolFramesTheFlungEmbryoAndNamesItsFarVertices) {
  const std::string file = write("flung.3dv", toText(flung(), MeshFormat::threeDV));
  ASSERT_EQ(run({"--size", "200x200", "-o", path("body.png"), file}), 0) << err;
  EXPECT_EQ(err.rfind("morphview: " + file + ": warning: 6 vertices lie far outside the body", 0), 0u) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1);
  const Image body = readPng(path("body.png"));
  EXPECT_GT(drawnIn(body), 200 * 200 / 20);
  EXPECT_GT(countIf(body, isLabel, 0, 0, 200, 12), 40);  // the title
  ASSERT_EQ(run({"--size", "200x200", "--frame", "all", "-o", path("all.png"), file}), 0) << err;
  EXPECT_EQ(err, "");
  const Image all = readPng(path("all.png"));
  EXPECT_LT(drawnIn(all) - countIf(all, isLabel, 0, 0, 200, 12), 200 * 200 / 100);
  // A sheet warns of each such file once.
  ASSERT_EQ(run({"--sheet", "--tile", "64", "-o", path("sheet.png"), file, file}), 0) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 2) << err;
}

TEST_F(Files, ToolWritesTheSameBytesForEveryFormat) {
  const Mesh sphere = icosphere(2);
  // The title names the file: the three files share a name in folders of their own.
  const std::string names[] = {"a.3dv", "a.3dvTemplate", "a.obj"};
  const char* formatNames[] = {"3dv", "template", "obj"};
  const MeshFormat formats[] = {MeshFormat::threeDV, MeshFormat::threeDVTemplate, MeshFormat::obj};
  for (int i = 0; i < 3; ++i) {
    fs::create_directory(path(formatNames[i]));
    ASSERT_EQ(run({"--size", "120x90", "--view", "1,2,3", "--format", formatNames[i], "-o", path(names[i] + ".png"),
                   write(std::string(formatNames[i]) + "/a.3dv", toText(sphere, formats[i]))}),
              0)
        << err;
  }
  const std::string first = bytes(path("a.3dv.png"));
  EXPECT_EQ(bytes(path("a.3dvTemplate.png")), first);
  EXPECT_EQ(bytes(path("a.obj.png")), first);
  ASSERT_EQ(run({"--size", "120x90", "--view", "1,2,3", "-o", path("again.png"), path("3dv/a.3dv")}), 0);
  EXPECT_EQ(bytes(path("again.png")), first);
  RenderStyle titled;
  titled.title = pictureTitle(path("3dv/a.3dv"), std::nullopt, std::nullopt);
  EXPECT_TRUE(sameImage(
      readPng(path("again.png")),
      renderPicture(parseMesh(toText(sphere, MeshFormat::obj), MeshFormat::obj, "").mesh, {1, 2, 3}, 120, 90, titled)));
  // A template under a 3DV name needs --format.
  fs::copy_file(path("template/a.3dv"), path("t.3dv"));
  EXPECT_EQ(run({"-o", path("t.png"), path("t.3dv")}), 2);
  EXPECT_EQ(run({"--format", "template", "-o", path("t.png"), path("t.3dv")}), 0);
}

TEST_F(Files, ToolRefusesBadFilesAndCommandLines) {
  const std::string good = write("good.3dv", toText(icosphere(0), MeshFormat::threeDV));
  for (const auto& [name, text] : {std::pair<std::string, std::string>{"trunc.3dv", "12\n20\n0 0 0\n"},
                                   {"nan.obj", "v 0 nan 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"},
                                   {"range.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 9\n"}}) {
    const std::string file = write(name, text);
    EXPECT_EQ(run({"-o", path("out.png"), file}), 2) << name;
    EXPECT_EQ(err.rfind("morphview: " + file + ": ", 0), 0u) << err;
  }
  EXPECT_EQ(run({"-o", path("out.png"), path("none.3dv")}), 2);
  EXPECT_EQ(run({"-o", path("no/such/dir/out.png"), good}), 2);
  EXPECT_NE(err.find("cannot write"), std::string::npos) << err;
  const std::string x = path("x.png");
  const std::vector<std::vector<std::string>> refused = {{},
                                                         {good},
                                                         {"-o", x},
                                                         {"--bogus", "-o", x, good},
                                                         {"--size", "0x10", "-o", x, good},
                                                         {"--size", "20", "-o", x, good},
                                                         {"--view", "0,0,0", "-o", x, good},
                                                         {"--view", "1,2", "-o", x, good},
                                                         {"--frame", "most", "-o", x, good},
                                                         {"--format", "ply", "-o", x, good},
                                                         {"-o", x, good, good},
                                                         {"--tile", "64", "-o", x, good},
                                                         {"--sheet", "--size", "9x9", "-o", x, good},
                                                         {"--sheet", "--tile", "8", "-o", x, good},
                                                         {"-o"}};
  for (const auto& args : refused) {
    EXPECT_EQ(run(args), 1) << ::testing::PrintToString(args);
    EXPECT_NE(err.find("usage: morphview"), std::string::npos);
  }
  EXPECT_EQ(filesLeft(), 4u);  // the inputs only: no picture, no temporary
}

}  // namespace
