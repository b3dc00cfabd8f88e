#include "measure/angledefect.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <optional>
#include <tuple>
#include <vector>

namespace stats {
namespace {

using Vec = std::array<double, 3>;
using Face = std::array<int, 3>;

Vec sub(const std::array<float, 3>& a, const std::array<float, 3>& b) {
  return {double(a[0]) - b[0], double(a[1]) - b[1], double(a[2]) - b[2]};
}
double dot(const Vec& a, const Vec& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; }

std::uint64_t edgeKey(int from, int to) { return (std::uint64_t(std::uint32_t(from)) << 32) | std::uint32_t(to); }
std::uint64_t undirectedKey(int a, int b) { return edgeKey(std::min(a, b), std::max(a, b)); }

bool repeatsCorner(const Face& f) { return f[0] == f[1] || f[1] == f[2] || f[0] == f[2]; }

// No area at all from the file's positions: the angles are undefined (or arbitrary).
bool flat(const view::Mesh& mesh, const Face& f) {
  const auto& p = mesh.points;
  const Vec u = sub(p[std::size_t(f[1])], p[std::size_t(f[0])]), w = sub(p[std::size_t(f[2])], p[std::size_t(f[0])]);
  return u[1] * w[2] - u[2] * w[1] == 0 && u[2] * w[0] - u[0] * w[2] == 0 && u[0] * w[1] - u[1] * w[0] == 0;
}

// Points in use at exactly the position of another point in use; -0 and 0 are one position.
long long coincidentPoints(const view::Mesh& mesh, const std::vector<char>& used) {
  using Key = std::tuple<std::uint32_t, std::uint32_t, std::uint32_t>;
  std::vector<Key> keys;
  const auto bits = [](float x) { return std::bit_cast<std::uint32_t>(x == 0 ? 0.0f : x); };
  for (std::size_t v = 0; v < mesh.points.size(); ++v) {
    if (used[v]) keys.emplace_back(bits(mesh.points[v][0]), bits(mesh.points[v][1]), bits(mesh.points[v][2]));
  }
  std::sort(keys.begin(), keys.end());
  return static_cast<long long>(keys.end() - std::unique(keys.begin(), keys.end()));
}

// The surface's triangles and their border: where each point's fans begin and end, and how the
// border edges join into cracks and holes.
class Border {
 public:
  Border(const view::Mesh& mesh, std::vector<Face> faces) : mesh_(mesh), faces_(std::move(faces)) {
    for (std::size_t f = 0; f < faces_.size(); ++f) {
      for (std::size_t k = 0; k < 3; ++k) half_.push_back({edgeKey(faces_[f][k], faces_[f][(k + 1) % 3]), 3 * f + k});
    }
    std::sort(half_.begin(), half_.end());
    for (const auto& [key, corner] : half_) {
      const int from = int(key >> 32), to = int(key & 0xffffffffu);
      if (!find(to, from)) edges_.push_back({from, to, corner});
    }
    // edges_ is in (from, to) order; byTo_ lists the same edges in (to, from) order.
    byTo_.resize(edges_.size());
    for (std::size_t e = 0; e < edges_.size(); ++e) byTo_[e] = e;
    std::sort(byTo_.begin(), byTo_.end(), [&](std::size_t a, std::size_t b) {
      return std::tie(edges_[a].to, edges_[a].from) < std::tie(edges_[b].to, edges_[b].from);
    });
  }

  // Each point's triangles: fans from a border edge leaving the point to one arriving, and
  // closed fans all round it. Every corner belongs to exactly one.
  void walkFans(std::vector<int>& closedFans) {
    fanStart_.assign(edges_.size(), none);
    fanEnd_.assign(edges_.size(), none);
    std::vector<char> seen(3 * faces_.size(), 0);
    for (std::size_t e = 0; e < edges_.size(); ++e) {
      std::size_t corner = edges_[e].corner;
      for (std::size_t steps = 0; steps <= seen.size(); ++steps) {
        seen[corner] = 1;
        const auto next = around(corner);
        if (!next) {
          const Face& f = faces_[corner / 3];
          const std::size_t in = borderEdge(f[(corner + 2) % 3], f[corner % 3]);
          fanEnd_[e] = in;
          if (in != none) fanStart_[in] = e;
          break;
        }
        corner = *next;
      }
    }
    for (std::size_t start = 0; start < seen.size(); ++start) {
      if (seen[start]) continue;
      closedFans[std::size_t(faces_[start / 3][start % 3])] += 1;
      std::size_t corner = start;
      for (std::size_t steps = 0; steps <= seen.size() && !seen[corner]; ++steps) {
        seen[corner] = 1;
        const auto next = around(corner);
        if (!next) break;
        corner = *next;
      }
    }
  }

  // Joins each border edge arriving at a point to the one leaving it across the same gap.
  void pairEdges(std::size_t points) {
    next_.assign(edges_.size(), none);
    prev_.assign(edges_.size(), none);
    head_.resize(edges_.size());
    tail_.resize(edges_.size());
    for (std::size_t e = 0; e < edges_.size(); ++e) head_[e] = tail_[e] = e;
    open_.assign(points, 0);
    forced_.assign(points, 0);
    for (const Edge& e : edges_) open_[std::size_t(e.to)] += 1;
    for (std::size_t v = 0; v < points; ++v) {
      if (open_[v] > 0 && open_[v] <= 2) pending_.push_back(int(v));
    }
    // A chain from u to v closes with the only chain from v to u; a few rounds settle every
    // surface the programs write (the fans settle almost all), and a crafted one is bounded.
    for (int round = 0;; ++round) {
      settle();
      if (round == 16) break;
      std::vector<std::tuple<int, int, std::size_t>> chains;  // from, to, head
      for (std::size_t h = 0; h < edges_.size(); ++h) {
        if (prev_[h] == none) chains.emplace_back(edges_[h].from, edges_[tail_[h]].to, h);
      }
      std::sort(chains.begin(), chains.end());
      const auto only = [&](int from, int to) -> std::size_t {
        const auto lo = std::lower_bound(chains.begin(), chains.end(), std::make_tuple(from, to, std::size_t(0)));
        if (lo == chains.end() || std::get<0>(*lo) != from || std::get<1>(*lo) != to) return none;
        const auto after = lo + 1;
        if (after != chains.end() && std::get<0>(*after) == from && std::get<1>(*after) == to) return none;
        return std::get<2>(*lo);
      };
      bool progress = false;
      for (const auto& [from, to, h] : chains) {
        if (from >= to) continue;
        const std::size_t there = only(from, to), back = only(to, from);
        if (there == none || back == none) continue;
        join(tail_[there], back);  // the merged chain then closes at `from`
        progress = true;
      }
      if (!progress) break;
    }
  }

  // The closed chains that are cracks: their points on the unsplit edge (or all at one
  // position, where flat triangles meet), none beside a triangle left out. Marks their
  // T-junctions and returns how many corners of unsplit edges they make (each gets pi).
  long long cracks(const std::vector<std::uint64_t>& leftOut, std::vector<char>& junction) const {
    std::vector<char> done(edges_.size(), 0);
    std::vector<std::size_t> cycle;
    long long straight = 0;
    for (std::size_t first = 0; first < edges_.size(); ++first) {
      if (done[first]) continue;
      cycle.clear();
      std::size_t e = first;
      while (e != none && !done[e]) {
        done[e] = 1;
        cycle.push_back(e);
        e = next_[e];
      }
      if (e != first || cycle.size() < 3) continue;
      if (std::any_of(cycle.begin(), cycle.end(), [&](std::size_t c) {
            return std::binary_search(leftOut.begin(), leftOut.end(), undirectedKey(edges_[c].from, edges_[c].to));
          })) {
        continue;
      }
      // The unsplit edge: the programs number a mid-point after the ends of its edge, so
      // in their files it joins the crack's two first points; in any other, the longest.
      std::size_t unsplit = firstPointsEdge(cycle);
      if (unsplit == none || !onEdge(cycle, unsplit)) unsplit = longestEdge(cycle);
      if (!onEdge(cycle, unsplit)) continue;
      straight += static_cast<long long>(cycle.size()) - 2;
      for (const std::size_t c : cycle) {
        const int v = edges_[c].from;
        if (v != edges_[unsplit].from && v != edges_[unsplit].to) junction[std::size_t(v)] = 1;
      }
    }
    return straight;
  }

  // Points whose fans, joined across the gaps, make more than one round (or could not be
  // joined): the surface pinches there.
  long long pinchedPoints(const std::vector<int>& closedFans) const {
    std::vector<char> done(edges_.size(), 0);
    long long pinched = 0;
    std::size_t k = 0;
    for (std::size_t v = 0; v < closedFans.size(); ++v) {
      long long rounds = closedFans[v];
      for (; k < byTo_.size() && std::size_t(edges_[byTo_[k]].to) == v; ++k) {
        std::size_t e = byTo_[k];
        if (done[e]) continue;
        ++rounds;
        // In-edges at v lead, through the fan after the gap, to the next in-edge at v.
        while (e != none && !done[e]) {
          done[e] = 1;
          e = next_[e] == none ? none : fanEnd_[next_[e]];
        }
      }
      pinched += rounds > 1;
    }
    return pinched;
  }

 private:
  static constexpr std::size_t none = std::size_t(-1);
  struct Edge {
    int from, to;
    std::size_t corner;  // the corner of its triangle it leaves from
  };

  std::optional<std::size_t> find(int from, int to) const {
    const auto it = std::lower_bound(half_.begin(), half_.end(), std::make_pair(edgeKey(from, to), std::size_t(0)));
    if (it == half_.end() || it->first != edgeKey(from, to)) return std::nullopt;
    return it->second;
  }
  std::size_t borderEdge(int from, int to) const {
    const auto it = std::lower_bound(edges_.begin(), edges_.end(), std::make_pair(from, to),
                                     [](const Edge& e, const std::pair<int, int>& k) {
                                       return std::tie(e.from, e.to) < std::tie(k.first, k.second);
                                     });
    return it != edges_.end() && it->from == from && it->to == to ? std::size_t(it - edges_.begin()) : none;
  }
  // The corner of the same point in the triangle across the edge arriving at it, if any.
  std::optional<std::size_t> around(std::size_t corner) const {
    const Face& f = faces_[corner / 3];
    const int v = f[corner % 3], y = f[(corner + 2) % 3];
    return find(v, y);
  }

  void join(std::size_t in, std::size_t out) {
    next_[in] = out;
    prev_[out] = in;
    const auto v = std::size_t(edges_[in].to);
    if (--open_[v] <= 2 && !forced_[v]) pending_.push_back(int(v));
    const std::size_t h = head_[in], t = tail_[out];
    if (h == out) return;  // a whole round
    tail_[h] = t;
    head_[t] = h;
    if (edges_[h].from == edges_[t].to) closing_.emplace_back(t, h);
  }

  // Joins what the fans leave no choice about, until nothing is left to join that way:
  // at a point with one or two open paths of fans only one joining goes once round it, and
  // a chain back at the point it left closes there (a crack passes a point once).
  void settle() {
    while (!pending_.empty() || !closing_.empty()) {
      if (!closing_.empty()) {
        const auto [t, h] = closing_.back();
        closing_.pop_back();
        if (next_[t] == none && prev_[h] == none && head_[t] == h) join(t, h);
        continue;
      }
      const auto v = std::size_t(pending_.back());
      pending_.pop_back();
      if (forced_[v] || open_[v] > 2) continue;
      forced_[v] = 1;
      std::vector<std::pair<std::size_t, std::size_t>> paths;  // (open end, its path's start)
      const auto first = std::lower_bound(byTo_.begin(), byTo_.end(), v,
                                          [&](std::size_t e, std::size_t p) { return std::size_t(edges_[e].to) < p; });
      for (auto it = first; it != byTo_.end() && std::size_t(edges_[*it].to) == v; ++it) {
        if (next_[*it] != none) continue;
        std::size_t s = fanStart_[*it];
        for (std::size_t steps = 0; s != none && prev_[s] != none && steps < edges_.size(); ++steps) {
          s = fanStart_[prev_[s]];
        }
        if (s != none) paths.emplace_back(*it, s);
      }
      if (paths.size() == 1) {
        join(paths[0].first, paths[0].second);
      } else if (paths.size() == 2) {
        join(paths[0].first, paths[1].second);
        join(paths[1].first, paths[0].second);
      }
    }
  }

  std::size_t longestEdge(const std::vector<std::size_t>& cycle) const {
    std::size_t best = cycle.front();
    double bestLength = -1;
    for (const std::size_t c : cycle) {
      const Vec d = sub(point(edges_[c].to), point(edges_[c].from));
      if (dot(d, d) > bestLength) bestLength = dot(d, d), best = c;
    }
    return best;
  }
  const std::array<float, 3>& point(int v) const { return mesh_.points[std::size_t(v)]; }

  // The edge between the two lowest-numbered points, if one of the cycle joins them.
  std::size_t firstPointsEdge(const std::vector<std::size_t>& cycle) const {
    int low = edges_[cycle.front()].from, second = -1;
    for (const std::size_t c : cycle) {
      const int v = edges_[c].from;
      if (v < low) {
        second = low;
        low = v;
      } else if (v != low && (second < 0 || v < second)) {
        second = v;
      }
    }
    for (const std::size_t c : cycle) {
      if (std::minmax(edges_[c].from, edges_[c].to) == std::minmax(low, second)) return c;
    }
    return none;
  }

  // Every point of the cycle within 0.1% of the edge's length of it, plus what six decimals
  // or a float's rounding of the mid-points may move them; or all at one position.
  bool onEdge(const std::vector<std::size_t>& cycle, std::size_t edge) const {
    const Edge& e = edges_[edge];
    const auto &pa = point(e.from), &pb = point(e.to);
    const Vec ab = sub(pb, pa);
    const double length2 = dot(ab, ab);
    if (length2 == 0) {
      return std::all_of(cycle.begin(), cycle.end(), [&](std::size_t c) { return point(edges_[c].from) == pa; });
    }
    if (!(length2 > 0)) return false;
    double scale = 0;
    for (std::size_t k = 0; k < 3; ++k) scale = std::max({scale, std::abs(double(pa[k])), std::abs(double(pb[k]))});
    const double tolerance = 1e-3 * std::sqrt(length2) + 1e-5 + 1e-6 * scale;
    return std::all_of(cycle.begin(), cycle.end(), [&](std::size_t c) {
      const Vec av = sub(point(edges_[c].from), pa);
      const double t = std::clamp(dot(av, ab) / length2, 0.0, 1.0);
      const Vec off{av[0] - t * ab[0], av[1] - t * ab[1], av[2] - t * ab[2]};
      return dot(off, off) <= tolerance * tolerance;
    });
  }

  const view::Mesh& mesh_;
  std::vector<Face> faces_;
  std::vector<std::pair<std::uint64_t, std::size_t>> half_;  // (from, to) key, corner it leaves
  std::vector<Edge> edges_;                                  // border edges, in (from, to) order
  std::vector<std::size_t> byTo_;
  std::vector<std::size_t> fanStart_, fanEnd_;  // of the fan an in-edge ends / an out-edge starts
  std::vector<std::size_t> next_, prev_;        // joined across a gap: in-edge -> out-edge
  std::vector<std::size_t> head_, tail_;        // of an open chain, kept at its ends
  std::vector<int> open_;                       // border in-edges not yet joined, per point
  std::vector<char> forced_;
  std::vector<int> pending_;
  std::vector<std::pair<std::size_t, std::size_t>> closing_;
};

}  // namespace

AngleDefect angleDefect(const view::Mesh& mesh) {
  const auto n = static_cast<long long>(mesh.points.size());
  AngleDefect result;
  SurfaceFaults& faults = result.faults;

  // The triangles that take part in the surface's combinatorics: corners distinct, and no
  // edge used more than twice or twice the same way (every triangle on such an edge is left
  // out). A flat one takes part but its angles, undefined, are left out of the sum.
  std::vector<Face> faces;
  std::vector<std::uint64_t> leftOut;  // undirected edges of the triangles left out
  std::vector<char> used(mesh.points.size(), 0);
  for (const Face& f : mesh.faces) {
    if (!std::all_of(f.begin(), f.end(), [n](int c) { return c >= 0 && c < n; })) continue;
    for (const int c : f) used[std::size_t(c)] = 1;
    if (repeatsCorner(f)) {
      ++faults.degenerateTriangles;
      for (std::size_t k = 0; k < 3; ++k) leftOut.push_back(undirectedKey(f[k], f[(k + 1) % 3]));
    } else {
      faces.push_back(f);
    }
  }
  faults.coincidentPoints = coincidentPoints(mesh, used);

  std::vector<std::tuple<std::uint64_t, int, std::size_t>> uses;  // undirected key, from, face
  for (std::size_t f = 0; f < faces.size(); ++f) {
    for (std::size_t k = 0; k < 3; ++k) {
      uses.emplace_back(undirectedKey(faces[f][k], faces[f][(k + 1) % 3]), faces[f][k], f);
    }
  }
  std::sort(uses.begin(), uses.end());
  std::vector<char> nonManifold(faces.size(), 0);
  for (std::size_t i = 0; i < uses.size();) {
    std::size_t j = i;
    while (j < uses.size() && std::get<0>(uses[j]) == std::get<0>(uses[i])) ++j;
    if (j - i > 2 || (j - i == 2 && std::get<1>(uses[i]) == std::get<1>(uses[i + 1]))) {
      ++faults.nonManifoldEdges;
      for (std::size_t k = i; k < j; ++k) nonManifold[std::get<2>(uses[k])] = 1;
    }
    i = j;
  }
  std::vector<Face> manifold;
  std::vector<char> inSurface(mesh.points.size(), 0);
  long long withAngles = 0;
  for (std::size_t f = 0; f < faces.size(); ++f) {
    const Face& t = faces[f];
    if (nonManifold[f]) {
      for (std::size_t k = 0; k < 3; ++k) leftOut.push_back(undirectedKey(t[k], t[(k + 1) % 3]));
      continue;
    }
    manifold.push_back(t);
    for (const int c : t) inSurface[std::size_t(c)] = 1;
    if (flat(mesh, t)) {
      ++faults.degenerateTriangles;
    } else {
      ++withAngles;
    }
  }
  std::sort(leftOut.begin(), leftOut.end());
  const long long points = std::count(inSurface.begin(), inSurface.end(), 1);

  Border border(mesh, std::move(manifold));
  std::vector<int> closedFans(mesh.points.size(), 0);
  border.walkFans(closedFans);
  border.pairEdges(mesh.points.size());
  std::vector<char> junction(mesh.points.size(), 0);
  const long long straight = border.cracks(leftOut, junction);
  faults.nonManifoldPoints = border.pinchedPoints(closedFans);
  result.tJunctions = std::count(junction.begin(), junction.end(), 1);

  result.characteristic = double(2 * points - withAngles - straight) / 2;
  result.total = 2 * std::numbers::pi * result.characteristic;
  return result;
}

}  // namespace stats
