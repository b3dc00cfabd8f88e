// The morph library: grow embryos, closed triangulated surfaces on which three morphogens
// diffuse, split their triangles and relax, exactly as the morphseed and morphsweep programs
// do, from C++. Any number of embryos may live in one process and grow at once in
// different threads (in a child made by fork, the thread that forked grows on one thread:
// the OpenMP runtime's threads do not survive a fork; the numbers are the same). Every
// failure is a morph::error carrying its kind, the message and the exit status the programs
// would end with (error.h), memory running out included.
#pragma once

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "error.h"
#include "settings.h"

class Embryo;

namespace morph {

// Where an embryo's messages go, one call per line, newline included: the model's notices
// ("Vertex array is full.") and its output lines ("Hormone Grew!"). An unset one prints as
// the programs do, on standard error and standard output.
struct messageSinks {
  std::function<void(const std::string& line)> notices;
  std::function<void(const std::string& line)> output;
};

// One morphogen's episode, and morphsweep's run parameters beyond the template: the
// settings an embryo is made with.
using episode = Morphogen;
using sweepSettings = GrowthSettings;

class embryo {
 public:
  // Input files are read whole and must be regular files (a named pipe is refused, never
  // waited on).
  // morphseed's embryo: the seed icosahedron read from `seedFile` and the random numbers of
  // srand(seed). `previous`, when given, hands on the secretors and thresholds it left, as
  // a batch's next embryo starts.
  static embryo fromSeed(const std::string& seedFile, unsigned seed, const embryo* previous = nullptr,
                         const messageSinks& sinks = {});
  // morphsweep's embryo: a 3DV template and the point's settings.
  static embryo fromTemplate(const std::string& templateFile, const sweepSettings& settings,
                             const messageSinks& sinks = {});
  // A file to look at: a 3DV result, a template, an OBJ file or a .vtp snapshot, read as
  // morphstats reads it. Such an embryo can be read, measured and copied, but not grown or
  // written: a result lacks the neighbour lists and episode state growth needs (a template
  // grows through fromTemplate). `format` ("3dv", "template", "obj" or "vtp") reads a file
  // whose name does not tell. Defined in the morph_inspect library.
  static embryo load(const std::string& path, const std::string& format = "");
  // The embryo a program's checkpoint (--checkpoint) holds, ready to grow the cycles its run
  // had left: growing them and writing gives the files the unbroken run writes. Of this
  // release only. load() takes a .ckpt file (or the format "checkpoint") here too.
  static embryo fromCheckpoint(const std::string& path, const messageSinks& sinks = {});

  embryo(const embryo& other);  // a deep, independent copy
  embryo& operator=(const embryo& other);
  embryo(embryo&&) noexcept;
  embryo& operator=(embryo&&) noexcept;
  ~embryo();

  // Grows `cycles` growth cycles, each exactly one of the programs' cycles. A cycle that
  // does not finish (an error, or `stop` answering true, which it is asked before every
  // relaxation step) leaves the embryo as it was after the last whole cycle, and grow
  // throws (morph::stopped for a stop).
  void grow(int cycles = 1, const std::function<bool()>& stop = {});
  // Writes by the file's ending: .3dv, .3dvTemplate, .obj or .vtp, with the normals
  // computed afresh, as the programs write their results. The embryo itself is never
  // changed: morphsweep's rescaling applies to what is written (3DV, OBJ, template alike).
  void write(const std::string& path) const;

  // morphsweep's force factors for the cycles to come (a morphseed embryo has none).
  void setForces(int repulsion, int attraction);
  void setSinks(const messageSinks& sinks);

  // Why the embryo cannot grow ("" when it can): loaded from a file, or broken by a failure.
  std::string notGrowable() const;
  // "morphseed" or "morphsweep", whose cycles it grows; "" for a loaded file.
  std::string program() const;
  // The growth cycles so far; for a loaded file the cycle it records, or 0 (cycleKnown()).
  unsigned cycle() const;
  bool cycleKnown() const;
  std::optional<unsigned> seed() const;             // morphseed's seed
  std::optional<sweepSettings> settings() const;    // morphsweep's, as now in force
  std::optional<std::array<episode, 3>> episodes() const;  // red, green, blue as they stand

  // The surface. The per-vertex and per-triangle histories are empty where a loaded file
  // does not hold them (a 3DV or OBJ file holds none).
  std::vector<std::array<float, 3>> positions() const;
  std::vector<std::array<int, 3>> triangles() const;  // in the list's order
  std::vector<std::array<unsigned char, 3>> levels() const;  // red, green, blue per vertex
  std::vector<unsigned char> tJunctions() const;      // 1 for a pending mid-point
  std::vector<int> birthCycles() const;               // the cycle each vertex was born in (0: loaded)
  std::vector<unsigned short> triangleAges() const;   // growth steps each triangle survived

  // morphstats' measures of the surface, by its column names in its order, NaN where one
  // does not exist: the numbers morphstats gives for the embryo's snapshot (.vtp), which
  // holds the positions exactly. Defined in the morph_inspect library.
  std::vector<std::pair<std::string, double>> measures() const;

  // The model's object, for code built with the core's own headers; a loaded file has none
  // (a morph::error).
  const Embryo& model() const;
  Embryo& model();

 private:
  struct details;  // what the embryo knows beside its model (core/embryo_details.h)
  explicit embryo(std::unique_ptr<Embryo> e, std::string input = "");
  std::unique_ptr<Embryo> embryo_;
  std::string input_;  // the template's name, which the OBJ header names
  std::unique_ptr<details> details_;
};

}  // namespace morph
