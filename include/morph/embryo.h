// The morph library: grow embryos, closed triangulated surfaces on which three morphogens
// diffuse, split their triangles and relax, exactly as the morphseed and morphsweep programs
// do, from C++. Any number of embryos may live in one process and grow at once in
// different threads. Every failure is a morph::error carrying the message and the exit
// status the programs would end with.
#pragma once

#include <array>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class Embryo;

namespace morph {

// A failed load, write or growth step; status() is the programs' exit status for it
// (1 command line, 2 input or output file, 3 capacity or memory).
class error : public std::runtime_error {
 public:
  error(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
  int status() const noexcept { return status_; }

 private:
  int status_;
};

// One morphogen's episode as morphsweep's command line gives it.
struct episode {
  short lifespan = 40;
  unsigned char threshold = 120;
  short secretor = -1;
};

// morphsweep's run parameters beyond the template.
struct sweepSettings {
  episode red, green, blue;
  int repulsion = 0;   // the value after -kr
  int attraction = 0;  // the value after -kh
};

class embryo {
 public:
  // morphseed's embryo: the seed icosahedron read from `seedFile` and the random numbers of
  // srand(seed). `previous`, when given, hands on the secretors and thresholds it left, as
  // a batch's next embryo starts.
  static embryo fromSeed(const std::string& seedFile, unsigned seed, const embryo* previous = nullptr);
  // morphsweep's embryo: a 3DV template and the point's settings.
  static embryo fromTemplate(const std::string& templateFile, const sweepSettings& settings);

  embryo(const embryo& other);  // a deep, independent copy
  embryo& operator=(const embryo& other);
  embryo(embryo&&) noexcept;
  embryo& operator=(embryo&&) noexcept;
  ~embryo();

  // Grows `cycles` growth cycles, each exactly one of the programs' cycles.
  void grow(int cycles = 1);
  // Writes by the file's ending: .3dv, .3dvTemplate, .obj or .vtp, with the normals
  // computed afresh, as the programs write their results. The embryo itself is never
  // changed: morphsweep's rescaling applies to what is written (3DV, OBJ, template alike).
  void write(const std::string& path) const;

  unsigned cycle() const;
  std::vector<std::array<float, 3>> positions() const;
  std::vector<std::array<int, 3>> triangles() const;  // in the list's order
  std::vector<std::array<unsigned char, 3>> levels() const;  // red, green, blue per vertex

  // The model's object, for code built with the core's own headers.
  const Embryo& model() const { return *embryo_; }
  Embryo& model() { return *embryo_; }

 private:
  explicit embryo(std::unique_ptr<Embryo> e, std::string input = "");
  std::unique_ptr<Embryo> embryo_;
  std::string input_;  // the template's name, which the OBJ header names
};

}  // namespace morph
