// Writes the pages the browser test opens: a series of snapshots with morphogen levels, and
// a grid of one body with and without points far from it, built in memory, since the
// result files of the programs carry neither levels nor cycles.
// usage: report_fixtures FOLDER  (writes FOLDER/series.html and FOLDER/far.html)
#include <cstdio>
#include <string>

#include "outfile.h"
#include "report.h"
#include "report_meshes.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: report_fixtures FOLDER\n");
    return 1;
  }
  constexpr int snapshots = 6;
  view::Report report;
  report.kind = view::ReportKind::series;
  report.title = "growing sphere";
  report.measured = true;
  for (int k = 0; k < snapshots; ++k) {
    const std::string name = "sphere.c" + std::to_string(5 * k) + ".vtp";
    report.items.push_back(view::measuredItem(reporttest::growingSnapshot(k, snapshots), name, report.kind));
  }
  const std::string page = view::reportPage(report);
  if (page.empty()) {
    std::fprintf(stderr, "report_fixtures: built without three.js\n");
    return 77;
  }
  OutputFile out(std::string(argv[1]) + "/series.html");
  std::fwrite(page.data(), 1, page.size(), out.stream());
  out.commit();

  // Two tiles of one body, the second with points flung far from it.
  view::Report far;
  far.kind = view::ReportKind::grid;
  far.title = "far points";
  far.items.push_back(view::reportItem(reporttest::growingSnapshot(0, snapshots), "body.vtp", far.kind));
  far.items.push_back(
      view::reportItem(reporttest::withFarPoints(reporttest::growingSnapshot(0, snapshots)), "far.vtp", far.kind));
  const std::string farPage = view::reportPage(far);
  OutputFile farOut(std::string(argv[1]) + "/far.html");
  std::fwrite(farPage.data(), 1, farPage.size(), farOut.stream());
  farOut.commit();
  return 0;
}
