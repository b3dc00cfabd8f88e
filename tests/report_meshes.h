// Meshes made in memory for the report's tests: a sphere of known shape, and a short
// series of it growing, with morphogen levels that differ from channel to channel.
#pragma once

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <vector>

#include "icosphere.h"
#include "io/meshread.h"

namespace reporttest {

using testmesh::icosphere;

// Snapshot `k` of `count` of a sphere stretching along x over cycles 0, 5, 10, ...: red
// rises towards +x, green towards +y, blue towards +z, each sharper as time goes on.
inline view::Mesh growingSnapshot(int k, int count) {
  view::Mesh m = icosphere(3);
  const float stretch = 1.0f + 1.5f * static_cast<float>(k) / static_cast<float>(std::max(1, count - 1));
  for (auto& p : m.points) {
    std::array<unsigned char, 3> level{};
    for (int c = 0; c < 3; ++c) {
      const float v = std::pow(p[c] * 0.5f + 0.5f, 1.0f + 0.5f * static_cast<float>(k));
      level[c] = static_cast<unsigned char>(std::clamp(v, 0.0f, 1.0f) * 255.0f);
    }
    m.levels.push_back(level);
    p[0] *= stretch;
  }
  m.cycle = 5LL * k;
  m.thresholds = std::array<int, 3>{120, 100 + k, 140};
  return m;
}

// `m` with a few points flung far from its body, as an unstable run leaves them.
inline view::Mesh withFarPoints(view::Mesh m) {
  m.points[5] = {0.25f, -0.5f, 4519.0f};
  m.points[9] = {0.5f, 0.25f, -4519.0f};
  m.points[11] = {31.0f, 0.0f, 0.0f};
  return m;
}

}  // namespace reporttest
