// Reading 3DV, 3DV template and OBJ files into the plain point and triangle lists the
// renderer draws. Every read is checked: a bad file yields a message, never a mesh.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "morph/error.h"

namespace view {

enum class MeshFormat { threeDV, threeDVTemplate, obj, vtp };

struct Mesh {
  std::vector<std::array<float, 3>> points;  // positions, in file order
  std::vector<std::array<int, 3>> faces;     // corners as 0-based indices into points
  // What a snapshot carries beside the shape; empty or unset for 3DV, template and OBJ files.
  std::vector<std::array<unsigned char, 3>> levels{};  // red, green, blue morphogen level per point
  std::optional<std::array<int, 3>> thresholds{};      // red, green, blue thresholds at the snapshot
  std::optional<long long> cycle{};                    // growth cycle of the snapshot
  // The rest of a snapshot's story, read only when asked for (loadMesh's `history`):
  std::vector<unsigned char> pending{};                // per point: 1 for a T-junction (pending mid-point)
  std::vector<int> born{};                             // per point: the growth cycle it was born in
  std::vector<int> age{};                              // per triangle, when every polygon is one
  std::optional<long long> seed{};                     // morphseed's seed
  std::optional<std::array<int, 3>> lifeSpans{}, secretors{};  // red, green, blue episode state
};

// Outcome of a read: a mesh, or the message "<file>: <what is wrong>" and its kind (open,
// read, or malformed for what the format does not allow).
struct MeshLoad {
  Mesh mesh;
  std::string error;
  morph::failure kind = morph::failure::malformed;
  bool ok() const { return error.empty(); }
};

// Largest counts a file may declare or hold; far beyond anything the programs write.
inline constexpr long long maxPoints = 1LL << 24;
inline constexpr long long maxFaces = 1LL << 25;
// Larger files are refused before they are read into memory.
inline constexpr long long maxFileBytes = 1LL << 30;

// ".obj" (any case) is OBJ, ".vtp" (any case) a VTK PolyData snapshot, a name ending in
// "3dvTemplate" a template, anything else 3DV.
MeshFormat formatForName(const std::string& path);
// The names --format accepts: "3dv", "template", "obj", "vtp".
bool parseFormatName(const std::string& name, MeshFormat& format);

// Parses file contents already in memory; `name` only labels the messages.
// `history`: a snapshot's history arrays and fields are read too.
MeshLoad parseMesh(const std::string& text, MeshFormat format, const std::string& name, bool history = false);
MeshLoad loadMesh(const std::string& path, MeshFormat format, bool history = false);

}  // namespace view
