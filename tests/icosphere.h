// A unit sphere and a box made in memory, the shape of known measures that the viewer's, the
// statistics' and the report's tests and the statistics benchmark all start from.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <utility>
#include <vector>

#include "io/meshread.h"

namespace testmesh {

// An icosahedron split one-to-four `levels` times, every point pushed onto the unit sphere.
inline view::Mesh icosphere(int levels) {
  const float t = (1 + std::sqrt(5.0f)) / 2;
  view::Mesh m;
  m.points = {{-1, t, 0},  {1, t, 0},  {-1, -t, 0}, {1, -t, 0}, {0, -1, t},  {0, 1, t},
              {0, -1, -t}, {0, 1, -t}, {t, 0, -1},  {t, 0, 1},  {-t, 0, -1}, {-t, 0, 1}};
  m.faces = {{0, 11, 5},  {0, 5, 1},  {0, 1, 7},  {0, 7, 10}, {0, 10, 11}, {1, 5, 9}, {5, 11, 4},
             {11, 10, 2}, {10, 7, 6}, {7, 1, 8},  {3, 9, 4},  {3, 4, 2},   {3, 2, 6}, {3, 6, 8},
             {3, 8, 9},   {4, 9, 5},  {2, 4, 11}, {6, 2, 10}, {8, 6, 7},   {9, 8, 1}};
  for (int l = 0; l < levels; ++l) {
    std::map<std::pair<int, int>, int> mids;
    auto mid = [&](int a, int b) {
      auto [it, added] = mids.try_emplace({std::min(a, b), std::max(a, b)}, int(m.points.size()));
      if (added) {
        const auto &p = m.points[std::size_t(a)], &q = m.points[std::size_t(b)];
        m.points.push_back({(p[0] + q[0]) / 2, (p[1] + q[1]) / 2, (p[2] + q[2]) / 2});
      }
      return it->second;
    };
    std::vector<std::array<int, 3>> faces;
    for (const auto& f : m.faces) {
      const int a = mid(f[0], f[1]), b = mid(f[1], f[2]), c = mid(f[2], f[0]);
      faces.insert(faces.end(), {{f[0], a, c}, {f[1], b, a}, {f[2], c, b}, {a, b, c}});
    }
    m.faces = faces;
  }
  for (auto& p : m.points) {
    const float len = std::sqrt(p[0] * p[0] + p[1] * p[1] + p[2] * p[2]);
    for (float& c : p) c /= len;
  }
  return m;
}

// A box from the origin to (x, y, z), two triangles a side, wound outwards.
inline view::Mesh box(float x, float y, float z) {
  view::Mesh m;
  for (int k = 0; k < 8; ++k) m.points.push_back({k & 1 ? x : 0, k & 2 ? y : 0, k & 4 ? z : 0});
  m.faces = {{0, 2, 1}, {1, 2, 3}, {4, 5, 6}, {5, 7, 6}, {0, 1, 4}, {1, 5, 4},
             {2, 6, 3}, {3, 6, 7}, {0, 4, 2}, {2, 4, 6}, {1, 3, 5}, {3, 7, 5}};
  return m;
}

}  // namespace testmesh
