// The public library header's embryo, over the core's own.
#include "morph/embryo.h"

#include <string_view>

#include "embryo.h"
#include "failure.h"
#include "growth.h"
#include "meshio.h"
#include "normals.h"
#include "seedfile.h"
#include "snapshot.h"
#include "templateload.h"

namespace morph {

namespace {

// Runs a core step, turning its error into the library's.
template <class Step>
auto guarded(Step&& step) {
  try {
    return step();
  } catch (const runError& e) {
    throw error(e.status(), e.what());
  }
}

bool endsWith(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

}  // namespace

embryo::embryo(std::unique_ptr<Embryo> e, std::string input) : embryo_(std::move(e)), input_(std::move(input)) {}
embryo::embryo(const embryo& other) : embryo_(std::make_unique<Embryo>(*other.embryo_)), input_(other.input_) {}
embryo& embryo::operator=(const embryo& other) {
  if (this != &other) {
    embryo_ = std::make_unique<Embryo>(*other.embryo_);
    input_ = other.input_;
  }
  return *this;
}
embryo::embryo(embryo&&) noexcept = default;
embryo& embryo::operator=(embryo&&) noexcept = default;
embryo::~embryo() = default;

embryo embryo::fromSeed(const std::string& seedFile, unsigned seed, const embryo* previous) {
  auto e = std::make_unique<Embryo>(seedRules);
  if (previous) e->takeEpisodes(previous->embryo_->episodes());
  e->random.seed(seed);
  guarded([&] { readSeedIntoStructs(*e, seedFile.c_str()); });
  return embryo(std::move(e));
}

embryo embryo::fromTemplate(const std::string& templateFile, const sweepSettings& s) {
  auto e = std::make_unique<Embryo>(sweepRules);
  guarded([&] { readIntoStructs(*e, templateFile.c_str()); });
  e->lifeSpanR = s.red.lifespan;
  e->thresholdR = s.red.threshold;
  e->secretorR = s.red.secretor;
  e->lifeSpanG = s.green.lifespan;
  e->thresholdG = s.green.threshold;
  e->secretorG = s.green.secretor;
  e->lifeSpanB = s.blue.lifespan;
  e->thresholdB = s.blue.threshold;
  e->secretorB = s.blue.secretor;
  e->attractionFactor = s.attraction;
  e->repulsionFactor = s.repulsion;
  return embryo(std::move(e), templateFile);
}

void embryo::grow(int cycles) {
  guarded([&] {
    for (int c = 0; c < cycles; ++c) growthCycle(*embryo_);
  });
}

void embryo::write(const std::string& path) const {
  // A copy takes the fresh normals and any rescaling, so the embryo stays as it is.
  Embryo written(*embryo_);
  guarded([&] {
    recalcNorms(written);
    const bool mesh = !endsWith(path, ".vtp");
    // The 3DV writer rescales by itself; the others show the mesh as morphsweep's 3DV left it.
    if (mesh && !endsWith(path, ".3dv") && written.rules().rescaleOnWrite) rescaleByLargest(written);
    if (endsWith(path, ".3dvTemplate")) {
      writeTemplate(written, path.c_str());
    } else if (endsWith(path, ".3dv")) {
      write3DV(written, path.c_str());
    } else if (endsWith(path, ".obj")) {
      writeOBJ(written, path.c_str(), input_.c_str());
    } else if (endsWith(path, ".vtp")) {
      writeSnapshot(written, path, static_cast<int>(written.totalCycles), {}, {});
    } else {
      throw runError(exitBadCommandLine, "'" + path + "': no format for this ending (.3dv, .3dvTemplate, .obj, .vtp)");
    }
  });
}

unsigned embryo::cycle() const { return embryo_->totalCycles; }

std::vector<std::array<float, 3>> embryo::positions() const {
  std::vector<std::array<float, 3>> p;
  for (int i = 0; i < embryo_->numVertices; ++i) {
    const vertex_struct& v = embryo_->vertexAt(i);
    p.push_back({v.x, v.y, v.z});
  }
  return p;
}

std::vector<std::array<int, 3>> embryo::triangles() const {
  std::vector<std::array<int, 3>> t;
  for (const triangle* f = embryo_->headTriangle; f; f = f->next) t.push_back({f->v[0], f->v[1], f->v[2]});
  return t;
}

std::vector<std::array<unsigned char, 3>> embryo::levels() const {
  std::vector<std::array<unsigned char, 3>> l;
  for (int i = 0; i < embryo_->numVertices; ++i) {
    const vertex_struct& v = embryo_->vertexAt(i);
    l.push_back({v.hormoneR, v.hormoneG, v.hormoneB});
  }
  return l;
}

}  // namespace morph
