// The public library header's embryo, over the core's own.
#include "morph/embryo.h"

#include <omp.h>
#include <pthread.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <sstream>
#include <string_view>

#include "checkpoint.h"
#include "embryostate.h"
#include "embryo_details.h"
#include "episodewords.h"
#include "failure.h"
#include "growth.h"
#include "io/boundedread.h"
#include "meshio.h"
#include "normals.h"
#include "parameters.h"
#include "seedfile.h"
#include "snapshot.h"
#include "templateload.h"
#include "version.h"

namespace morph {

namespace {

// Runs a core step, turning its error, and memory running out, into the library's.
template <class Step>
auto guarded(Step&& step) {
  try {
    return step();
  } catch (const runError& e) {
    throw error(e.kind(), e.status(), e.what());
  } catch (const std::bad_alloc&) {
    throw error(failure::memory, exitStoreOverflow, "out of memory");
  }
}

// The OpenMP runtime's threads do not survive a fork, and the runtime would wait for them
// for ever at the child's first parallel region: there the thread that forked (the only
// one) grows on one thread, which gives the same numbers. Threads started in the child
// make teams of their own.
void oneThreadAfterFork() { omp_set_num_threads(1); }

void watchForks() {
  static const int registered = pthread_atfork(nullptr, nullptr, oneThreadAfterFork);
  (void)registered;
}

// An input file read whole through the bounded reader, so that a named pipe or a device is
// refused at once instead of blocking the open or the first read; `kind` names the file.
std::string inputBytes(const std::string& path, const std::string& kind, long long maxBytes) {
  io::BoundedRead file = io::readBounded(path, maxBytes);
  switch (file.fault) {
    case io::ReadFault::none:
      return std::move(file.bytes);
    case io::ReadFault::cannotOpen:
      throw runError(failure::open, path + ": cannot open: " + std::strerror(file.error));
    case io::ReadFault::folder:
      throw runError(failure::open, path + ": is a folder, not a " + kind + " file");
    case io::ReadFault::notRegular:
      throw runError(failure::open, path + ": is not a regular file");
    case io::ReadFault::tooLarge:
      throw runError(failure::malformed, path + ": is " + std::to_string(file.size) + " bytes, more than the " +
                                             std::to_string(maxBytes) + " a " + kind + " file may have");
    case io::ReadFault::cannotRead:
      break;
  }
  throw runError(failure::read, path + ": cannot read the whole file" +
                                     (file.error ? std::string(": ") + std::strerror(file.error) : ""));
}

// A seed is 12 vertices and 20 faces, about 2 KB; a template as large as the tools read.
constexpr long long maxSeedBytes = 1LL << 20;
constexpr long long maxTemplateBytes = 1LL << 30;

void loadSeedFile(Embryo& e, const std::string& path) {
  std::string bytes = inputBytes(path, "seed", maxSeedBytes);
  const std::unique_ptr<FILE, int (*)(FILE*)> f(fmemopen(bytes.data(), bytes.size(), "r"), &std::fclose);
  if (!f) throw std::bad_alloc();
  if (const auto why = loadSeed(e, f.get(), path.c_str())) throw runError(failure::malformed, *why);
}

bool endsWith(std::string_view text, std::string_view ending) {
  return text.size() >= ending.size() && text.substr(text.size() - ending.size()) == ending;
}

void applySinks(Embryo& e, const messageSinks& sinks) {
  e.sink = sinks.notices ? messageSink(sinks.notices) : messageSink(standardErrorSink);
  e.outputSink = sinks.output ? messageSink(sinks.output) : messageSink(standardOutputSink);
}

// Vertices beyond the record were born in the embryo's current cycle; after a cycle was
// undone the record shrinks with the store.
void recordBirths(std::vector<int>& born, const Embryo& e) {
  born.resize(static_cast<std::size_t>(std::clamp(e.numVertices, 0, e.capacity())), static_cast<int>(e.totalCycles));
}

// The settings a snapshot of a sweep embryo records, named as in a sweep definition.
std::vector<snapshotField> sweepFields(const sweepSettings& s) {
  SweepValues values;
  values.settings = s;
  std::vector<snapshotField> fields;
  for (const Parameter& p : runParameters) {
    if (p.setting()) fields.push_back({std::string(p.name), {static_cast<int>(p.get(values))}});
  }
  return fields;
}

}  // namespace

void loadTemplateFile(Embryo& e, const std::string& path) {
  std::istringstream in(inputBytes(path, "template", maxTemplateBytes));
  if (const auto why = loadTemplate(e, in, path)) throw runError(failure::malformed, *why);
}

embryo::embryo(std::unique_ptr<Embryo> e, std::string input)
    : embryo_(std::move(e)), input_(std::move(input)), details_(std::make_unique<details>()) {
  if (embryo_) recordBirths(details_->born, *embryo_);
  watchForks();
}
embryo::embryo(const embryo& other)
    : embryo_(other.embryo_ ? std::make_unique<Embryo>(*other.embryo_) : nullptr),
      input_(other.input_),
      details_(std::make_unique<details>(*other.details_)) {}
embryo& embryo::operator=(const embryo& other) {
  if (this != &other) *this = embryo(other);
  return *this;
}
embryo::embryo(embryo&&) noexcept = default;
embryo& embryo::operator=(embryo&&) noexcept = default;
embryo::~embryo() = default;

embryo embryo::fromSeed(const std::string& seedFile, unsigned seed, const embryo* previous,
                        const messageSinks& sinks) {
  return guarded([&] {
    if (previous && previous->program() != seedRules.programName) {
      throw error(failure::commandLine, exitBadCommandLine, "a batch continues from a morphseed embryo, not from " +
                                          (previous->embryo_ ? previous->program() + "'s" : "a loaded file"));
    }
    auto e = std::make_unique<Embryo>(seedRules,
                                      previous ? previous->embryo_->handOver() : startingSettings(seedRules));
    applySinks(*e, sinks);
    e->random.seed(seed);
    loadSeedFile(*e, seedFile);
    embryo made(std::move(e));
    made.details_->seed = seed;
    return made;
  });
}

embryo embryo::fromTemplate(const std::string& templateFile, const sweepSettings& s, const messageSinks& sinks) {
  return guarded([&] {
    auto e = std::make_unique<Embryo>(sweepRules, s);
    applySinks(*e, sinks);
    loadTemplateFile(*e, templateFile);
    embryo made(std::move(e), templateFile);
    made.details_->settings = s;
    return made;
  });
}

embryo embryo::fromCheckpoint(const std::string& path, const messageSinks& sinks) {
  return guarded([&] {
    const std::vector<unsigned char> bytes = readCheckpointBytes(path);
    // The file names its program, whose rules (store size, cycle) the embryo needs; a name
    // that is neither is refused by the decoder as a checkpoint of another program.
    const bool sweep = checkpointProgram(bytes) == sweepRules.programName;
    auto e = std::make_unique<Embryo>(sweep ? sweepRules : seedRules);
    applySinks(*e, sinks);
    const checkpointRun run = decodeCheckpoint(bytes, path, *e);
    // Another release may grow other numbers from the same state, as the programs refuse it.
    if (run.release != morphVersion()) {
      throw runError(failure::malformed,
                     path + ": written by release " + run.release + ", this is release " + morphVersion());
    }
    // morphsweep's 23rd word is its template, which the OBJ header names.
    constexpr std::size_t templateWord = 22;
    std::string input = sweep && run.words.size() > templateWord ? run.words[templateWord] : "";
    embryo made(std::move(e), std::move(input));
    const Embryo& m = *made.embryo_;
    if (sweep) {
      made.details_->settings = m.settings();
    } else {
      made.details_->seed = static_cast<unsigned>(run.seed);
      // Episodes the run chose (its last --episodes, as its command line reads) stay chosen.
      for (std::size_t w = 0; w + 1 < run.words.size(); ++w) {
        std::string problem;
        if (run.words[w] != "--episodes") continue;
        if (const auto chosen = parseEpisodeChoices(run.words[w + 1], problem)) made.embryo_->chosenEpisodes = *chosen;
      }
    }
    // Birth cycles are kept only by a run that writes snapshots; without them all read 0.
    made.details_->born = run.series ? run.born : std::vector<int>(static_cast<std::size_t>(m.numVertices), 0);
    return made;
  });
}

void embryo::grow(int cycles, const std::function<bool()>& stop) {
  if (const std::string why = notGrowable(); !why.empty()) throw error(failure::commandLine, exitBadCommandLine, why);
  details& d = *details_;
  Embryo& e = *embryo_;
  for (int c = 0; c < cycles; ++c) {
    if (stop && stop()) throw stopped();
    try {
      if (!d.lastWhole) d.lastWhole = std::make_unique<Embryo>(e.rules(), e.capacity());
      d.lastWhole->copyInUse(e);
    } catch (...) {
      d.lastWhole.reset();  // half copied; the embryo itself is untouched
      guarded([] { throw; });
    }
    const auto undo = [&] {
      try {
        e.copyInUse(*d.lastWhole);
      } catch (...) {
        d.broken = "a growth cycle failed and the embryo could not be put back to its last whole cycle";
      }
      recordBirths(d.born, e);
    };
    try {
      growthCycle(e, stop);
    } catch (const growthStopped&) {
      undo();
      throw stopped();
    } catch (...) {
      undo();
      guarded([] { throw; });
    }
    recordBirths(d.born, e);
  }
}

void embryo::write(const std::string& path) const {
  if (details_->loaded) {
    throw error(failure::commandLine, exitBadCommandLine,
                "'" + details_->loadedFrom + "' was loaded for inspection only; it is not written");
  }
  if (!details_->broken.empty()) throw error(failure::commandLine, exitBadCommandLine, details_->broken);
  guarded([&] {
    // A copy takes the fresh normals and any rescaling, so the embryo stays as it is.
    Embryo written(*embryo_);
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
      std::vector<snapshotField> fields;
      if (details_->seed) fields.push_back({"seed", {static_cast<int>(*details_->seed)}});
      if (details_->settings) fields = sweepFields(*details_->settings);
      if (const std::string chosen = episodeChoicesText(written.chosenEpisodes); !chosen.empty()) {
        fields.push_back({"episodes", {}, chosen});
      }
      writeSnapshot(written, path, static_cast<int>(written.totalCycles), details_->born, fields);
    } else {
      throw runError(failure::commandLine,
                     "'" + path + "': no format for this ending (.3dv, .3dvTemplate, .obj, .vtp)");
    }
  });
}

void embryo::setForces(int repulsion, int attraction) {
  if (!embryo_ || !details_->settings) {
    throw error(failure::commandLine, exitBadCommandLine,
                "only a morphsweep embryo (from a template) has force factors");
  }
  embryo_->forces.repulsion = repulsion;
  embryo_->forces.attraction = attraction;
  details_->settings->forces = embryo_->forces;
}

void embryo::setSinks(const messageSinks& sinks) {
  if (embryo_) applySinks(*embryo_, sinks);
}

std::string embryo::notGrowable() const {
  if (details_->loaded) {
    const std::string what = "'" + details_->loadedFrom + "' was loaded for inspection only: ";
    if (details_->loadedTemplate)
      return what + "a template grows when started with a sweep point's settings, not when loaded";
    return what + "a result file lacks the neighbour lists and episode state growth needs; "
                  "grow from a seed or a template instead";
  }
  return details_->broken;
}

std::string embryo::program() const { return embryo_ ? embryo_->rules().programName : ""; }

unsigned embryo::cycle() const {
  if (embryo_) return embryo_->totalCycles;
  return static_cast<unsigned>(std::clamp<long long>(details_->loaded->cycle.value_or(0), 0, ~0u));
}

bool embryo::cycleKnown() const { return embryo_ || details_->loaded->cycle; }

std::optional<unsigned> embryo::seed() const {
  if (details_->loaded && details_->loaded->seed && *details_->loaded->seed >= 0)
    return static_cast<unsigned>(*details_->loaded->seed);
  return details_->seed;
}

std::optional<sweepSettings> embryo::settings() const { return details_->settings; }

std::optional<std::array<episode, 3>> embryo::episodes() const {
  if (embryo_) {
    const Embryo& e = *embryo_;
    return std::array<episode, 3>{e.red, e.green, e.blue};
  }
  const view::Mesh& m = *details_->loaded;
  if (!m.lifeSpans || !m.thresholds || !m.secretors) return std::nullopt;
  std::array<episode, 3> found;
  for (std::size_t k = 0; k < 3; ++k) {
    found[k] = {static_cast<short>((*m.lifeSpans)[k]), static_cast<unsigned char>((*m.thresholds)[k]),
                static_cast<short>((*m.secretors)[k])};
  }
  return found;
}

std::vector<std::array<float, 3>> embryo::positions() const {
  if (!embryo_) return details_->loaded->points;
  std::vector<std::array<float, 3>> p;
  for (int i = 0; i < embryo_->numVertices; ++i) {
    const vertex_struct& v = embryo_->vertexAt(i);
    p.push_back({v.x, v.y, v.z});
  }
  return p;
}

std::vector<std::array<int, 3>> embryo::triangles() const {
  if (!embryo_) return details_->loaded->faces;
  std::vector<std::array<int, 3>> t;
  for (const triangle* f = embryo_->headTriangle; f; f = f->next) t.push_back({f->v[0], f->v[1], f->v[2]});
  return t;
}

std::vector<std::array<unsigned char, 3>> embryo::levels() const {
  if (!embryo_) return details_->loaded->levels;
  std::vector<std::array<unsigned char, 3>> l;
  for (int i = 0; i < embryo_->numVertices; ++i) {
    const vertex_struct& v = embryo_->vertexAt(i);
    l.push_back({v.hormoneR, v.hormoneG, v.hormoneB});
  }
  return l;
}

std::vector<unsigned char> embryo::tJunctions() const {
  if (!embryo_) return details_->loaded->pending;
  std::vector<unsigned char> pending;
  for (int i = 0; i < embryo_->numVertices; ++i) pending.push_back(isDependent(embryo_->vertexAt(i)) ? 1 : 0);
  return pending;
}

std::vector<int> embryo::birthCycles() const { return embryo_ ? details_->born : details_->loaded->born; }

std::vector<unsigned short> embryo::triangleAges() const {
  std::vector<unsigned short> ages;
  if (!embryo_) {
    for (const int a : details_->loaded->age) ages.push_back(static_cast<unsigned short>(a));
    return ages;
  }
  for (const triangle* f = embryo_->headTriangle; f; f = f->next) ages.push_back(f->age);
  return ages;
}

const Embryo& embryo::model() const { return const_cast<embryo*>(this)->model(); }

Embryo& embryo::model() {
  if (!embryo_)
    throw error(failure::commandLine, exitBadCommandLine,
                "'" + details_->loadedFrom + "' was loaded for inspection and has no model");
  return *embryo_;
}

}  // namespace morph
