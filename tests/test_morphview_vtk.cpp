// morphview on snapshots: the .vtp and .pvd readers against VTK's own writer and against
// malformed files of our own making, colouring by morphogen, and movies through ffmpeg.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>

#include "colour.h"
#include "icosphere.h"
#include "io/meshread.h"
#include "font.h"
#include "render.h"
#include "io/seriesread.h"
#include "io/vtpread.h"

namespace fs = std::filesystem;
using namespace view;

namespace {

// An octahedron: small enough to write by hand, closed, and seen from +z as a square.
Mesh octahedron() {
  Mesh m;
  m.points = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
  m.faces = {{0, 2, 4}, {2, 1, 4}, {1, 3, 4}, {3, 0, 4}, {2, 0, 5}, {1, 2, 5}, {3, 1, 5}, {0, 3, 5}};
  return m;
}

std::string littleEndian(std::uint64_t v, int size) {
  std::string s;
  for (int i = 0; i < size; ++i) s += static_cast<char>(v >> (8 * i));
  return s;
}

// One array's bytes in a VTK scalar type.
std::string typed(const std::vector<double>& values, const std::string& type) {
  std::string out;
  for (double v : values) {
    if (type == "Float32") {
      const float f = static_cast<float>(v);
      out.append(reinterpret_cast<const char*>(&f), 4);
    } else if (type == "Float64") {
      out.append(reinterpret_cast<const char*>(&v), 8);
    } else {
      const int size = type == "UInt8" ? 1 : type == "Int64" ? 8 : 4;
      out += littleEndian(static_cast<std::uint64_t>(static_cast<long long>(v)), size);
    }
  }
  return out;
}

std::string zlib(const std::string& raw) {
  uLongf size = compressBound(raw.size());
  std::string out(size, '\0');
  compress(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(raw.data()), raw.size());
  out.resize(size);
  return out;
}

// A small writer of our own, for files VTK would never write: every array appended raw
// behind a UInt64 header, zlib-compressed in one block unless `compressed` is off, or
// written as ascii. `mangle` may change any array's stored bytes.
struct Snapshot {
  Mesh mesh = octahedron();
  std::vector<std::array<double, 3>> levels;  // empty: no red, green, blue arrays
  bool compressed = true, ascii = false;
  std::string pointsType = "Float32", indexType = "Int32", levelType = "UInt8";
  std::function<void(const std::string& name, std::string& stored)> mangle;
  std::function<void(std::string& head)> editHead;

  std::string write() const {
    std::string head, appended;
    auto array = [&](const std::string& name, const std::string& type, int components,
                     const std::vector<double>& values) {
      std::ostringstream tag;
      tag << "<DataArray type=\"" << type << "\" Name=\"" << name << "\" NumberOfComponents=\"" << components << "\"";
      if (ascii) {
        tag << " format=\"ascii\">";
        for (double v : values) tag << v << " ";
        head += tag.str() + "</DataArray>\n";
        return;
      }
      tag << " format=\"appended\" offset=\"" << appended.size() << "\"/>\n";
      head += tag.str();
      const std::string raw = typed(values, type);
      std::string stored = compressed ? littleEndian(1, 8) + littleEndian(raw.size(), 8) + littleEndian(raw.size(), 8) +
                                            littleEndian(zlib(raw).size(), 8) + zlib(raw)
                                      : littleEndian(raw.size(), 8) + raw;
      if (mangle) mangle(name, stored);
      appended += stored;
    };
    head +=
        "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"1.0\" byte_order=\"LittleEndian\" "
        "header_type=\"UInt64\"";
    if (compressed && !ascii) head += " compressor=\"vtkZLibDataCompressor\"";
    head += ">\n<PolyData>\n<FieldData>\n";
    if (!levels.empty()) {
      head +=
          "<DataArray type=\"Int32\" Name=\"threshold\" NumberOfComponents=\"3\" NumberOfTuples=\"1\" "
          "format=\"ascii\">120 30 255</DataArray>\n"
          "<DataArray type=\"Int32\" Name=\"cycle\" NumberOfTuples=\"1\" format=\"ascii\">12</DataArray>\n";
    }
    head += "</FieldData>\n<Piece NumberOfPoints=\"" + std::to_string(mesh.points.size()) +
            "\" NumberOfVerts=\"0\" NumberOfLines=\"0\" NumberOfStrips=\"0\" NumberOfPolys=\"" +
            std::to_string(mesh.faces.size()) + "\">\n<PointData>\n";
    for (int k = 0; k < 3 && !levels.empty(); ++k) {
      std::vector<double> level;
      for (const auto& l : levels) level.push_back(l[k]);
      array(k == 0 ? "red" : k == 1 ? "green" : "blue", levelType, 1, level);
    }
    head += "</PointData>\n<Points>\n";
    std::vector<double> coordinates, connectivity, offsets;
    for (const auto& p : mesh.points) coordinates.insert(coordinates.end(), p.begin(), p.end());
    for (const auto& f : mesh.faces) {
      connectivity.insert(connectivity.end(), f.begin(), f.end());
      offsets.push_back(static_cast<double>(connectivity.size()));
    }
    array("Points", pointsType, 3, coordinates);
    head += "</Points>\n<Polys>\n";
    array("connectivity", indexType, 1, connectivity);
    array("offsets", indexType, 1, offsets);
    head += "</Polys>\n</Piece>\n</PolyData>\n";
    std::string text =
        head + (ascii ? "" : "<AppendedData encoding=\"raw\">\n_" + appended + "\n</AppendedData>\n") + "</VTKFile>\n";
    if (editHead) editHead(text);
    return text;
  }
};

void replaceOnce(std::string& text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos) << from;
  text.replace(at, from.size(), to);
}

// Levels that differ per point and channel, so a swapped or shifted array shows.
std::vector<std::array<double, 3>> someLevels(std::size_t n) {
  std::vector<std::array<double, 3>> l;
  for (std::size_t i = 0; i < n; ++i) l.push_back({double(i * 40 % 256), double(255 - i), double(i * 7)});
  return l;
}

void expectSameMesh(const Mesh& got, const Mesh& want) {
  EXPECT_EQ(got.points, want.points);
  EXPECT_EQ(got.faces, want.faces);
  EXPECT_EQ(got.levels, want.levels);
  EXPECT_EQ(got.thresholds, want.thresholds);
  EXPECT_EQ(got.cycle, want.cycle);
}

TEST(VtpRead, OwnWriterRoundTripsInEveryLayout) {
  Snapshot s;
  s.levels = someLevels(6);
  Mesh want = octahedron();
  for (const auto& l : s.levels) want.levels.push_back({(unsigned char)l[0], (unsigned char)l[1], (unsigned char)l[2]});
  want.thresholds = std::array<int, 3>{120, 30, 255};
  want.cycle = 12;
  for (int layout = 0; layout < 4; ++layout) {
    SCOPED_TRACE(layout);
    s.compressed = layout != 1;
    s.ascii = layout == 2;
    s.pointsType = layout == 3 ? "Float64" : "Float32";
    s.indexType = layout == 3 ? "Int64" : "Int32";
    const MeshLoad load = parseVtp(s.write(), "a.vtp");
    ASSERT_TRUE(load.ok()) << load.error;
    expectSameMesh(load.mesh, want);
  }
  // Without the three level arrays it is a plain shape.
  s.levels.clear();
  const MeshLoad plain = parseVtp(s.write(), "a.vtp");
  ASSERT_TRUE(plain.ok()) << plain.error;
  EXPECT_TRUE(plain.mesh.levels.empty());
  EXPECT_EQ(plain.mesh.faces, octahedron().faces);
}

// Each broken file is refused with its name and the fault, and every prefix of a sound
// file is refused without a crash.
TEST(VtpRead, MalformedFilesAreRefusedWithTheReason) {
  struct Case {
    const char* what;
    std::function<void(Snapshot&)> make;
    const char* message;
  };
  auto mangleArray = [](const std::string& which, std::function<void(std::string&)> f) {
    return [which, f](const std::string& name, std::string& stored) {
      if (name == which) f(stored);
    };
  };
  const std::vector<Case> cases = {
      {"bad zlib",
       [&](Snapshot& s) {
         s.mangle = mangleArray("Points", [](std::string& b) {
           b[32] ^= 0x55;
           b[33] ^= 0x55;
         });
       },
       "Points block 1 of 1 is not valid zlib data"},
      {"declared size differs",
       [&](Snapshot& s) {
         s.mangle = mangleArray("offsets",
                                [](std::string& b) { b.replace(8, 16, littleEndian(16, 8) + littleEndian(16, 8)); });
       },
       "polygon offsets declares 16 bytes, expected 32"},
      {"block inflates past its size",
       [&](Snapshot& s) {
         s.mangle = mangleArray("connectivity", [](std::string& b) {
           const std::string z = zlib(std::string(200, '\0'));
           b = littleEndian(1, 8) + littleEndian(96, 8) + littleEndian(96, 8) + littleEndian(z.size(), 8) + z;
         });
       },
       "polygon connectivity block 1 of 1 inflates to more than its declared 96 bytes"},
      {"too many points",
       [](Snapshot& s) {
         s.editHead = [](std::string& t) { replaceOnce(t, "NumberOfPoints=\"6\"", "NumberOfPoints=\"600\""); };
       },
       "Points declares 72 bytes, expected 7200"},
      {"count past the limit",
       [](Snapshot& s) {
         s.editHead = [](std::string& t) { replaceOnce(t, "NumberOfPoints=\"6\"", "NumberOfPoints=\"99999999999\""); };
       },
       "NumberOfPoints 99999999999 is more than"},
      {"index out of range", [](Snapshot& s) { s.mesh.faces[3][1] = 6; }, "polygon corner 10: index 6 is outside 0..5"},
      {"negative index", [](Snapshot& s) { s.mesh.faces[0][0] = -1; }, "index -1 is outside 0..5"},
      {"missing green",
       [](Snapshot& s) { s.editHead = [](std::string& t) { replaceOnce(t, "Name=\"green\"", "Name=\"grey\""); }; },
       "has morphogen levels but no 'green' point array"},
      {"missing offsets",
       [](Snapshot& s) { s.editHead = [](std::string& t) { replaceOnce(t, "Name=\"offsets\"", "Name=\"ends\""); }; },
       "Polys has no 'offsets' array"},
      {"levels as floats", [](Snapshot& s) { s.levelType = "Float32"; },
       "point array 'red' is Float32, expected UInt8"},
      {"integer points", [](Snapshot& s) { s.pointsType = "Int32"; }, "Points are Int32, expected Float32 or Float64"},
      {"real connectivity", [](Snapshot& s) { s.indexType = "Float32"; },
       "polygon offsets is Float32, expected integers"},
      {"bad XML", [](Snapshot& s) { s.editHead = [](std::string& t) { replaceOnce(t, "</Points>", "</Pints>"); }; },
       "not well-formed XML"},
      {"two corners",
       [](Snapshot& s) {
         s.ascii = true;
         s.editHead = [](std::string& t) { replaceOnce(t, ">3 6 ", ">2 6 "); };
       },
       "polygon 0 has 2 corners"},
      {"ascii level past 255",
       [](Snapshot& s) {
         s.ascii = true;
         s.levels[2][0] = 300;
       },
       "'300' is not an integer of type UInt8"},
      {"ascii nan",
       [](Snapshot& s) {
         s.ascii = true;
         s.editHead = [](std::string& t) { replaceOnce(t, ">1 0 0 ", ">nan 0 0 "); };
       },
       "Points: 'nan' is not a finite real number"},
      {"no appended data",
       [](Snapshot& s) {
         s.editHead = [](std::string& t) { t = t.substr(0, t.find("<AppendedData")) + "</VTKFile>\n"; };
       },
       "is appended, but the file has no appended data"},
      {"offset past the end",
       [](Snapshot& s) { s.editHead = [](std::string& t) { replaceOnce(t, "offset=\"0\"", "offset=\"100000\""); }; },
       "offset 100000 is more than"},
      {"big endian",
       [](Snapshot& s) { s.editHead = [](std::string& t) { replaceOnce(t, "LittleEndian", "BigEndian"); }; },
       "byte order 'BigEndian' is not read"},
      {"not PolyData",
       [](Snapshot& s) {
         s.editHead = [](std::string& t) { replaceOnce(t, "type=\"PolyData\"", "type=\"UnstructuredGrid\""); };
       },
       "not PolyData"},
      {"zlib bomb",
       [&](Snapshot& s) {
         s.mangle = mangleArray(
             "Points", [](std::string& b) { b.replace(8, 16, littleEndian(1 << 30, 8) + littleEndian(1 << 30, 8)); });
       },
       "Points declares 1073741824 bytes, expected 72"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Snapshot s;
    s.levels = someLevels(6);
    c.make(s);
    const MeshLoad load = parseVtp(s.write(), "bad.vtp");
    ASSERT_FALSE(load.ok());
    EXPECT_EQ(load.error.rfind("bad.vtp: ", 0), 0u) << load.error;
    EXPECT_NE(load.error.find(c.message), std::string::npos) << load.error;
    EXPECT_TRUE(load.mesh.points.empty() && load.mesh.faces.empty());
  }
  Snapshot sound;
  sound.levels = someLevels(6);
  const std::string whole = sound.write();
  const std::size_t dataStart = whole.find("\n_");
  for (std::size_t cut = 0; cut < whole.size(); cut += cut < dataStart ? 37 : 1) {
    // The raw block ends with text the reader never needs; only cuts before it must fail.
    if (cut >= whole.rfind("\n</AppendedData>")) break;
    EXPECT_FALSE(parseVtp(whole.substr(0, cut), "cut.vtp").ok()) << "cut at " << cut;
  }
}

// Base64 as VTK writes it, a header run and a data run each padded, also read when the
// text breaks mid-group or holds a character outside the alphabet.
TEST(VtpRead, Base64ArraysAndTheirFaults) {
  auto base64 = [](const std::string& bytes) {
    static const char* a = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
      std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
      if (i + 1 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
      if (i + 2 < bytes.size()) v |= static_cast<unsigned char>(bytes[i + 2]);
      out += a[v >> 18 & 63];
      out += a[v >> 12 & 63];
      out += i + 1 < bytes.size() ? a[v >> 6 & 63] : '=';
      out += i + 2 < bytes.size() ? a[v & 63] : '=';
    }
    return out;
  };
  Snapshot s;
  s.compressed = false;
  const std::string raw = s.write();
  // Every appended array re-encoded inline: the header and the data as two padded runs.
  std::string text = raw.substr(0, raw.find("<AppendedData")) + "</VTKFile>\n";
  const std::string appended = raw.substr(raw.find("\n_") + 2);
  std::size_t at;
  while ((at = text.find("format=\"appended\" offset=\"")) != std::string::npos) {
    const std::size_t valueStart = at + std::strlen("format=\"appended\" offset=\"");
    const std::size_t valueEnd = text.find('"', valueStart);
    const std::size_t offset = std::stoul(text.substr(valueStart, valueEnd - valueStart));
    std::uint64_t size = 0;
    std::memcpy(&size, appended.data() + offset, 8);
    const std::string encoded =
        base64(appended.substr(offset, 8)) + "\n   " + base64(appended.substr(offset + 8, size));
    text.replace(at, text.find("/>", valueEnd) + 2 - at, "format=\"binary\">" + encoded + "</DataArray>");
  }
  const MeshLoad load = parseVtp(text, "b.vtp");
  ASSERT_TRUE(load.ok()) << load.error;
  EXPECT_EQ(load.mesh.points, octahedron().points);
  EXPECT_EQ(load.mesh.faces, octahedron().faces);

  std::string badChar = text;
  badChar[badChar.find("format=\"binary\">") + 20] = '*';
  EXPECT_NE(parseVtp(badChar, "b.vtp").error.find("is not base64"), std::string::npos);
  std::string shortGroup = text;
  shortGroup.replace(shortGroup.find("</DataArray>") - 2, 2, "");
  EXPECT_NE(parseVtp(shortGroup, "b.vtp").error.find("base64 text ends inside a group"), std::string::npos)
      << parseVtp(shortGroup, "b.vtp").error;
}

TEST(SeriesRead, StepsInOrderWithFilesFromTheSeriesFolder) {
  auto pvd = [](const std::string& sets) {
    return "<?xml version=\"1.0\"?>\n<VTKFile type=\"Collection\" version=\"0.1\"><Collection>" + sets +
           "</Collection></VTKFile>";
  };
  const SeriesLoad good = parseSeries(pvd("<DataSet timestep=\"0\" file=\"a.c0.vtp\"/>"
                                          "<DataSet timestep=\"5\" group=\"\" part=\"0\" file=\"/abs/a.c5.vtp\"/>"),
                                      "runs/x/a.pvd");
  ASSERT_TRUE(good.ok()) << good.error;
  ASSERT_EQ(good.steps.size(), 2u);
  EXPECT_EQ(good.steps[0].file, "runs/x/a.c0.vtp");
  EXPECT_EQ(good.steps[1].file, "/abs/a.c5.vtp");
  EXPECT_EQ(good.steps[1].timestep, 5);

  const std::pair<std::string, std::string> bad[] = {
      {pvd("<DataSet timestep=\"0\" file=\"a\"/><DataSet timestep=\"0\" file=\"b\"/>"),
       "DataSet 1: timestep 0 is listed twice"},
      {pvd("<DataSet timestep=\"5\" file=\"a\"/><DataSet timestep=\"2\" file=\"b\"/>"),
       "DataSet 1: timestep 2 comes after a later one"},
      {pvd("<DataSet timestep=\"x\" file=\"a\"/>"), "DataSet 0: timestep 'x' is not a finite number"},
      {pvd("<DataSet timestep=\"1\"/>"), "DataSet 0 has no file"},
      {pvd(""), "lists no data sets"},
      {"<VTKFile type=\"Collection\"><Collection><DataSet", "not well-formed XML"},
      {"<VTKFile type=\"PolyData\"/>", "not Collection"},
  };
  for (const auto& [text, message] : bad) {
    const SeriesLoad load = parseSeries(text, "s.pvd");
    EXPECT_FALSE(load.ok());
    EXPECT_EQ(load.error.rfind("s.pvd: ", 0), 0u) << load.error;
    EXPECT_NE(load.error.find(message), std::string::npos) << load.error;
  }
}

// --- Colouring ---

Mesh levelled(std::array<unsigned char, 3> level) {
  Mesh m = octahedron();
  m.levels.assign(m.points.size(), level);
  return m;
}

// WCAG relative luminance of an sRGB colour.
double luminance(Rgb c) {
  const auto linear = [](int v) {
    const double s = v / 255.0;
    return s <= 0.04045 ? s / 12.92 : std::pow((s + 0.055) / 1.055, 2.4);
  };
  return 0.2126 * linear(c.r) + 0.7152 * linear(c.g) + 0.0722 * linear(c.b);
}

// Mean colour of the surface pixels (those unlike the picture's corner, its background).
std::array<double, 3> surfaceMean(const Image& img) {
  const Rgb background = img.at(0, 0);
  std::array<double, 3> sum{0, 0, 0};
  long n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x)
      if (const Rgb c = img.at(x, y); !(c == background)) {
        sum[0] += c.r, sum[1] += c.g, sum[2] += c.b, ++n;
      }
  for (double& s : sum) s /= std::max(n, 1L);
  return sum;
}

TEST(Colour, ModesColourTheSurfaceAsTheLevelsSay) {
  const Direction view{1, 2, 3};
  const auto style = [](ColourMode m) {
    RenderStyle s;
    s.colour = m;
    return s;
  };
  const std::array<double, 3> red =
      surfaceMean(renderMesh(levelled({255, 0, 0}), view, 96, 96, style(ColourMode::rgb)));
  // In rgb a full level lifts its own channel far above the light grey floor of the others.
  EXPECT_GT(red[0], red[1] + 80);
  EXPECT_GT(red[0], red[2] + 80);
  const std::array<double, 3> blue =
      surfaceMean(renderMesh(levelled({0, 0, 255}), view, 96, 96, style(ColourMode::rgb)));
  EXPECT_GT(blue[2], blue[0] + 80);
  // A full level shows the map's yellow end, no level its dark violet one.
  const std::array<double, 3> green =
      surfaceMean(renderMesh(levelled({0, 255, 0}), view, 96, 96, style(ColourMode::green)));
  EXPECT_GT(green[1], 4 * green[2]);
  EXPECT_GT(green[0], 4 * green[2]);
  const std::array<double, 3> none =
      surfaceMean(renderMesh(levelled({255, 0, 255}), view, 96, 96, style(ColourMode::green)));
  EXPECT_GT(none[2], 4 * none[1]);
  // One morphogen's map follows its own level only: a full green level under the red map
  // looks like no red at all, and brighter than nothing once red is full.
  const auto dim = surfaceMean(renderMesh(levelled({0, 255, 0}), view, 96, 96, style(ColourMode::red)));
  const auto full = surfaceMean(renderMesh(levelled({255, 255, 0}), view, 96, 96, style(ColourMode::red)));
  EXPECT_EQ(dim, surfaceMean(renderMesh(levelled({0, 0, 0}), view, 96, 96, style(ColourMode::red))));
  EXPECT_GT(full[0], dim[0] + 60);
  // Plain ignores levels: the same pixels as a shape without them.
  const Image plain = renderMesh(levelled({255, 0, 0}), view, 64, 48, style(ColourMode::plain));
  const Image shape = renderMesh(octahedron(), view, 64, 48);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) ASSERT_EQ(plain.at(x, y), shape.at(x, y)) << x << "," << y;
}

// A coloured surface must stand out from its background by 3:1 (the WCAG contrast of
// relative luminances, (L1 + 0.05) / (L2 + 0.05)) where levels are low and where they are
// high, shading included: measured at the median surface pixel of a lit sphere.
TEST(Colour, SurfaceStandsOutFromTheBackgroundAtLowAndHighLevels) {
  for (const ColourMode mode : {ColourMode::red, ColourMode::green, ColourMode::blue, ColourMode::rgb}) {
    for (const int level : {0, 8, 247, 255}) {
      view::Mesh m = testmesh::icosphere(3);
      const auto u = static_cast<unsigned char>(level);
      m.levels.assign(m.points.size(), {u, u, u});
      RenderStyle s;
      s.colour = mode;
      const Image img = renderMesh(m, {1, 2, 3}, 160, 160, s);
      const Rgb background = backgroundFor(mode);
      std::vector<double> surface;
      for (int y = 0; y < img.height(); ++y)
        for (int x = 0; x < img.width(); ++x)
          if (!(img.at(x, y) == background)) surface.push_back(luminance(img.at(x, y)));
      ASSERT_GT(surface.size(), 10000u);
      std::nth_element(surface.begin(), surface.begin() + surface.size() / 2, surface.end());
      const double a = surface[surface.size() / 2], b = luminance(background);
      const double ratio = (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
      EXPECT_GE(ratio, 3.0) << colourName(mode) << " at level " << level;
    }
  }
  // Low levels in rgb stay apart: 0, 8 and 16 give clearly different surfaces.
  EXPECT_GE(levelColour(ColourMode::rgb, {8, 8, 8}).r - levelColour(ColourMode::rgb, {0, 0, 0}).r, 15);
  EXPECT_GE(levelColour(ColourMode::rgb, {16, 16, 16}).r - levelColour(ColourMode::rgb, {8, 8, 8}).r, 8);
}

TEST(Colour, LevelsAreInterpolatedAcrossFaces) {
  // Red only on the +x corner: from +z the right side is redder than the left.
  Mesh m = levelled({0, 0, 0});
  m.levels[0] = {255, 0, 0};
  RenderStyle s;
  s.colour = ColourMode::red;
  const Image img = renderMesh(m, {0, 0, 1}, 101, 101, s);
  EXPECT_GT(luminance(img.at(85, 50)), luminance(img.at(60, 50)));
  EXPECT_GT(luminance(img.at(60, 50)), luminance(img.at(30, 50)));
  // The left half has no red corner: level 0's colour there, shaded alike in every channel.
  const Rgb a = img.at(30, 50), b = img.at(15, 50), zero = levelColour(ColourMode::red, {0, 0, 0});
  EXPECT_NEAR(double(a.r) / a.b, double(zero.r) / zero.b, 0.03);
  EXPECT_NEAR(double(b.r) / b.b, double(zero.r) / zero.b, 0.03);
}

TEST(Colour, LegendShowsTheMapAndMarksTheThreshold) {
  Mesh m = levelled({10, 10, 10});
  m.thresholds = std::array<int, 3>{200, 50, 0};
  RenderStyle s;
  s.colour = ColourMode::red;
  const Image img = renderPicture(m, {0, 0, 1}, 300, 200, s);
  const LegendBar bar = legendBar(300, 200);
  ASSERT_GT(bar.width, 100);
  const int y = bar.top + bar.height / 2;
  EXPECT_EQ(img.at(bar.left, y), levelColour(ColourMode::red, {0, 0, 0}));
  EXPECT_EQ(img.at(bar.left + bar.width - 1, y), levelColour(ColourMode::red, {255, 0, 0}));
  int lighter = 0;
  for (int x = bar.left + 1; x < bar.left + bar.width; ++x)
    lighter += luminance(img.at(x, y)) >= luminance(img.at(x - 1, y));
  EXPECT_GE(lighter, bar.width - 4);  // the tick and its edges are the only steps back
  const int tick = bar.left + static_cast<int>(std::lround(200 * (bar.width - 1) / 255.0));
  EXPECT_EQ(img.at(tick, bar.top - 1), legendMarkColour);
  EXPECT_FALSE(img.at(tick - 3, bar.top - 1) == legendMarkColour);
  // Green marks its own threshold; rgb has no legend.
  s.colour = ColourMode::green;
  const int greenTick = bar.left + static_cast<int>(std::lround(50 * (bar.width - 1) / 255.0));
  EXPECT_EQ(renderPicture(m, {0, 0, 1}, 300, 200, s).at(greenTick, bar.top - 1), legendMarkColour);
  // The bar is named above it.
  long named = 0;
  for (int ny = bar.nameTop; ny < bar.nameTop + glyphHeight; ++ny)
    for (int x = bar.left; x < bar.left + bar.width; ++x) named += img.at(x, ny) == legendMarkColour;
  EXPECT_GT(named, 30);
  s.colour = ColourMode::rgb;
  EXPECT_EQ(renderPicture(m, {0, 0, 1}, 300, 200, s).at(bar.left + 5, y), backgroundFor(ColourMode::rgb));
}

// --- The tool: VTK's files, refusals, movies ---

class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("morphview_vtk_" + std::to_string(getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::string path(const std::string& name) const { return (dir_ / name).string(); }
  std::string write(const std::string& name, const std::string& text) const {
    fs::create_directories((dir_ / name).parent_path());
    std::ofstream(path(name), std::ios::binary) << text;
    return path(name);
  }
  std::vector<std::string> listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::recursive_directory_iterator(dir_)) names.push_back(fs::relative(e.path(), dir_).string());
    std::sort(names.begin(), names.end());
    return names;
  }

  // Runs a program with `pathVariable` as PATH when given; keeps standard error in `err`.
  int run(std::vector<std::string> args, const std::string& pathVariable = "") {
    const std::string errPath = path("stderr.txt");
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      const int null = open("/dev/null", O_WRONLY);
      dup2(fd, 2);
      dup2(null, 1);
      if (!pathVariable.empty()) setenv("PATH", pathVariable.c_str(), 1);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execvp(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in(errPath);
    err = std::string(std::istreambuf_iterator<char>(in), {});
    fs::remove(errPath);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int view(std::vector<std::string> args, const std::string& pathVariable = "") {
    args.insert(args.begin(), MORPHVIEW_BINARY);
    return run(args, pathVariable);
  }

  // VTK's own writer through Debian's Python; false (with the reason) where it is missing.
  bool writeWithVtk(std::string& why) {
    if (run({"/usr/bin/python3", "-c", "import vtk"}) != 0) {
      why = "/usr/bin/python3 cannot import vtk (scripts/install-deps.sh --tests installs python3-paraview): " + err;
      return false;
    }
    if (run({"/usr/bin/python3", VTK_WRITE_SCRIPT, path("vtk")}) != 0) {
      why = "the writer script failed: " + err;
      return false;
    }
    return true;
  }
  bool haveProgram(const char* name) { return run({name, "-version"}) == 0; }

  fs::path dir_;
  std::string err;
};

// The reference the script writes beside the files: points, faces, levels, threshold, cycle.
Mesh readExpected(const std::string& file) {
  std::ifstream in(file);
  Mesh m;
  std::string word;
  std::size_t n = 0;
  in >> word >> n;
  m.points.resize(n);
  for (auto& p : m.points) in >> p[0] >> p[1] >> p[2];
  in >> word >> n;
  m.faces.resize(n);
  for (auto& f : m.faces) in >> f[0] >> f[1] >> f[2];
  if (in >> word && word == "levels") {
    m.levels.resize(m.points.size());
    for (auto& l : m.levels) {
      int r, g, b;
      in >> r >> g >> b;
      l = {(unsigned char)r, (unsigned char)g, (unsigned char)b};
    }
    std::array<int, 3> t{};
    long long cycle = 0;
    in >> word >> t[0] >> t[1] >> t[2] >> word >> cycle;
    m.thresholds = t;
    m.cycle = cycle;
  }
  return m;
}

TEST_F(Tool, VtkWrittenFilesOfEveryModeReadBackEqual) {
  std::string why;
  if (!writeWithVtk(why)) GTEST_SKIP() << why;
  const Mesh sphere = readExpected(path("vtk/sphere.expected"));
  ASSERT_GT(sphere.points.size(), 50u);
  int files = 0;
  for (const auto& e : fs::directory_iterator(path("vtk"))) {
    const std::string name = e.path().filename().string();
    if (e.path().extension() != ".vtp" || name == "cube-quads.vtp") continue;
    SCOPED_TRACE(name);
    const MeshLoad load = loadMesh(e.path().string(), formatForName(name));
    ASSERT_TRUE(load.ok()) << load.error;
    expectSameMesh(load.mesh, sphere);
    ++files;
  }
  EXPECT_EQ(files, 9);
  const MeshLoad cube = loadMesh(path("vtk/cube-quads.vtp"), MeshFormat::vtp);
  ASSERT_TRUE(cube.ok()) << cube.error;
  expectSameMesh(cube.mesh, readExpected(path("vtk/cube.expected")));
  EXPECT_EQ(cube.mesh.faces.size(), 12u);  // six quads, fanned

  // The tool draws them; a file without levels is refused a colour, not a shape.
  EXPECT_EQ(view({"--colour", "blue", "-o", path("s.png"), path("vtk/ascii.vtp")}), 0) << err;
  EXPECT_EQ(view({"--sheet", "--colour", "rgb", "-o", path("sheet.png"), path("vtk/ascii.vtp"),
                  path("vtk/binary-plain-u32.vtp")}),
            0)
      << err;
  EXPECT_EQ(view({"--colour", "red", "-o", path("c.png"), path("vtk/cube-quads.vtp")}), 2);
  EXPECT_EQ(
      err,
      "morphview: " + path("vtk/cube-quads.vtp") +
          ": holds no morphogen levels (red, green, blue point arrays) to colour by; draw it with --colour plain\n");
  EXPECT_FALSE(fs::exists(path("c.png")));
  EXPECT_EQ(view({"-o", path("c.png"), path("vtk/cube-quads.vtp")}), 0) << err;
}

TEST_F(Tool, MovieHasAFramePerSnapshotAtTheAskedSize) {
  std::string why;
  if (!writeWithVtk(why)) GTEST_SKIP() << why;
  if (!haveProgram("ffmpeg") || !haveProgram("ffprobe")) GTEST_SKIP() << "ffmpeg or ffprobe is not installed";
  ASSERT_EQ(view({"--movie", path("m.mp4"), "--colour", "red", "--size", "160x120", path("vtk/series.pvd")}), 0) << err;
  ASSERT_EQ(run({"ffprobe", "-v", "error", "-count_frames", "-select_streams", "v:0", "-show_entries",
                 "stream=nb_read_frames,width,height", "-of", "csv=p=0", "-o", path("probe.txt"), path("m.mp4")}),
            0)
      << err;
  std::ifstream probe(path("probe.txt"));
  std::string line;
  std::getline(probe, line);
  EXPECT_EQ(line, "160,120,5");
  // One camera for all frames: the embryo grows on screen (radius 1 to 3) instead of
  // being fitted anew in each frame.
  long drawnArea[2] = {0, 0};
  for (int k = 0; k < 2; ++k) {
    const std::string frame = path("frame" + std::to_string(k) + ".ppm");
    ASSERT_EQ(
        run({"ffmpeg", "-v", "error", "-i", path("m.mp4"), "-vf", k == 0 ? "select=eq(n\\,0)" : "select=eq(n\\,4)",
             "-vframes", "1", "-f", "image2", "-c:v", "ppm", frame}),
        0)
        << err;
    std::ifstream in(frame, std::ios::binary);
    std::string magic;
    int w = 0, h = 0, maxValue = 0;
    in >> magic >> w >> h >> maxValue;
    in.get();
    ASSERT_EQ(w * h, 160 * 120);
    for (int i = 0; i < w * h; ++i) {
      const int r = in.get(), g = in.get(), b = in.get();
      // Away from the coloured background's grey, whatever the encoder's rounding.
      const Rgb grey = levelBackground;
      drawnArea[k] += std::abs(r - grey.r) + std::abs(g - grey.g) + std::abs(b - grey.b) > 40;
    }
  }
  EXPECT_GT(drawnArea[0], 200);
  EXPECT_GT(drawnArea[1], 3 * drawnArea[0]);  // refitted frames would be near 1
  // No temporary is left beside the movie.
  for (const std::string& name : listing()) EXPECT_EQ(name.find(".tmp"), std::string::npos) << name;
}

// ffmpeg gets no part of the movie's name but its extension, after "--" and "file:": names
// that read as options, protocols, frame patterns or addresses are written as they are, or
// fail with nothing left; no request leaves the machine.
TEST_F(Tool, MovieNamesAreNeverFfmpegSyntax) {
  if (!haveProgram("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  Snapshot s;
  s.levels = someLevels(6);
  write("c0.vtp", s.write());
  write("c1.vtp", s.write());
  const std::string series = write("s.pvd",
                                   "<VTKFile type=\"Collection\"><Collection>"
                                   "<DataSet timestep=\"0\" file=\"c0.vtp\"/>"
                                   "<DataSet timestep=\"1\" file=\"c1.vtp\"/></Collection></VTKFile>");
  for (const std::string name : {"cycle:40.mp4", "-y.mp4", "{}.mkv", "a b%d.mp4"}) {
    EXPECT_EQ(view({"--size", "32x32", "--movie", path(name), series}), 0) << name << ": " << err;
    EXPECT_TRUE(fs::is_regular_file(path(name))) << name;
  }
  const std::vector<std::string> before = listing();
  for (const std::string name : {"frame%03d.png", "http://127.0.0.1:9/x.mp4"}) {
    EXPECT_EQ(view({"--size", "32x32", "--movie", name[0] == 'h' ? name : path(name), series}), 2) << name;
    EXPECT_EQ(listing(), before) << name << ": " << err;
  }
}

// SIGTERM while ffmpeg runs: it is stopped with morphview, and its temporary removed.
TEST_F(Tool, AStoppedMovieStopsItsEncoderAndLeavesNothing) {
  Snapshot s;
  write("c0.vtp", s.write());
  const std::string series = write("s.pvd",
                                   "<VTKFile type=\"Collection\"><Collection>"
                                   "<DataSet timestep=\"0\" file=\"c0.vtp\"/></Collection></VTKFile>");
  // An encoder that creates its output, says its pid and waits.
  const std::string fake = write("fake/ffmpeg",
                                 "#!/bin/sh\nfor a; do last=$a; done\n: > \"${last#file:}\"\n"
                                 "echo $$ > " + path("encoder.pid") + "\nexec sleep 60\n");
  fs::permissions(fake, fs::perms::owner_all);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    const pid_t pid = fork();
    if (pid == 0) {
      setenv("PATH", (path("fake") + ":/usr/bin:/bin").c_str(), 1);
      execl(MORPHVIEW_BINARY, MORPHVIEW_BINARY, "--movie", path("m.mp4").c_str(), series.c_str(),
            static_cast<char*>(nullptr));
      _exit(127);
    }
    // Up to 10 s for the encoder to start.
    for (int i = 0; i < 1000 && !fs::exists(path("encoder.pid")); ++i) usleep(10000);
    usleep(50000);
    std::ifstream in(path("encoder.pid"));
    pid_t encoder = 0;
    in >> encoder;
    ASSERT_GT(encoder, 0);
    kill(pid, signal);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
    EXPECT_NE(kill(encoder, 0), 0) << "the encoder outlived morphview";
    fs::remove(path("encoder.pid"));
    for (const std::string& name : listing()) EXPECT_EQ(name.find("tmp"), std::string::npos) << name;
  }
}

TEST_F(Tool, MovieFailuresLeaveNoMovie) {
  Snapshot s;
  s.levels = someLevels(6);
  write("good.c0.vtp", s.write());
  write("good.c1.vtp", s.write());
  const std::string series = write("s.pvd",
                                   "<VTKFile type=\"Collection\"><Collection>"
                                   "<DataSet timestep=\"0\" file=\"good.c0.vtp\"/>"
                                   "<DataSet timestep=\"1\" file=\"good.c1.vtp\"/></Collection></VTKFile>");
  const std::vector<std::string> before = listing();
  const std::string movie = path("m.mp4");
  // No ffmpeg on the path.
  write("empty/.keep", "");
  EXPECT_EQ(view({"--movie", movie, series}, path("empty")), 2);
  EXPECT_NE(err.find("cannot run ffmpeg: No such file or directory"), std::string::npos) << err;
  // An ffmpeg that reads a little, says why it stops and fails.
  const std::string fake =
      write("fake/ffmpeg", "#!/bin/sh\nhead -c 10 >/dev/null\necho 'Unknown encoder' >&2\nexit 3\n");
  fs::permissions(fake, fs::perms::owner_all);
  EXPECT_EQ(view({"--movie", movie, series}, path("fake") + ":/usr/bin:/bin"), 2);
  EXPECT_EQ(err, "morphview: ffmpeg failed (exit status 3): Unknown encoder\n");
  // A snapshot that is missing, or cannot be coloured: refused before anything is encoded.
  const std::string missing = write("missing.pvd",
                                    "<VTKFile type=\"Collection\"><Collection>"
                                    "<DataSet timestep=\"0\" file=\"nothere.vtp\"/></Collection></VTKFile>");
  EXPECT_EQ(view({"--movie", movie, missing}, path("fake") + ":/usr/bin:/bin"), 2);
  EXPECT_EQ(err, "morphview: " + missing + ": DataSet 0: file '" + path("nothere.vtp") + "' does not exist\n");
  s.levels.clear();
  write("good.c1.vtp", s.write());
  EXPECT_EQ(view({"--movie", movie, "--colour", "rgb", series}, path("fake") + ":/usr/bin:/bin"), 2);
  EXPECT_NE(err.find("good.c1.vtp: holds no morphogen levels"), std::string::npos) << err;
  std::vector<std::string> after = listing();
  after.erase(std::remove(after.begin(), after.end(), "empty"), after.end());
  after.erase(std::remove(after.begin(), after.end(), "empty/.keep"), after.end());
  after.erase(std::remove(after.begin(), after.end(), "fake"), after.end());
  after.erase(std::remove(after.begin(), after.end(), "fake/ffmpeg"), after.end());
  after.erase(std::remove(after.begin(), after.end(), "missing.pvd"), after.end());
  EXPECT_EQ(after, before);
  // A series is no picture.
  EXPECT_EQ(view({"-o", path("x.png"), series}), 2);
  EXPECT_EQ(err, "morphview: " + series + ": is a series of snapshots; make a movie of it with --movie OUT.mp4\n");
  EXPECT_FALSE(fs::exists(path("x.png")));
  // Command lines the movie mode refuses.
  for (const auto& args : std::vector<std::vector<std::string>>{{"--movie", movie, "--size", "161x120", series},
                                                                {"--movie", movie, "-o", path("x.png"), series},
                                                                {"--movie", movie, series, series},
                                                                {"--fps", "10", "-o", path("x.png"), series},
                                                                {"--colour", "purple", "-o", path("x.png"), series}}) {
    EXPECT_EQ(view(args), 1) << ::testing::PrintToString(args);
    EXPECT_NE(err.find("usage: morphview"), std::string::npos);
  }
}

}  // namespace

// An offset far below the one before it is refused by comparison, never by a difference
// that would overflow (a fuzzing find).
TEST(VtpRead, AFarNegativeOffsetIsRefusedWithoutOverflow) {
  const std::string text =
      "<?xml version=\"1.0\"?>\n<VTKFile type=\"PolyData\" version=\"1.0\" byte_order=\"LittleEndian\">\n"
      "<PolyData><Piece NumberOfPoints=\"3\" NumberOfPolys=\"2\">\n"
      "<Points><DataArray type=\"Float32\" NumberOfComponents=\"3\" format=\"ascii\">0 0 0 1 0 0 0 1 0"
      "</DataArray></Points>\n"
      "<Polys><DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">0 1 2</DataArray>\n"
      "<DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">3 -9223372036854775807</DataArray></Polys>\n"
      "</Piece></PolyData></VTKFile>\n";
  const view::MeshLoad load = view::parseMesh(text, view::MeshFormat::vtp, "far.vtp");
  ASSERT_FALSE(load.ok());
  EXPECT_NE(load.error.find("polygon 1 has -1 corners"), std::string::npos) << load.error;
}
