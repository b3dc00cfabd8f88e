// One picture of the store in time: the surface, its morphogen levels and growth history,
// and the facts of the run, as a VTK XML PolyData file (.vtp) that ParaView opens.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "embryostate.h"
#include "outfile.h"

// How a snapshot's arrays are compressed. Either way the decompressed arrays are the same.
struct snapshotCoding {
  // The zlib level of the blocks zlib compresses (the float arrays are coded apart, see
  // deflateBytesAlone). Higher levels save little size at several times the cost (the
  // benchmark compares them); the programs keep 1.
  int level = 1;
  // Whether each array is coded the way that suits its contents (the programs' choice:
  // runs, matches, or the bytes alone for reals), or every array by zlib's plain LZ77 (for
  // the benchmark's comparison).
  bool tuned = true;
};

// Compresses `size` bytes into `out` as a zlib stream of one deflate block whose Huffman
// code covers the byte values alone, without matches: for reals, whose bytes repeat as
// strings too rarely to pay for a search, it gives about zlib's size several times faster.
void deflateBytesAlone(const unsigned char* data, std::size_t size, std::vector<unsigned char>& out);

// One field-data array of a single tuple: a run parameter or the seed (Int32), or a fact
// of the run told as text (a String array, when `text` is set).
struct snapshotField {
  std::string name;                                // as the sweep definition names it, or "seed"
  std::vector<int> values;                         // its components
  std::optional<std::string> text = std::nullopt;  // written instead of the values
};

// The normals recalcNorms would write, computed into copies so that a snapshot taken
// mid-run leaves the store untouched.
struct surfaceNormals {
  std::vector<morph::vector> vertices;  // numVertices of them
  std::vector<morph::vector> faces;     // one per triangle, in list order
};
surfaceNormals computeNormals(const Embryo& e);

// Writes the store to `path` (complete or absent): points unscaled, triangles in list order,
// the per-vertex `born` cycles (missing entries count as 0), `cycle`, `parameters` and the
// episode state of the three colours as field data. Raises runError (failure::write) if the
// file cannot be written. `sweep` as for OutputFile.
void writeSnapshot(const Embryo& e, const std::string& path, int cycle, const std::vector<int>& born,
                   const std::vector<snapshotField>& parameters, const snapshotCoding& coding = {},
                   TemporarySweep sweep = TemporarySweep::thisFile);
