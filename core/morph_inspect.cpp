// The library's embryo as the tools see it: files loaded for inspection, and morphstats'
// measures. Apart from the core, since it needs the tools' readers (morph_io, morph_measure).
#include "embryostate.h"
#include "embryo_details.h"
#include "failure.h"
#include "io/meshread.h"
#include "measure/measures.h"
#include "measure/table.h"
#include "morph/embryo.h"

namespace morph {

embryo embryo::load(const std::string& path, const std::string& formatName) {
  const bool checkpoint = formatName.empty() ? path.size() >= 5 && path.compare(path.size() - 5, 5, ".ckpt") == 0
                                             : formatName == "checkpoint";
  if (checkpoint) return fromCheckpoint(path);
  view::MeshFormat format = view::formatForName(path);
  if (!formatName.empty() && !view::parseFormatName(formatName, format)) {
    throw error(failure::commandLine, exitBadCommandLine,
                "unknown format '" + formatName + "' (3dv, template, obj, vtp, checkpoint)");
  }
  std::vector<unsigned char> pending;
  if (format == view::MeshFormat::threeDVTemplate) {
    // The template loader, with morphsweep's checks and messages, knows the pending mid-points.
    Embryo loaded(sweepRules);
    loaded.sink = [](const std::string&) {};
    try {
      loadTemplateFile(loaded, path);
    } catch (const runError& e) {
      throw error(e.kind(), e.status(), e.what());
    }
    for (int i = 0; i < loaded.numVertices; ++i) pending.push_back(isDependent(loaded.vertexAt(i)) ? 1 : 0);
  }
  view::MeshLoad read = view::loadMesh(path, format, true);
  if (!read.ok()) {
    // The reader's hint names morphstats' option; here the format is an argument.
    const std::size_t hint = read.error.find("use --format ");
    if (hint != std::string::npos) {
      const std::size_t end = read.error.find(')', hint);
      const std::string name = read.error.substr(hint + 13, end - hint - 13);
      read.error.replace(hint, end - hint, "load it with the format '" + name + "'");
    }
    throw error(read.kind, exitBadFile, read.error);
  }
  if (format == view::MeshFormat::threeDVTemplate) read.mesh.pending = std::move(pending);
  embryo made(nullptr);
  made.details_->loaded = std::move(read.mesh);
  made.details_->loadedFrom = path;
  made.details_->loadedTemplate = format == view::MeshFormat::threeDVTemplate;
  return made;
}

std::vector<std::pair<std::string, double>> embryo::measures() const {
  view::Mesh surface;
  const view::Mesh* mesh = details_->loaded ? &*details_->loaded : &surface;
  if (!details_->loaded) {
    surface.points = positions();
    surface.faces = triangles();
    surface.levels = levels();
    const Embryo& e = *embryo_;
    surface.thresholds = std::array<int, 3>{e.red.threshold, e.green.threshold, e.blue.threshold};
  }
  const std::vector<double> values = stats::measureValues(stats::measure(*mesh));
  const std::vector<std::string>& names = stats::measureColumns();
  std::vector<std::pair<std::string, double>> named;
  for (std::size_t k = 0; k < names.size() && k < values.size(); ++k) named.emplace_back(names[k], values[k]);
  return named;
}

}  // namespace morph
