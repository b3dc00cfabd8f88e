// The HTML report: the compact mesh form read back as the page reads it, the page's text
// safety, and morphview --html on good and bad inputs. The page itself runs in
// report_browser_test.sh.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <bit>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "measure/table.h"
#include "report.h"
#include "report_meshes.h"
#include "reportmesh.h"
#include "sweep_command.h"
#include "work_folder.h"

namespace fs = std::filesystem;
using namespace view;

namespace {

std::uint32_t little(const std::vector<unsigned char>& b, std::size_t at, int bytes) {
  std::uint32_t v = 0;
  for (int k = bytes - 1; k >= 0; --k) v = v << 8 | b.at(at + k);
  return v;
}

std::string unbase64(const std::string& text) {
  std::string out;
  std::uint32_t bits = 0;
  int count = 0;
  for (const char c : text) {
    const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    const char* at = std::strchr(digits, c);
    if (c == '=' || !at) continue;
    bits = bits << 6 | static_cast<std::uint32_t>(at - digits);
    count += 6;
    if (count >= 8) {
      count -= 8;
      out += static_cast<char>((bits >> count) & 0xff);
    }
  }
  return out;
}

}  // namespace

TEST(ReportMesh, PositionsComeBackWithinHalfAStepAndIndicesAndLevelsExactly) {
  Mesh m = reporttest::growingSnapshot(3, 6);
  m.points[7] = {-3.25f, 0.125f, 9.5f};  // a point far out sets the box
  std::string problem;
  const auto block = packMesh(m, problem);
  ASSERT_TRUE(block) << problem;
  const std::size_t n = m.points.size();
  const BlockLayout layout = blockLayout(n, m.faces.size(), 2, true);
  ASSERT_EQ(block->bytes.size(), layout.end);
  EXPECT_EQ(layout.indices % 4, 0u);
  EXPECT_EQ(block->indexBytes, 2);
  EXPECT_EQ(block->hi[2], 9.5f);
  EXPECT_EQ(block->lo[0], -3.25f);
  for (std::size_t i = 0; i < n; ++i) {
    for (int k = 0; k < 3; ++k) {
      const double span = double(block->hi[k]) - block->lo[k];
      const double back = block->lo[k] + little(block->bytes, (k * n + i) * 2, 2) / double(quantSteps) * span;
      ASSERT_LE(std::abs(back - m.points[i][k]), span / quantSteps / 2 + 1e-6) << "point " << i << " axis " << k;
    }
    for (int k = 0; k < 3; ++k) ASSERT_EQ(block->bytes[layout.levels + i * 3 + k], m.levels[i][k]);
  }
  for (std::size_t f = 0; f < m.faces.size(); ++f) {
    for (int c = 0; c < 3; ++c) {
      ASSERT_EQ(little(block->bytes, layout.indices + (f * 3 + c) * 2, 2), std::uint32_t(m.faces[f][c]));
    }
  }
  // The box's own corners land on the ends of the 16-bit range.
  EXPECT_EQ(little(block->bytes, (2 * n + 7) * 2, 2), 65535u);
  EXPECT_EQ(little(block->bytes, 7 * 2, 2), 0u);
}

TEST(ReportMesh, PointsFarFromTheBodyKeepTheirFloatsAndTheBodyIsTheFrame) {
  const Mesh m = reporttest::withFarPoints(reporttest::growingSnapshot(2, 6));
  std::string problem;
  const auto block = packMesh(m, problem);
  ASSERT_TRUE(block && block->frame) << problem;
  // The frame is the body's box: the sphere of radius 1, stretched along x by 1.6.
  for (int k = 0; k < 3; ++k) {
    EXPECT_NEAR(block->frame->hi[k], k == 0 ? 1.6 : 1.0, 0.01) << k;
    EXPECT_NEAR(block->frame->lo[k], k == 0 ? -1.6 : -1.0, 0.01) << k;
  }
  const std::size_t n = m.points.size();
  ASSERT_EQ(block->bytes.size(), blockLayout(n, m.faces.size(), 2, true, 4).end);
  for (std::size_t i = 0; i < n * 3; ++i) {
    ASSERT_EQ(little(block->bytes, i * 4, 4), std::bit_cast<std::uint32_t>(m.points[i % n][i / n])) << i;
  }
  EXPECT_NE(meshJson(m, problem)->find("\"positionBytes\":4,\"frame\":{\"lo\":["), std::string::npos);
  EXPECT_EQ(meshJson(reporttest::growingSnapshot(2, 6), problem)->find("frame"), std::string::npos);
}

TEST(ReportMesh, IndexWidthFlatMeshesAndRefusals) {
  Mesh wide;
  wide.points.assign(65536, {1, 2, 3});  // every point alike: a flat box decodes to it
  wide.faces = {{0, 1, 65535}};
  std::string problem;
  auto block = packMesh(wide, problem);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->indexBytes, 2);
  EXPECT_EQ(little(block->bytes, blockLayout(65536, 1, 2, false).indices + 4, 2), 65535u);
  EXPECT_EQ(block->lo, block->hi);
  wide.points.push_back({1, 2, 3});
  wide.faces[0][2] = 65536;
  block = packMesh(wide, problem);
  ASSERT_TRUE(block);
  EXPECT_EQ(block->indexBytes, 4);
  EXPECT_EQ(little(block->bytes, blockLayout(65537, 1, 4, false).indices + 8, 4), 65536u);

  Mesh bad = reporttest::icosphere(0);
  bad.faces[4][1] = 12;
  EXPECT_FALSE(packMesh(bad, problem));
  EXPECT_EQ(problem, "triangle 4 names point 12 of 12");
  bad = reporttest::icosphere(0);
  bad.levels.resize(5);
  EXPECT_FALSE(packMesh(bad, problem));
  EXPECT_EQ(problem, "5 morphogen levels for 12 points");
  bad.levels.clear();
  bad.points[3][1] = std::nanf("");
  EXPECT_FALSE(packMesh(bad, problem));
}

TEST(ReportMesh, Base64AndDeflateReadBack) {
  const std::pair<const char*, const char*> vectors[] = {{"", ""},
                                                         {"f", "Zg=="},
                                                         {"fo", "Zm8="},
                                                         {"foo", "Zm9v"},
                                                         {"foob", "Zm9vYg=="},
                                                         {"fooba", "Zm9vYmE="},
                                                         {"foobar", "Zm9vYmFy"}};
  for (const auto& [in, out] : vectors) EXPECT_EQ(base64(in), out) << in;
  const std::string all = [] {
    std::string s;
    for (int c = 0; c < 256; ++c) s += char(c);
    return s;
  }();
  EXPECT_EQ(unbase64(base64(all)), all);

  std::string problem;
  const auto block = packMesh(reporttest::growingSnapshot(1, 3), problem);
  ASSERT_TRUE(block);
  const std::string packed = deflateBytes(block->bytes);
  ASSERT_LT(packed.size(), block->bytes.size());
  std::vector<unsigned char> back(block->bytes.size());
  uLongf size = back.size();
  ASSERT_EQ(uncompress(back.data(), &size, reinterpret_cast<const Bytef*>(packed.data()), packed.size()), Z_OK);
  EXPECT_EQ(size, block->bytes.size());
  EXPECT_EQ(back, block->bytes);
}

TEST(ReportPage, TextFromFilesCannotBreakThePage) {
  EXPECT_EQ(jsonString("a\"b\\c\n\x01"), "\"a\\\"b\\\\c\\u000a\\u0001\"");
  EXPECT_EQ(jsonString("</script><!--&"), "\"\\u003c/script\\u003e\\u003c!--\\u0026\"");
  EXPECT_EQ(jsonString("\xc3\xa9\xe2\x82\xac\xf0\x9f\x99\x82"), "\"\xc3\xa9\xe2\x82\xac\xf0\x9f\x99\x82\"");
  // Stray, truncated, overlong and surrogate sequences each become one replacement.
  EXPECT_EQ(jsonString("a\xff"
                       "b\xc3"),
            "\"a\\ufffdb\\ufffd\"");
  EXPECT_EQ(jsonString("\xc0\xaf"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(jsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");

  if (!reportAvailable()) GTEST_SKIP() << "morphview was built without three.js (run scripts/install-deps.sh)";
  Report report;
  report.kind = ReportKind::grid;
  report.title = "<b>sweep</b> & co";
  const std::string hostile = "runs/</script><script>alert(1)</script>.3dv";
  report.items.push_back(reportItem(reporttest::icosphere(1), hostile, report.kind));
  report.items.push_back(failedItem("runs/@DATA@.3dv", "runs/@DATA@.3dv: cannot open: No such file", report.kind));
  const std::string page = reportPage(report);
  // Exactly the page's own script elements close, whatever the names hold.
  std::size_t closes = 0;
  for (std::size_t at = page.find("</script"); at != std::string::npos; at = page.find("</script", at + 1)) ++closes;
  EXPECT_EQ(closes, 3u);
  EXPECT_NE(page.find("<title>&lt;b&gt;sweep&lt;/b&gt; &amp; co</title>"), std::string::npos);
  EXPECT_NE(page.find("runs/@DATA@.3dv"), std::string::npos);  // a marker inside a part stays as written
  EXPECT_EQ(page.find("@VIEWER@"), std::string::npos);
  EXPECT_EQ(page.find("http://"), std::string::npos);
  EXPECT_EQ(page.find("src=\"http"), std::string::npos);
  // A grid tile carries the contact sheet's label: the name after its last '/'.
  EXPECT_NE(page.find("\"label\":[\"script\\u003e.3dv\"]"), std::string::npos);
  EXPECT_NE(page.find("\"problem\":\"runs/@DATA@.3dv: cannot open: No such file\""), std::string::npos);
}

class ReportTool : public WorkFolderTest {
 protected:
  void SetUp() override { enterFreshFolder("morph_report"); }
  void TearDown() override { leaveFolder(); }

  int run(const std::string& program, std::vector<std::string> args) {
    args.insert(args.begin(), program);
    const pid_t pid = fork();
    if (pid == 0) {
      const int fd = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(fd, 2);
      dup2(fd, 1);
      std::vector<char*> argv;
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    std::ifstream in("stderr.txt");
    err = std::string(std::istreambuf_iterator<char>(in), {});
    fs::remove("stderr.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  int view(std::vector<std::string> args) { return run(MORPHVIEW_BINARY, std::move(args)); }
  static void write(const std::string& name, const std::string& text) { std::ofstream(name) << text; }
  static std::string read(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static std::size_t entries() {
    return std::size_t(std::distance(fs::directory_iterator("."), fs::directory_iterator()));
  }

  std::string err;
};

// The shares beside a sweep's grid: area follows the first parameter alone, volume the
// second alone; vertices do not vary; a grid with a hole has no shares at all.
TEST(ReportPage, SharesOfTheSweptParametersPerMeasure) {
  Report report;
  report.kind = ReportKind::grid;
  report.parameters = {"repulsion", "attraction"};
  report.measured = true;
  const std::size_t area = 2, volume = 3;
  for (const char* r : {"1", "4", "16"}) {
    for (const char* a : {"2", "3"}) {
      ReportItem item;
      item.values = {r, a};
      item.measures.assign(stats::measureColumns().size(), 1.0);
      item.measures[area] = std::stod(r);
      item.measures[volume] = std::stod(a);
      report.items.push_back(item);
    }
  }
  ASSERT_EQ(stats::measureColumns()[area], "area");
  ASSERT_EQ(stats::measureColumns()[volume], "volume");
  report.shares = sweepShares(report);
  ASSERT_EQ(report.shares.size(), stats::measureColumns().size());
  EXPECT_EQ(report.shares[0].outcome, stats::Effects::Outcome::noEffect);
  EXPECT_EQ(report.shares[area].shares[0].firstOrder, 1);
  EXPECT_EQ(report.shares[area].shares[1].total, 0);
  EXPECT_EQ(report.shares[volume].shares[1].firstOrder, 1);
  if (reportAvailable()) {
    EXPECT_NE(reportPage(report).find("\"shares\":[null,null,[[1,1],[0,0]],[[0,0],[1,1]],null"), std::string::npos);
  }
  report.items.pop_back();
  EXPECT_TRUE(sweepShares(report).empty());
}

TEST_F(ReportTool, BadInputsGetThePictureModesMessagesAndLeaveNoReport) {
  if (!reportAvailable()) GTEST_SKIP() << "morphview was built without three.js (run scripts/install-deps.sh)";
  write("good.3dv", "3\n1\n0 0 0\n0 0 1\n1 0 0\n0 0 1\n0 1 0\n0 0 1\n3\n0 1 2\n");
  write("bad.3dv", "3\n1\n0 0 0\n0 0 1\n1 0 nan\n0 0 1\n0 1 0\n0 0 1\n3\n0 1 2\n");
  ASSERT_EQ(view({"-o", "bad.png", "bad.3dv"}), 2);
  const std::string pictureMessage = err;
  EXPECT_EQ(view({"--html", "r.html", "bad.3dv"}), 2);
  EXPECT_EQ(err, pictureMessage);
  EXPECT_EQ(view({"--html", "r.html", "good.3dv", "bad.3dv"}), 2);
  EXPECT_EQ(err, pictureMessage);
  EXPECT_EQ(view({"--html", "r.html", "--series", "good.3dv", "bad.3dv"}), 2);
  EXPECT_EQ(err, pictureMessage);
  EXPECT_EQ(view({"--html", "r.html", "none.3dv"}), 2);
  EXPECT_EQ(err, "morphview: none.3dv: cannot open: No such file or directory\n");
  EXPECT_EQ(view({"--html", "no/such/r.html", "good.3dv"}), 2);
  EXPECT_EQ(err, "morphview: cannot write 'no/such/r.html': No such file or directory\n");
  fs::create_directory("taken.html");
  EXPECT_EQ(view({"--html", "taken.html", "good.3dv"}), 2);
  EXPECT_EQ(entries(), 3u) << "only good.3dv, bad.3dv and the folder";

  const std::vector<std::vector<std::string>> refused = {{"--html"},
                                                         {"--html", "r.html"},
                                                         {"--html", "", "good.3dv"},
                                                         {"--html", "r.html", "--frob", "good.3dv"},
                                                         {"--html", "r.html", "--format", "vrml", "good.3dv"},
                                                         {"--html", "r.html", "--manifest", "m", "good.3dv"},
                                                         {"--html", "r.html", "--series", "--mark-bad", "good.3dv"},
                                                         {"--html", "a.html", "--html", "b.html", "good.3dv"}};
  for (const auto& args : refused) {
    EXPECT_EQ(view(args), 1) << ::testing::PrintToString(args);
    EXPECT_NE(err.find("usage: morphview --html"), std::string::npos) << err;
  }
  EXPECT_EQ(entries(), 3u);

  // A picture named like the option is still a picture.
  ASSERT_EQ(view({"--size", "16x16", "-o", "--html", "good.3dv"}), 0) << err;
  EXPECT_EQ(read("--html").substr(1, 3), "PNG");
}

TEST_F(ReportTool, FilesBecomeAPageAGridOrASeries) {
  if (!reportAvailable()) GTEST_SKIP() << "morphview was built without three.js (run scripts/install-deps.sh)";
  write("a.3dv", "3\n1\n0 0 0\n0 0 1\n1 0 0\n0 0 1\n0 1 0\n0 0 1\n3\n0 1 2\n");
  write("b.obj", "v 0 0 0\nv 2 0 0\nv 0 2 0\nv 0 0 2\nf 1 2 3 4\n");
  ASSERT_EQ(view({"--html", "one.html", "a.3dv"}), 0) << err;
  const std::string one = read("one.html");
  EXPECT_NE(one.find("\"kind\":\"single\""), std::string::npos);
  EXPECT_NE(one.find("<title>one.html</title>"), std::string::npos);
  ASSERT_EQ(view({"--html", "grid.html", "--title", "two", "--mark-bad", "a.3dv", "gone.3dv", "b.obj"}), 0) << err;
  EXPECT_EQ(err, "morphview: gone.3dv: cannot open: No such file or directory (shown as failed)\n");
  const std::string grid = read("grid.html");
  EXPECT_NE(grid.find("\"kind\":\"grid\""), std::string::npos);
  EXPECT_NE(grid.find("\"name\":\"gone.3dv\",\"label\":[\"gone.3dv\"],\"problem\""), std::string::npos);
  EXPECT_NE(grid.find("\"points\":4,\"faces\":2"), std::string::npos) << "the OBJ quad is two triangles";
  ASSERT_EQ(view({"--html", "series.html", "--series", "a.3dv", "b.obj"}), 0) << err;
  EXPECT_NE(read("series.html").find("\"kind\":\"series\""), std::string::npos);
  // The same inputs give the same page.
  ASSERT_EQ(view({"--html", "again.html", "--title", "one.html", "a.3dv"}), 0);
  EXPECT_EQ(read("again.html"), one);
}

TEST_F(ReportTool, AManifestShowsEveryPointAndMarksTheFailedOne) {
  if (!reportAvailable()) GTEST_SKIP() << "morphview was built without three.js (run scripts/install-deps.sh)";
  fs::copy_file(BUNDLED_EXAMPLE, "start.3dv");
  const std::string common = " -m 1 -t 0 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 3 start.3dv\n";
  write("manifest", std::string(MORPHSWEEP_BINARY) + " -n 1" + common + MORPHSWEEP_BINARY + " -n 2" + common);
  ASSERT_EQ(run(MORPHSWEEP_BINARY, examplePointWords({1})), 0) << err;
  ASSERT_EQ(view({"--html", "sweep.html", "--manifest", "manifest"}), 0) << err;
  const std::string page = read("sweep.html");
  const std::string done = "start.3dv.n1.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv";
  const std::string failed = "start.3dv.n2.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.2.3dv";
  // A sweep's tile says its values; the file name stays the item's name.
  // Beside it, morphstats' measures, in its column order; a file without levels has none
  // of the level columns.
  const std::size_t item =
      page.find("\"name\":\"" + done + "\",\"label\":[\"growthCycles 1\"],\"values\":[\"1\"],\"measures\":[");
  ASSERT_NE(item, std::string::npos);
  EXPECT_NE(page.find(",null,null,null,null,null,null,0,0],\"mesh\"", item), std::string::npos);
  EXPECT_NE(page.find("\"measureNames\":[\"vertices\",\"triangles\",\"area\""), std::string::npos);
  EXPECT_NE(page.find("\"name\":\"" + failed + "\",\"label\":"), std::string::npos);
  EXPECT_NE(page.find("\"problem\":\"" + failed + ": cannot open: No such file or directory\""), std::string::npos);
  EXPECT_NE(err.find(failed + ": cannot open"), std::string::npos);

  write("broken", "morphsweep -n 1 -m 1\n");
  EXPECT_EQ(view({"--html", "broken.html", "--manifest", "broken"}), 2);
  EXPECT_NE(err.find("broken:1: "), std::string::npos) << err;
  EXPECT_FALSE(fs::exists("broken.html"));
}

// The run record sweep-run.sh leaves beside a manifest gives the page a footer; without it
// the page is byte for byte what it was, and one that cannot be read is named and left out.
TEST_F(ReportTool, ARunRecordBesideTheManifestGivesThePageItsFooter) {
  if (!reportAvailable()) GTEST_SKIP() << "morphview was built without three.js (run scripts/install-deps.sh)";
  fs::copy_file(BUNDLED_EXAMPLE, "start.3dv");
  write("manifest", std::string(MORPHSWEEP_BINARY) +
                        " -n 1 -m 1 -t 0 -r 40 120 5 -g 40 120 17 -b 40 120 33 -kr 2 -kh 3 start.3dv\n");
  ASSERT_EQ(view({"--html", "plain.html", "--manifest", "manifest"}), 0) << err;
  const std::string plain = read("plain.html");
  const std::string record =
      R"({"manifest": "manifest", "folder": "/work", "release": "1.0.0", "commit": "abc123", "program": "m",
          "processor": "Cores <b>&</b> more", "unit": "avx2", "host": "node1", "threads": 1, "jobs": 4,
          "start": "2026-12-08T10:00:00Z", "end": "2026-12-08T10:05:00Z", "status": "failed",
          "counts": {"ok": 7, "failed": 1, "notRun": 1}, "points": [{"no": "point fields are not read here"}]})";
  const struct {
    const char* name;
    std::string text;    // the record; empty: none
    std::string footer;  // expected in the page; empty: the page without a record
    std::string warning;
  } cases[] = {
      {"a record", record,
       "<footer id=\"run\" style=\"position: relative; z-index: 2; background: #1b1e26; font-size: 12px; padding: 3px "
       "10px; color: #c8ccd2; overflow-wrap: anywhere\"><strong>Run</strong> morphsweep 1.0.0 (commit abc123) "
       "\u00b7 2026-12-08T10:00:00Z to 2026-12-08T10:05:00Z \u00b7 7 ok, 1 failed, 1 not run (failed) \u00b7 Cores "
       "&lt;b&gt;&amp;&lt;/b&gt; more, kernel avx2, on node1 \u00b7 1 thread per point, 4 points side by side</footer>",
       ""},
      {"no record", "", "", ""},
      {"not JSON", "{\"release\": ", "", "morphview: warning: manifest.run.json: not a run record: "},
      {"a field of another type", "{\"manifest\": 1}", "",
       "morphview: warning: manifest.run.json: not a run record: 'manifest' is not a string"},
      // Past the record's bounds: the footer is left out, not the page.
      {"nested past the bounds", "{\"x\": " + std::string(200000, '[') + std::string(200000, ']') + "}", "",
       "morphview: warning: manifest.run.json: not a run record: nested deeper than 32 levels"},
      {"a count past the signed range", std::string(record).replace(record.find("\"jobs\": 4"), 9, "\"jobs\": 18446744073709551615"),
       "", "morphview: warning: manifest.run.json: not a run record: 'jobs' is larger than 9223372036854775807"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove("manifest.run.json");
    if (!c.text.empty()) write("manifest.run.json", c.text);
    ASSERT_EQ(view({"--html", "sweep.html", "--manifest", "manifest"}), 0) << err;
    const std::string page = read("sweep.html");
    if (c.footer.empty()) {
      EXPECT_EQ(page, plain);
    } else {
      EXPECT_NE(page.find("<div id=\"status\" role=\"status\"></div>\n" + c.footer + "\n"), std::string::npos);
    }
    EXPECT_EQ(err.find("warning") != std::string::npos, !c.warning.empty()) << err;
    if (!c.warning.empty()) {
      EXPECT_NE(err.find(c.warning), std::string::npos) << err;
      EXPECT_NE(err.find("; the report has no run footer\n"), std::string::npos) << err;
    }
  }
  // The record is an input: the page never replaces it.
  EXPECT_EQ(view({"--html", "manifest.run.json", "--manifest", "manifest"}), 1);
}

// A run's .pvd index becomes a series page: every snapshot it lists, in cycle order, with
// its cycle, and outputs that would replace an input are refused.
TEST_F(ReportTool, ARunsSeriesIndexBecomesASeriesPage) {
  if (!reportAvailable()) GTEST_SKIP() << "morphview was built without three.js (run scripts/install-deps.sh)";
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

  ASSERT_EQ(view({"--html", "growth.html", "run/embryo.1000.pvd"}), 0) << err;
  const std::string page = read("growth.html");
  EXPECT_NE(page.find("\"kind\":\"series\""), std::string::npos);
  std::size_t at = 0;
  for (const char* cycle : {"\"cycle\":0", "\"cycle\":3", "\"cycle\":6"}) {
    at = page.find(cycle, at);
    EXPECT_NE(at, std::string::npos) << cycle << " in order";
  }

  // Snapshots from a shell glob, in any order, run by cycle in the report and in the
  // statistics; two of one cycle are refused with both names, by the movie too.
  ASSERT_EQ(view({"--html", "shuffled.html", "--series", "run/embryo.1000.c6.vtp", "run/embryo.1000.c0.vtp",
                  "run/embryo.1000.c3.vtp"}),
            0)
      << err;
  const std::string shuffled = read("shuffled.html");
  std::size_t after = 0;
  for (const char* cycle : {"\"cycle\":0", "\"cycle\":3", "\"cycle\":6"}) {
    after = shuffled.find(cycle, after);
    EXPECT_NE(after, std::string::npos) << cycle << " in order";
  }
  ASSERT_EQ(run(MORPHSTATS_BINARY, {"--series", "run/embryo.1000.c6.vtp", "run/embryo.1000.c0.vtp"}), 0) << err;
  EXPECT_LT(err.find("\n0,run/embryo.1000.c0.vtp,"), err.find("\n6,run/embryo.1000.c6.vtp,")) << err;
  fs::copy_file("run/embryo.1000.c3.vtp", "run/again.vtp");
  const std::string both =
      "run/embryo.1000.c3.vtp and run/again.vtp are both cycle 3; a series holds one snapshot per cycle\n";
  for (const std::string& program : {std::string(MORPHVIEW_BINARY), std::string(MORPHSTATS_BINARY)}) {
    const std::vector<std::string> args =
        program == MORPHVIEW_BINARY
            ? std::vector<std::string>{"--html", "dup.html", "--series", "run/embryo.1000.c3.vtp", "run/again.vtp"}
            : std::vector<std::string>{"--series", "-o", "dup.csv", "run/embryo.1000.c3.vtp", "run/again.vtp"};
    EXPECT_EQ(run(program, args), 2);
    EXPECT_EQ(err.substr(err.find(": ") + 2), both) << program;
  }
  EXPECT_EQ(view({"--movie", "dup.mp4", "run/embryo.1000.c3.vtp", "run/again.vtp"}), 2);
  EXPECT_EQ(err, "morphview: " + both);
  for (const char* left : {"dup.html", "dup.csv", "dup.mp4"}) EXPECT_FALSE(fs::exists(left)) << left;

  EXPECT_EQ(view({"--html", "run/embryo.1000.pvd", "run/embryo.1000.c0.vtp"}), 1);
  EXPECT_EQ(view({"--html", "r.html", "run/none.pvd"}), 2);
  EXPECT_NE(err.find("run/none.pvd"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists("r.html"));
}

// A sweep is laid out by the parameters that vary across its manifest, named as in a
// definition: rows by one, columns by the next, one grid per value of any further one, in
// the report and on the contact sheet alike. Result names are carried, never read.
class SweepLayout : public ReportTool {
 protected:
  // A manifest of every combination of cycles (-n), repulsion (-kr) and attraction (-kh).
  static std::string manifest(const std::vector<int>& cycles, const std::vector<int>& kr, const std::vector<int>& kh) {
    std::string text;
    for (const int n : cycles)
      for (const int r : kr)
        for (const int h : kh) {
          examplePoint p;
          p.cycles = n;
          std::vector<std::string> words = examplePointWords(p);
          words[words.size() - 4] = std::to_string(r);
          words[words.size() - 2] = std::to_string(h);
          text += "morphsweep";
          for (const std::string& w : words) text += " " + w;
          text += "\n";
        }
    return text;
  }
  static std::pair<int, int> pngSize(const std::string& file) {
    const std::string png = read(file);
    if (png.size() < 24) return {0, 0};
    const auto big = [&](std::size_t at) {
      return int(std::uint8_t(png[at])) << 24 | int(std::uint8_t(png[at + 1])) << 16 |
             int(std::uint8_t(png[at + 2])) << 8 | int(std::uint8_t(png[at + 3]));
    };
    return {big(16), big(20)};
  }
};

TEST_F(SweepLayout, GridsHeadersAndTileValuesInTheReportAndOnTheSheet) {
  if (!reportAvailable()) GTEST_SKIP() << "morphview was built without three.js (run scripts/install-deps.sh)";
  write("square", manifest({1, 2, 3}, {1, 4, 16}, {3}));
  write("cube", manifest({1, 2}, {1, 16}, {3, 8}));
  ASSERT_EQ(run(PLAN_BINARY, {"--points", "square"}), 0) << err;
  // Line 5: 2 cycles, repulsion 4 (the name's crossing is morphsweep's, kept as it is).
  EXPECT_EQ(err.substr(0, err.find('\n')), "result\tgrowthCycles\trepulsion");
  EXPECT_NE(err.find("start.3dv.n2.m1.r40.120.5.g.40.120.17.b.40.120.33.kr.3.kh.4.3dv\t2\t4\n"), std::string::npos)
      << err;

  struct Case {
    const char* manifest;
    std::vector<std::string> definition;  // --definition and its file, or nothing
    std::string title;
    std::vector<std::string> grids;  // each grid's JSON up to its cells
    const char* firstLabel;
    std::pair<int, int> sheet;  // its size with tiles of 64 pixels
  };
  // A row head is "growthCycles 3" (14 glyphs of 6 pixels) or "repulsion 16" (12), and a
  // gap; each column a tile and a gap; each row a tile, its label and gaps. Under a tile of
  // 64 pixels a line holds 10 glyphs: "growthCycles 1, repulsion 1" takes 4 lines of 9
  // pixels, with ", attraction 3" 5; a grid's title and column heads take a line each, and
  // the sheet's title a line and a gap.
  const Case cases[] = {
      {"square",
       {"--definition", "square.def"},
       "three by three, by hand",
       {R"({"title":"","rowParameter":"growthCycles","columnParameter":"repulsion","rowValues":["1","2","3"],)"
        R"("columnValues":["1","4","16"],"cells":[0,1,2,3,4,5,6,7,8]})"},
       R"("label":["growthCycles 1","repulsion 1"],"values":["1","1"])",
       {8 + 92 + 3 * 72, 8 + 9 + 8 + 9 + 3 + 3 * (64 + 3 + 4 * 9 + 8)}},
      {"cube",
       {},
       "cube",
       {R"({"title":"growthCycles 1","rowParameter":"repulsion","columnParameter":"attraction","rowValues":["1","16"],)"
        R"("columnValues":["3","8"],"cells":[0,1,2,3]})",
        R"({"title":"growthCycles 2","rowParameter":"repulsion","columnParameter":"attraction","rowValues":["1","16"],)"
        R"("columnValues":["3","8"],"cells":[4,5,6,7]})"},
       R"("label":["growthCycles 1","repulsion 1","attraction 3"],"values":["1","1","3"])",
       {8 + 80 + 2 * 72, 8 + 9 + 8 + 2 * (9 + 8 + 9 + 3 + 2 * (64 + 3 + 5 * 9 + 8)) + 8}},
  };
  write("square.def", "\n#   three by three, by hand  \n# not this\ngrowthCycles = 1:3:1\n");
  for (const Case& c : cases) {
    std::vector<std::string> args = {"--html", std::string(c.manifest) + ".html", "--manifest", c.manifest};
    args.insert(args.end(), c.definition.begin(), c.definition.end());
    ASSERT_EQ(view(args), 0) << err;
    const std::string page = read(std::string(c.manifest) + ".html");
    EXPECT_NE(page.find("<title>" + c.title + "</title>"), std::string::npos) << c.manifest;
    std::string grids = "\"grids\":[";
    for (std::size_t g = 0; g < c.grids.size(); ++g) grids += (g ? ",\n" : "") + c.grids[g];
    EXPECT_NE(page.find(grids + "]"), std::string::npos) << c.manifest;
    EXPECT_NE(page.find(c.firstLabel), std::string::npos) << c.manifest;
    // No result was grown: every measure lacks values, so no bar has a share.
    EXPECT_NE(page.find("\"shares\":[[],[],"), std::string::npos) << c.manifest;

    const std::string sheet = std::string(c.manifest) + ".png";
    ASSERT_EQ(view({"--sheet", "--mark-bad", "--tile", "64", "-o", sheet, "--manifest", c.manifest}), 0) << err;
    EXPECT_EQ(pngSize(sheet), c.sheet) << c.manifest;
  }

  // Lines that share every value form no grid: the tiles keep manifest order, still
  // labelled with their values.
  write("twice", manifest({1, 2}, {4}, {3}) + manifest({1}, {4}, {3}));
  ASSERT_EQ(view({"--html", "twice.html", "--manifest", "twice"}), 0) << err;
  EXPECT_EQ(read("twice.html").find("\"grids\""), std::string::npos);
  EXPECT_EQ(read("twice.html").find("\"shares\""), std::string::npos);
  EXPECT_EQ(view({"--sheet", "--mark-bad", "--tile", "64", "-o", "twice.png", "--manifest", "twice"}), 0) << err;
  EXPECT_EQ(pngSize("twice.png").first, 8 + 2 * 72);
  // Refusals: a manifest with files, columns or without --sheet; a definition without one.
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"--sheet", "-o", "x.png", "--manifest", "cube", "a.3dv"},
        {"--sheet", "--columns", "2", "-o", "x.png", "--manifest", "cube"},
        {"-o", "x.png", "--manifest", "cube"},
        {"--html", "x.html", "--definition", "square.def", "a.3dv"}}) {
    EXPECT_EQ(view(bad), 1) << bad.back();
  }
  EXPECT_FALSE(fs::exists("x.png") || fs::exists("x.html"));
  // The definition is an input like the others: the report never goes over it, named by
  // the same words or as the same file.
  const std::string definition = read("square.def");
  fs::create_hard_link("square.def", "same.html");
  for (const char* output : {"square.def", "same.html"}) {
    EXPECT_EQ(view({"--html", output, "--manifest", "square", "--definition", "square.def"}), 1) << output;
    EXPECT_NE(err.find("it would be written over"), std::string::npos) << err;
  }
  EXPECT_EQ(read("square.def"), definition);
}
