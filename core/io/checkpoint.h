// A run's checkpoint: everything the rest of a run depends on, so that a run stopped and
// resumed from it writes the very bytes the unbroken run writes. The whole embryo (every
// vertex slot in use with its lists, the triangle list in its order, the episode, scale and
// force state, the random generator), the command line the run was started with, where the
// run stands (embryo, seed, cycles done) and its snapshot series.
//
// The file is written in plain little-endian words, with a CRC-32 of everything before it
// at the end, and is replaced as a whole (temporary, flush to disk, rename).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "embryostate.h"
#include "outfile.h"

// Raised by the format version whenever the layout below changes.
inline constexpr std::uint32_t checkpointFormatVersion = 1;

// Where a run stands when its checkpoint is taken, and what it was started with.
struct checkpointRun {
  std::string program;             // the rules' program name
  std::string release;             // the build's release
  std::vector<std::string> words;  // the command line after the program's name, checkpoint words left out
  int embryoNumber = 1;            // the embryo growing, from 1
  int seed = 0;                    // its seed
  int previousSeed = 0;            // the seed of the embryo before it (0 for the first)
  int cyclesDone = 0;              // growth cycles of this embryo done
  // The snapshot series, when the run writes one: per vertex the cycle it was born in, and
  // the cycles written so far (the .pvd's entries).
  bool series = false;
  std::vector<int> born;
  std::vector<int> written;
};

// The bytes of a checkpoint of `e` at `run`.
std::vector<unsigned char> encodeCheckpoint(const Embryo& e, const checkpointRun& run);

// Writes the checkpoint to `path`, complete or not at all; raises runError (failure::write)
// when it cannot. `sweep` as for OutputFile.
void writeCheckpoint(const std::string& path, const Embryo& e, const checkpointRun& run,
                     TemporarySweep sweep = TemporarySweep::thisFile);

// Reads `bytes` (of the file `name`) into `e`, an embryo made with the rules of the program
// that resumes, and returns where the run stood. A file that is truncated or corrupted, of
// another format version, program or release, or whose store is not sound raises
// runError(failure::malformed, "<name>: <what is wrong>") and leaves `e` as it found it.
checkpointRun decodeCheckpoint(const std::vector<unsigned char>& bytes, const std::string& name, Embryo& e);

// The same for the file at `path`.
checkpointRun readCheckpoint(const std::string& path, Embryo& e);

// The bytes of the checkpoint file at `path`; raises runError (failure::open or
// failure::read) when it cannot be read (missing, a folder, a pipe, larger than any checkpoint).
std::vector<unsigned char> readCheckpointBytes(const std::string& path);

// The program a checkpoint was written by, so that a reader can make the embryo with its
// rules before decoding; "" when the bytes hold no readable name (decoding then says why).
std::string checkpointProgram(const std::vector<unsigned char>& bytes);

// CRC-32 (zlib's) of `size` bytes.
std::uint32_t checkpointChecksum(const unsigned char* data, std::size_t size);
