// Reading VTK XML PolyData files (.vtp), the snapshots the programs write, into a Mesh.
//
// Accepted: little-endian files with UInt32 or UInt64 block headers, zlib-compressed or
// not; each data array ascii, inline base64 ("binary") or appended (raw or base64);
// integer connectivity and offsets of any width; Float32 or Float64 points. One piece.
// Polygons of more than three corners are fanned into triangles from their first corner;
// vertex and line cells are not drawn; triangle strips are refused. The point arrays
// `red`, `green`, `blue` (UInt8, all three or none) become the mesh's levels; the field
// data `threshold` (three integers) and `cycle` its thresholds and cycle.
//
// Every count, offset, block size and index is checked against what the file declares
// and holds before it is used: a bad file gets a message, never a mesh.
#pragma once

#include <string>

#include "io/meshread.h"

namespace view {

// Parses a whole .vtp file held in memory; `name` only labels the messages. `history`
// reads the point arrays `pending` and `born`, the cell array `age` and the field data
// `seed`, `lifeSpan` and `secretor` too, each where the file has it.
MeshLoad parseVtp(const std::string& bytes, const std::string& name, bool history = false);

}  // namespace view
