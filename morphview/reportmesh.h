// The compact form in which the HTML report carries a mesh: positions quantised to 16 bits
// per component within the mesh's bounding box, corner indices as 16- or 32-bit integers,
// morphogen levels as bytes; all of it deflated and written as base64.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "io/meshread.h"

namespace view {

// Positions in a block are ordered by component: every x, then every y, then every z, each
// a little-endian uint16; the block is padded with zeros to a multiple of 4 bytes. Then come
// the corners (uint16 when the points fit, else uint32, little-endian), then, when the mesh
// has levels, every point's red, green and blue byte. Planes of like values deflate better
// than interleaved ones.
//
// A mesh with a few points flung far from the rest (a run that went unstable) would have its
// body below a pixel in a view of its whole box, and a few 16-bit steps across: such a block
// carries the positions as little-endian float32 planes instead, and the box around the body
// (the points a picture frames, see bodyFraming) for the page to frame.
struct MeshBlock {
  std::array<float, 3> lo{}, hi{};  // bounding box; a point q decodes as lo + q / 65535 * (hi - lo)
  int indexBytes = 2;
  int positionBytes = 2;  // 4 when the positions are float32
  struct Box {
    std::array<float, 3> lo{}, hi{};
  };
  std::optional<Box> frame;  // set when points lie far outside the body
  std::vector<unsigned char> bytes;
};

inline constexpr long long quantSteps = 65535;

// The block of a mesh, or nothing with the reason in `problem` when a face names no point or
// the levels do not match the points.
std::optional<MeshBlock> packMesh(const Mesh& mesh, std::string& problem);

// Offsets of the parts of a block for a mesh of these counts.
struct BlockLayout {
  std::size_t positions = 0, indices = 0, levels = 0, end = 0;
};
BlockLayout blockLayout(std::size_t points, std::size_t faces, int indexBytes, bool levels, int positionBytes = 2);

// RFC 4648 base64 with padding.
std::string base64(std::string_view bytes);
// zlib's deflate format (RFC 1950), which a browser's DecompressionStream("deflate") reads.
std::string deflateBytes(const std::vector<unsigned char>& bytes);

// The mesh as the JSON object the page reads: counts, box, index width, whether it has
// levels, its cycle and thresholds when known, and "data", the deflated block in base64;
// for a block of float32 positions also "positionBytes":4 and "frame", the body's box.
std::optional<std::string> meshJson(const Mesh& mesh, std::string& problem);

// `text` as a JSON string literal. Invalid UTF-8 bytes become U+FFFD; '<', '>' and '&' are
// escaped so that the text can stand inside an HTML script element.
std::string jsonString(std::string_view text);

}  // namespace view
