// Writes the two report pages whose size and load time the README quotes, from grown
// embryos: a series of `snapshots` frames of a large embryo, and a grid of `points` tiles
// of a small one. Result files hold no levels or history, so each frame gets levels that
// move over the surface with time, and each tile a slight jitter of its own, so that no two
// meshes in a page are alike and deflate cannot fold them together.
// usage: report_pages LARGE.3dv SMALL.3dv OUTDIR [snapshots points]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "outfile.h"
#include "report.h"

namespace {

void writePage(const view::Report& report, const std::string& path) {
  const std::string page = view::reportPage(report);
  if (page.empty()) {
    std::fprintf(stderr, "report_pages: morphview was built without three.js\n");
    std::exit(1);
  }
  OutputFile out(path);
  std::fwrite(page.data(), 1, page.size(), out.stream());
  out.commit();
  std::printf("%s: %zu bytes, %zu meshes\n", path.c_str(), page.size(), report.items.size());
}

view::Mesh load(const char* path) {
  const view::MeshLoad load = view::loadMesh(path, view::formatForName(path));
  if (!load.ok()) {
    std::fprintf(stderr, "report_pages: %s\n", load.error.c_str());
    std::exit(2);
  }
  std::printf("%s: %zu points, %zu triangles\n", path, load.mesh.points.size(), load.mesh.faces.size());
  return load.mesh;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 && argc != 6) {
    std::fprintf(stderr, "usage: report_pages LARGE.3dv SMALL.3dv OUTDIR [snapshots points]\n");
    return 1;
  }
  const int snapshots = argc == 6 ? std::atoi(argv[4]) : 40;
  const int points = argc == 6 ? std::atoi(argv[5]) : 100;
  const std::string out = argv[3];

  view::Mesh large = load(argv[1]);
  view::Report series;
  series.kind = view::ReportKind::series;
  series.title = "series benchmark";
  for (int k = 0; k < snapshots; ++k) {
    view::Mesh frame = large;
    const float t = static_cast<float>(k) / static_cast<float>(snapshots);
    frame.levels.resize(frame.points.size());
    for (std::size_t i = 0; i < frame.points.size(); ++i) {
      auto& p = frame.points[i];
      for (int c = 0; c < 3; ++c) {
        const float wave = std::sin(p[0] * 0.7f + p[1] * 0.3f * static_cast<float>(c + 1) + 6.2832f * t);
        frame.levels[i][c] = static_cast<unsigned char>(127.5f + 127.0f * wave);
        p[c] *= 0.6f + 0.4f * (t + 0.01f * std::sin(static_cast<float>(i) * 0.1f + t));
      }
    }
    frame.cycle = 10LL * k;
    frame.thresholds = std::array<int, 3>{120, 120, 120};
    series.items.push_back(view::reportItem(frame, "embryo.c" + std::to_string(10 * k) + ".vtp", series.kind));
  }
  writePage(series, out + "/series.html");

  view::Mesh small = load(argv[2]);
  view::Report grid;
  grid.kind = view::ReportKind::grid;
  grid.title = "sweep benchmark";
  for (int n = 0; n < points; ++n) {
    view::Mesh point = small;
    for (std::size_t i = 0; i < point.points.size(); ++i) {
      for (int c = 0; c < 3; ++c) {
        point.points[i][c] *= 1.0f + 0.002f * std::sin(static_cast<float>(i * 3 + c) * 0.37f + static_cast<float>(n));
      }
    }
    const std::string name = "start.3dvTemplate.n" + std::to_string(6 + n % 10) +
                             ".m1.r40.120.5.g.40.120.17.b.40.120.33.kr." + std::to_string(n / 10) + ".kh.4.3dv";
    grid.items.push_back(n % 25 == 7
                             ? view::failedItem(name, name + ": cannot open: No such file or directory", grid.kind)
                             : view::reportItem(point, name, grid.kind));
  }
  writePage(grid, out + "/sweep.html");
  return 0;
}
