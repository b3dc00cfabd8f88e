// Times morphstats's measures: (a) one mesh of about 30,000 points, a third of them
// T-junctions, read from a 3DV file and measured; (b) the table of a 1,000-point sweep
// whose results are meshes of about 3,500 points; (c) a crafted mesh of 30,000 faces on
// one border edge split by 30,000 collinear points; (d) 30,000 faces fanned around one
// point. Checks that every mesh of (a) and (b) measures as a sound closed surface (angle
// defect 2) with the T-junctions it was made with, and that (c) and (d) name their fault.
// Usage: stats_bench [--quick]   (exit status 1 when a check fails)

#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "../tests/crafted_mesh.h"
#include "../tests/icosphere.h"
#include "measure/measures.h"
#include "plan.h"
#include "resultname.h"
#include "shellwords.h"
#include "sweeptable.h"

namespace {

namespace fs = std::filesystem;
using stopwatch = std::chrono::steady_clock;
using view::Mesh;

double secondsSince(stopwatch::time_point start) {
  return std::chrono::duration<double>(stopwatch::now() - start).count();
}

// Processor time of this process: on a machine shared with other work it tells the cost
// apart from the waiting.
double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

using testmesh::icosphere;

// Splits up to `count` faces that share no edge one-to-four, leaving their neighbours
// whole, so that every new mid-point is a T-junction as in a growing embryo.
long long splitApart(Mesh& m, long long count) {
  std::set<std::pair<int, int>> taken;
  const std::size_t faces = m.faces.size();
  long long split = 0;
  for (std::size_t f = 0; f < faces && split < count; ++f) {
    const auto [a, b, c] = m.faces[f];
    const std::array<std::pair<int, int>, 3> edges{
        {{std::min(a, b), std::max(a, b)}, {std::min(b, c), std::max(b, c)}, {std::min(c, a), std::max(c, a)}}};
    if (std::any_of(edges.begin(), edges.end(), [&](const auto& e) { return taken.count(e) > 0; })) continue;
    taken.insert(edges.begin(), edges.end());
    const auto mid = [&](int u, int v) {
      const auto &p = m.points[std::size_t(u)], &q = m.points[std::size_t(v)];
      m.points.push_back({(p[0] + q[0]) / 2, (p[1] + q[1]) / 2, (p[2] + q[2]) / 2});
      return int(m.points.size()) - 1;
    };
    const int ab = mid(a, b), bc = mid(b, c), ca = mid(c, a);
    m.faces[f] = {ab, bc, ca};
    m.faces.insert(m.faces.end(), {{a, ab, ca}, {b, bc, ab}, {c, ca, bc}});
    ++split;
  }
  return split;
}

void write3dv(const Mesh& m, const std::string& path) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) {
    std::perror(path.c_str());
    std::exit(2);
  }
  std::fprintf(f, "%zu\n%zu\n", m.points.size(), m.faces.size());
  for (const auto& p : m.points) std::fprintf(f, "%f %f %f\n0.000000 0.000000 1.000000\n", p[0], p[1], p[2]);
  for (const auto& t : m.faces) std::fprintf(f, "3\n%d %d %d\n", t[0], t[1], t[2]);
  std::fclose(f);
}

bool sound(const stats::Measures& m, long long junctions) {
  return std::abs(m.angleDefect - 2) < 1e-6 && m.tJunctions == junctions;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const fs::path folder = fs::temp_directory_path() / ("stats_bench." + std::to_string(getpid()));
  fs::create_directories(folder);
  bool ok = true;

  // (a) One large mesh.
  {
    Mesh big = icosphere(quick ? 3 : 5);
    const long long junctions = 3 * splitApart(big, quick ? 200 : 6600);
    const std::string path = (folder / "big.3dv").string();
    write3dv(big, path);
    std::vector<double> reads, measures, measureCpu;
    stats::Measures m;
    for (int run = 0; run < (quick ? 1 : 5); ++run) {
      auto start = stopwatch::now();
      const view::MeshLoad load = view::loadMesh(path, view::MeshFormat::threeDV);
      reads.push_back(secondsSince(start));
      if (!load.ok()) {
        std::fprintf(stderr, "%s\n", load.error.c_str());
        return 1;
      }
      start = stopwatch::now();
      const double cpuStart = cpuSeconds();
      m = stats::measure(load.mesh);
      measures.push_back(secondsSince(start));
      measureCpu.push_back(cpuSeconds() - cpuStart);
    }
    std::sort(reads.begin(), reads.end());
    std::sort(measures.begin(), measures.end());
    std::sort(measureCpu.begin(), measureCpu.end());
    std::printf(
        "(a) %zu points, %zu triangles, %lld T-junctions: read %.1f ms, measures %.1f ms (%.1f ms of processor "
        "time; medians of %zu)\n",
        big.points.size(), big.faces.size(), junctions, 1e3 * reads[reads.size() / 2],
        1e3 * measures[measures.size() / 2], 1e3 * measureCpu[measureCpu.size() / 2], reads.size());
    if (!sound(m, junctions)) {
      std::fprintf(stderr, "(a) angle defect %.17g, %lld T-junctions found of %lld\n", m.angleDefect, m.tJunctions,
                   junctions);
      ok = false;
    }
  }

  // (b) A sweep table: every point's result read and measured.
  {
    const int points = quick ? 20 : 1000;
    Mesh result = icosphere(4);
    splitApart(result, 300);
    std::string manifest;
    const fs::path home = fs::current_path();
    fs::current_path(folder);
    for (int k = 1; k <= points; ++k) {
      const std::vector<std::string> words{"morphsweep", "-n",  std::to_string(k),
                                           "-m",         "1",   "-t",
                                           "0",          "-r",  "40",
                                           "120",        "5",   "-g",
                                           "40",         "120", "17",
                                           "-b",         "40",  "120",
                                           "33",         "-kr", "2",
                                           "-kh",        "3",   "start.3dv"};
      std::string name;
      if (plan::resultName(words, name)) return 1;
      write3dv(result, name);
      manifest += plan::shellLine(words) + "\n";
    }
    std::ofstream("manifest") << manifest;
    const auto start = stopwatch::now();
    const double cpuStart = cpuSeconds();
    stats::SweepTable table;
    const auto problem = stats::readSweep("manifest", "manifest.joblog", table);
    const std::string csv = stats::sweepCsv(table);
    const double seconds = secondsSince(start);
    const double cpu = cpuSeconds() - cpuStart;
    fs::current_path(home);
    if (problem) {
      std::fprintf(stderr, "%s\n", problem->c_str());
      return 1;
    }
    std::printf("(b) %d points of %zu points each: table in %.2f s (%.2f s of processor time; %zu bytes)\n", points,
                result.points.size(), seconds, cpu, csv.size());
    for (const stats::SweepPoint& p : table.points)
      ok = ok && p.status == "ok" && std::abs(p.measures->angleDefect - 2) < 1e-6;
  }
  // (c) The crafted mesh: many faces on one border edge split by many collinear points.
  {
    const int n = quick ? 3000 : 30000;
    const std::string obj = sharedEdgeObj(n, n);
    const view::MeshLoad load = view::parseMesh(obj, view::MeshFormat::obj, "crafted.obj");
    if (!load.ok()) return 1;
    const auto start = stopwatch::now();
    const double cpuStart = cpuSeconds();
    const stats::Measures m = stats::measure(load.mesh);
    std::printf("(c) %d faces on one edge with %d points on it (%.1f MB OBJ): measures %.1f ms (%.1f ms of processor "
                "time)\n",
                n, n, obj.size() / 1e6, 1e3 * secondsSince(start), 1e3 * (cpuSeconds() - cpuStart));
    // The faces all on one edge are no surface: left out, the edge named a fault.
    ok = ok && m.tJunctions == 0 && m.faults.nonManifoldEdges == 1;
  }
  // (d) The crafted hub: n faces fanned around one point, none sharing an edge.
  {
    const int n = quick ? 3000 : 30000;
    const std::string obj = hubObj(n);
    const view::MeshLoad load = view::parseMesh(obj, view::MeshFormat::obj, "hub.obj");
    if (!load.ok()) return 1;
    const auto start = stopwatch::now();
    const double cpuStart = cpuSeconds();
    const stats::Measures m = stats::measure(load.mesh);
    std::printf(
        "(d) %d faces fanned around one point (%.1f MB OBJ): measures %.1f ms (%.1f ms of processor time), "
        "%lld non-manifold point\n",
        n, obj.size() / 1e6, 1e3 * secondsSince(start), 1e3 * (cpuSeconds() - cpuStart), m.faults.nonManifoldPoints);
    ok = ok && m.faults.nonManifoldPoints == 1;
  }
  fs::remove_all(folder);
  if (!ok) std::fprintf(stderr, "a check failed\n");
  return ok ? 0 : 1;
}
