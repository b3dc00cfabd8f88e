#include "measure/angledefect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

namespace stats {
namespace {

using Vec = std::array<double, 3>;

Vec sub(const std::array<float, 3>& a, const std::array<float, 3>& b) {
  return {double(a[0]) - b[0], double(a[1]) - b[1], double(a[2]) - b[2]};
}
double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

// Directed edges of the faces, sorted so that an edge's twin is found by binary search.
class HalfEdges {
 public:
  explicit HalfEdges(const std::vector<std::array<int, 3>>& faces) {
    keys_.reserve(faces.size() * 3);
    for (const auto& f : faces) {
      for (std::size_t k = 0; k < 3; ++k) keys_.push_back(key(f[k], f[(k + 1) % 3]));
    }
    std::sort(keys_.begin(), keys_.end());
  }
  bool contains(int from, int to) const { return std::binary_search(keys_.begin(), keys_.end(), key(from, to)); }

 private:
  static std::uint64_t key(int from, int to) { return (std::uint64_t(std::uint32_t(from)) << 32) | std::uint32_t(to); }
  std::vector<std::uint64_t> keys_;
};

}  // namespace

AngleDefect angleDefect(const view::Mesh& mesh) {
  const double pi = std::numbers::pi;
  const auto n = static_cast<long long>(mesh.points.size());
  std::vector<std::array<int, 3>> faces;
  faces.reserve(mesh.faces.size());
  for (const auto& f : mesh.faces) {
    if (std::all_of(f.begin(), f.end(), [n](int c) { return c >= 0 && c < n; })) faces.push_back(f);
  }
  const auto point = [&](int v) { return mesh.points[static_cast<std::size_t>(v)]; };

  AngleDefect result;
  std::vector<char> used(mesh.points.size(), 0);
  double angles = 0;
  for (const auto& f : faces) {
    for (std::size_t k = 0; k < 3; ++k) {
      const int v = f[k];
      used[static_cast<std::size_t>(v)] = 1;
      const Vec u = sub(point(f[(k + 1) % 3]), point(v)), w = sub(point(f[(k + 2) % 3]), point(v));
      const Vec c{u[1] * w[2] - u[2] * w[1], u[2] * w[0] - u[0] * w[2], u[0] * w[1] - u[1] * w[0]};
      angles += std::atan2(std::sqrt(dot(c, c)), dot(u, w));
    }
  }
  const long long usedCount = std::count(used.begin(), used.end(), 1);
  result.total = 2 * pi * static_cast<double>(usedCount) - angles;

  // Border edges: directed face edges whose reverse no face has.
  const HalfEdges edges(faces);
  std::vector<std::pair<int, int>> border;  // (from, to), sorted by `from`
  for (const auto& f : faces) {
    for (std::size_t k = 0; k < 3; ++k) {
      if (!edges.contains(f[(k + 1) % 3], f[k])) border.emplace_back(f[k], f[(k + 1) % 3]);
    }
  }
  // Each distinct edge once: faces that repeat one border edge (K faces on one edge a crafted
  // file may hold) neither repeat its search nor lengthen the walks through its ends.
  std::sort(border.begin(), border.end());
  border.erase(std::unique(border.begin(), border.end()), border.end());

  // A border edge a -> b is an unsplit edge when border edges lead from b back to a through
  // points on the segment between them: those points are its T-junctions.
  std::vector<char> isJunction(mesh.points.size(), 0);
  std::vector<std::size_t> visitedFor(mesh.points.size(), border.size());  // the search that last met a point
  std::vector<std::pair<int, int>> frames;                                 // (point, depth) still to visit
  std::vector<int> trail, chain;
  // Every search ends, but a crafted point where K border edges arrive and K leave makes K
  // searches each pass K edges. Surfaces the programs write pass a few edges per search;
  // past this budget the count is given up rather than taking quadratic time.
  const long long budget = 16 * static_cast<long long>(border.size()) + (1LL << 20);
  long long passed = 0;
  for (std::size_t e = 0; e < border.size(); ++e) {
    const auto [a, b] = border[e];
    const auto pa = point(a), pb = point(b);
    const Vec ab = sub(pb, pa);
    const double length2 = dot(ab, ab);
    if (!(length2 > 0)) continue;
    const double tolerance = 1e-3 * std::sqrt(length2) + 1e-5;
    // On the open segment, within `tolerance` of it; returns the position along it.
    const auto along = [&](int v) {
      const Vec av = sub(point(v), pa);
      const double t = dot(av, ab) / length2;
      if (!(t > 0 && t < 1)) return -1.0;
      const Vec off{av[0] - t * ab[0], av[1] - t * ab[1], av[2] - t * ab[2]};
      return dot(off, off) <= tolerance * tolerance ? t : -1.0;
    };
    // Depth-first from b; each step moves strictly towards a and meets a point once, so the
    // search ends however deep the splits on the other side went.
    frames.assign(1, {b, 0});
    trail.clear();
    chain.clear();
    bool found = false;
    while (!frames.empty() && !found) {
      const auto [v, depth] = frames.back();
      frames.pop_back();
      trail.resize(static_cast<std::size_t>(depth));
      trail.push_back(v);
      const double here = v == b ? 1.0 : along(v);
      for (auto it = std::lower_bound(border.begin(), border.end(), std::make_pair(v, -1));
           it != border.end() && it->first == v; ++it) {
        if (++passed > budget) {
          result.searched = false;
          return result;
        }
        const int next = it->second;
        if (next == a && v != b) {
          chain.assign(trail.begin() + 1, trail.end());
          found = true;
          break;
        }
        const double t = next == a ? -1.0 : along(next);
        if (t > 0 && t < here && visitedFor[static_cast<std::size_t>(next)] != e) {
          visitedFor[static_cast<std::size_t>(next)] = e;
          frames.emplace_back(next, depth + 1);
        }
      }
    }
    for (const int m : chain) isJunction[static_cast<std::size_t>(m)] = 1;
  }
  result.tJunctions = std::count(isJunction.begin(), isJunction.end(), 1);
  result.total -= pi * static_cast<double>(result.tJunctions);
  return result;
}

}  // namespace stats
