#include "reportmesh.h"

#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdio>

#include "measure/extent.h"
#include "render.h"

namespace view {

namespace {

void putLittle(std::vector<unsigned char>& out, std::size_t at, std::uint32_t value, int bytes) {
  for (int k = 0; k < bytes; ++k) out[at + k] = static_cast<unsigned char>(value >> (8 * k));
}

// Shortest text that reads back as the same float.
std::string floatText(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

// The box of the points a picture frames: those within bodyMargin of the body's box.
MeshBlock::Box framedBox(const stats::Points& points, const stats::BodyBox& body) {
  const double margin = bodyMargin * body.size();
  MeshBlock::Box box{{HUGE_VALF, HUGE_VALF, HUGE_VALF}, {-HUGE_VALF, -HUGE_VALF, -HUGE_VALF}};
  for (const auto& p : points) {
    if (stats::distanceFromBox(p, body) > margin) continue;
    for (int k = 0; k < 3; ++k) {
      box.lo[k] = std::min(box.lo[k], p[k]);
      box.hi[k] = std::max(box.hi[k], p[k]);
    }
  }
  return box;
}

}  // namespace

BlockLayout blockLayout(std::size_t points, std::size_t faces, int indexBytes, bool levels, int positionBytes) {
  BlockLayout layout;
  layout.indices = (points * 3 * static_cast<std::size_t>(positionBytes) + 3) / 4 * 4;
  layout.levels = layout.indices + faces * 3 * static_cast<std::size_t>(indexBytes);
  layout.end = layout.levels + (levels ? points * 3 : 0);
  return layout;
}

std::optional<MeshBlock> packMesh(const Mesh& mesh, std::string& problem) {
  const std::size_t n = mesh.points.size();
  if (!mesh.levels.empty() && mesh.levels.size() != n) {
    problem = std::to_string(mesh.levels.size()) + " morphogen levels for " + std::to_string(n) + " points";
    return std::nullopt;
  }
  MeshBlock block;
  for (int k = 0; k < 3; ++k) {
    block.lo[k] = n ? mesh.points[0][k] : 0.0f;
    block.hi[k] = block.lo[k];
  }
  for (const auto& p : mesh.points) {
    for (int k = 0; k < 3; ++k) {
      if (!std::isfinite(p[k])) {
        problem = "a point is not finite";
        return std::nullopt;
      }
      block.lo[k] = std::min(block.lo[k], p[k]);
      block.hi[k] = std::max(block.hi[k], p[k]);
    }
  }
  block.indexBytes = n <= 65536 ? 2 : 4;
  if (const stats::BodyBox body = stats::bodyBox(mesh.points); stats::farPoints(mesh.points, body).count > 0) {
    block.positionBytes = 4;
    block.frame = framedBox(mesh.points, body);
  }
  const BlockLayout layout =
      blockLayout(n, mesh.faces.size(), block.indexBytes, !mesh.levels.empty(), block.positionBytes);
  block.bytes.assign(layout.end, 0);
  for (int k = 0; k < 3; ++k) {
    const double lo = block.lo[k];
    const double span = static_cast<double>(block.hi[k]) - lo;
    for (std::size_t i = 0; i < n; ++i) {
      const std::size_t at = layout.positions + (k * n + i) * static_cast<std::size_t>(block.positionBytes);
      if (block.positionBytes == 4) {
        putLittle(block.bytes, at, std::bit_cast<std::uint32_t>(mesh.points[i][k]), 4);
      } else {
        const double q = span > 0 ? std::round((mesh.points[i][k] - lo) / span * quantSteps) : 0.0;
        putLittle(block.bytes, at, static_cast<std::uint32_t>(q), 2);
      }
    }
  }
  std::size_t at = layout.indices;
  for (std::size_t f = 0; f < mesh.faces.size(); ++f) {
    for (const int corner : mesh.faces[f]) {
      if (corner < 0 || static_cast<std::size_t>(corner) >= n) {
        problem =
            "triangle " + std::to_string(f) + " names point " + std::to_string(corner) + " of " + std::to_string(n);
        return std::nullopt;
      }
      putLittle(block.bytes, at, static_cast<std::uint32_t>(corner), block.indexBytes);
      at += static_cast<std::size_t>(block.indexBytes);
    }
  }
  for (std::size_t i = 0; i < mesh.levels.size(); ++i) {
    for (int k = 0; k < 3; ++k) block.bytes[layout.levels + i * 3 + k] = mesh.levels[i][k];
  }
  return block;
}

std::string base64(std::string_view bytes) {
  static constexpr char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16 | static_cast<unsigned char>(bytes[i + 1]) << 8 |
                            static_cast<unsigned char>(bytes[i + 2]);
    for (int s = 18; s >= 0; s -= 6) out += digits[(v >> s) & 63];
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    std::uint32_t v = static_cast<unsigned char>(bytes[i]) << 16;
    if (rest == 2) v |= static_cast<unsigned char>(bytes[i + 1]) << 8;
    out += digits[(v >> 18) & 63];
    out += digits[(v >> 12) & 63];
    out += rest == 2 ? digits[(v >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::string deflateBytes(const std::vector<unsigned char>& bytes) {
  uLongf size = compressBound(static_cast<uLong>(bytes.size()));
  std::string out(size, '\0');
  // compress2 fails only when memory runs out; the caller treats an empty result as that.
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, bytes.data(), static_cast<uLong>(bytes.size()), 6) !=
      Z_OK) {
    return {};
  }
  out.resize(size);
  return out;
}

std::optional<std::string> meshJson(const Mesh& mesh, std::string& problem) {
  const auto block = packMesh(mesh, problem);
  if (!block) return std::nullopt;
  const std::string packed = deflateBytes(block->bytes);
  if (packed.empty()) {
    problem = "out of memory while packing the mesh";
    return std::nullopt;
  }
  std::string json = "{\"points\":" + std::to_string(mesh.points.size()) +
                     ",\"faces\":" + std::to_string(mesh.faces.size()) +
                     ",\"indexBytes\":" + std::to_string(block->indexBytes) + ",\"lo\":[";
  const auto triple = [&json](const std::array<float, 3>& v) {
    json += floatText(v[0]) + ',' + floatText(v[1]) + ',' + floatText(v[2]);
  };
  triple(block->lo);
  json += "],\"hi\":[";
  triple(block->hi);
  if (block->frame) {
    json += "],\"positionBytes\":4,\"frame\":{\"lo\":[";
    triple(block->frame->lo);
    json += "],\"hi\":[";
    triple(block->frame->hi);
    json += "]}";
  } else {
    json += ']';
  }
  json += ",\"levels\":";
  json += mesh.levels.empty() ? "false" : "true";
  if (mesh.cycle) json += ",\"cycle\":" + std::to_string(*mesh.cycle);
  if (mesh.thresholds) {
    json += ",\"thresholds\":[" + std::to_string((*mesh.thresholds)[0]) + "," + std::to_string((*mesh.thresholds)[1]) +
            "," + std::to_string((*mesh.thresholds)[2]) + "]";
  }
  json += ",\"data\":\"" + base64(packed) + "\"}";
  return json;
}

std::string jsonString(std::string_view text) {
  std::string out = "\"";
  auto unit = [&out](unsigned code) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\u%04x", code);
    out += hex;
  };
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20 || c == 0x7f || c == '<' || c == '>' || c == '&') {
        unit(c);
      } else {
        out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    // A well-formed UTF-8 sequence passes as it is; anything else is one replacement.
    const int length = c >= 0xf0 && c <= 0xf4 ? 4 : c >= 0xe0 && c < 0xf0 ? 3 : c >= 0xc2 && c < 0xe0 ? 2 : 0;
    bool valid = length > 0 && i + static_cast<std::size_t>(length) <= text.size();
    unsigned code = length == 2 ? c & 0x1f : length == 3 ? c & 0x0f : c & 0x07;
    for (int k = 1; valid && k < length; ++k) {
      const unsigned char next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xc0) == 0x80;
      code = code << 6 | (next & 0x3f);
    }
    // Overlong forms, surrogates and values past U+10FFFF are not well formed.
    if (valid && ((length == 3 && (code < 0x800 || (code >= 0xd800 && code <= 0xdfff))) ||
                  (length == 4 && (code < 0x10000 || code > 0x10ffff)))) {
      valid = false;
    }
    if (valid) {
      out.append(text.substr(i, static_cast<std::size_t>(length)));
      i += static_cast<std::size_t>(length);
    } else {
      unit(0xfffd);
      ++i;
    }
  }
  return out + "\"";
}

}  // namespace view
