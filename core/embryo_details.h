// What a morph::embryo knows beside its model: the cycle each vertex was born in (the store
// keeps no such thing), the seed and settings it was made with, the copy of its last whole
// cycle that a cycle which does not finish goes back to, and a file loaded for inspection.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "embryostate.h"
#include "io/meshread.h"
#include "morph/embryo.h"

struct morph::embryo::details {
  std::vector<int> born;                  // per vertex, as a snapshot series records it
  std::optional<unsigned> seed;           // morphseed's
  std::optional<sweepSettings> settings;  // morphsweep's, force factors as now in force
  std::string broken;                     // why growth cannot go on; "" while it can
  // A file loaded for inspection: no model, the surface as morphstats reads it.
  std::optional<view::Mesh> loaded;
  std::string loadedFrom;
  bool loadedTemplate = false;
  // The model after its last whole cycle, kept between cycles so its memory is reused; a
  // copy of the embryo starts without one.
  std::unique_ptr<Embryo> lastWhole;

  details() = default;
  details(const details& other)
      : born(other.born),
        seed(other.seed),
        settings(other.settings),
        broken(other.broken),
        loaded(other.loaded),
        loadedFrom(other.loadedFrom),
        loadedTemplate(other.loadedTemplate) {}
};

namespace morph {
// Loads the template at `path` as morphsweep's loader does, the file read whole through
// the bounded reader (a named pipe or a device is refused, never waited on); a refused
// file raises runError.
void loadTemplateFile(Embryo& e, const std::string& path);
}  // namespace morph
