// Times morphstats --compare's work on two surfaces of about 30,000 vertices each, bumpy
// spheres of different triangulations: (a) the distances as the surfaces lie (no
// registration), best of five, on one core; (b) rigid and (c) similarity registration with
// the distances after it. Checks that a surface is at distance 0 from itself and that
// registration brings a turned and shifted copy back within 1e-5 of its size.
// Usage: compare_bench [--quick]   (exit status 1 when a check fails)

#include <time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>

#include "measure/compare.h"

namespace {

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return double(t.tv_sec) + 1e-9 * double(t.tv_nsec);
}

// A sphere of `rings` x `segments` points and two poles, its radius rippled by `phase`.
view::Mesh bumpySphere(int rings, int segments, double phase) {
  view::Mesh m;
  const double pi = std::numbers::pi;
  const auto radius = [&](double theta, double phi) {
    return 1 + 0.1 * std::sin(3 * theta + phase) * std::cos(2 * phi) + 0.05 * std::cos(5 * phi + phase);
  };
  m.points.push_back({0, 0, float(radius(0, 0))});
  for (int r = 1; r <= rings; ++r) {
    const double theta = pi * r / (rings + 1);
    for (int s = 0; s < segments; ++s) {
      const double phi = 2 * pi * s / segments, q = radius(theta, phi);
      m.points.push_back({float(q * std::sin(theta) * std::cos(phi)), float(q * std::sin(theta) * std::sin(phi)),
                          float(q * std::cos(theta) * 1.3)});
    }
  }
  m.points.push_back({0, 0, float(-radius(pi, 0) * 1.3)});
  const int south = int(m.points.size()) - 1;
  const auto at = [&](int r, int s) { return 1 + (r - 1) * segments + (s % segments); };
  for (int s = 0; s < segments; ++s) {
    m.faces.push_back({0, at(1, s), at(1, s + 1)});
    m.faces.push_back({south, at(rings, s + 1), at(rings, s)});
    for (int r = 1; r < rings; ++r) {
      m.faces.push_back({at(r, s), at(r + 1, s), at(r + 1, s + 1)});
      m.faces.push_back({at(r, s), at(r + 1, s + 1), at(r, s + 1)});
    }
  }
  return m;
}

view::Mesh turned(view::Mesh m) {
  stats::Transform t;
  const double a = 0.7, c = std::cos(a), s = std::sin(a);
  t.rotation = {{{c, -s, 0}, {s * 0.6, c * 0.6, 0.8}, {-s * 0.8, -c * 0.8, 0.6}}};
  t.translation = {0.3, -2, 1.5};
  for (auto& p : m.points) {
    const stats::Point q = t.apply({p[0], p[1], p[2]});
    p = {float(q[0]), float(q[1]), float(q[2])};
  }
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
  const view::Mesh a = quick ? bumpySphere(30, 40, 0) : bumpySphere(150, 200, 0);
  const view::Mesh b = quick ? bumpySphere(33, 37, 0.4) : bumpySphere(160, 187, 0.4);
  std::printf("surfaces of %zu and %zu vertices\n", a.points.size(), b.points.size());
  bool ok = true;

  double best = 1e300;
  stats::Comparison c;
  for (int k = 0; k < (quick ? 1 : 5); ++k) {
    const double start = cpuSeconds();
    c = stats::compare(a, b, stats::Registration::none);
    best = std::min(best, cpuSeconds() - start);
  }
  std::printf("no registration:  %7.1f ms  (hausdorff %.6g, mean %.6g, rms %.6g)\n", best * 1e3, c.distances.hausdorff,
              c.distances.mean, c.distances.rms);
  if (!(c.distances.hausdorff > 0)) ok = false;

  const view::Mesh copy = turned(a);
  for (const stats::Registration r : {stats::Registration::rigid, stats::Registration::similarity}) {
    const double start = cpuSeconds();
    const stats::Comparison apart = stats::compare(a, b, r);
    const double seconds = cpuSeconds() - start;
    const stats::Comparison back = stats::compare(a, copy, r);
    std::printf("%-10s        %7.1f ms  (hausdorff %.6g; a turned copy back to %.3g)\n", stats::registrationName(r),
                seconds * 1e3, apart.distances.hausdorff, back.distances.hausdorff);
    if (!(back.distances.hausdorff < 1e-5 * 2)) ok = false;
  }
  if (stats::compare(a, a, stats::Registration::rigid).distances.hausdorff != 0) ok = false;
  if (!ok) std::printf("a check failed\n");
  return ok ? 0 : 1;
}
