// One whole simulation: the vertex store and triangle list, the episode state of the three
// morphogens, the cycle count, the scale and force state, and its own random numbers.
// Every step of the model takes the embryo it works on, so any number of embryos may live
// in one process and grow at once in different threads.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "buildchecks.h"
#include "episodechoice.h"
#include "mesh.h"
#include "random.h"
#include "rules.h"
#include "growthsettings.h"

// How close pairs are found; automatic takes the grid when the mesh is wide compared with
// the cut-off.
enum class pairSearch { automatic, allPairs, grid };
// The vector unit of the pair kernel; automatic takes the widest this processor has.
enum class vectorUnit { automatic, scalar, avx2, avx512 };
// How the kernels form each pair's three quotients where the step's values allow either:
// three divisions, or one division and an exact correction per quotient. Both give the
// same bits; automatic times both on the first large steps and keeps the faster.
enum class quotientForm { automatic, divided, corrected };

struct forceSettings;
struct forceField;

// Choices that tests and the benchmark force; the programs keep the defaults.
struct fastForceOptions {
  pairSearch search = pairSearch::automatic;
  vectorUnit unit = vectorUnit::automatic;
  quotientForm quotients = quotientForm::automatic;
  bool reference = false;  // forces() takes the plain all-pairs step instead
  // When set, the fast step sums pairs with this instead: the benchmark's previous kernel.
  void (*pairSum)(const forceSettings& settings, forceField& field, const class Embryo& embryo) = nullptr;
};

// What the last fast pair sum did.
struct fastForceRun {
  bool grid = false;                     // the grid found the candidates
  vectorUnit unit = vectorUnit::scalar;  // the kernel that summed them
  long long candidatePairs = 0;          // (i, k) pairs tested against the cut-off
  bool corrected = false;                // quotients by one division and a correction
};

// Where the model's notices go ("Vertex array is full.", ...): one call per line as the
// programs print it, newline included. Standard error unless the user says otherwise.
using messageSink = std::function<void(const std::string& text)>;
void standardErrorSink(const std::string& text);
// Where the model's own output lines go ("Hormone Grew!"): standard output by default.
void standardOutputSink(const std::string& text);

// The relaxation kernel's choices and scratch (thread choice, quotient trials, buffers):
// timing state of one embryo's steps, started afresh in a copy.
struct kernelState;
struct kernelStateDeleter {
  void operator()(kernelState* state) const;
};

// The running maximum of the rescaling 3DV writer: the largest |coordinate| it has met in
// this embryo. Never reset for an embryo, so a second write gives the same bytes.
struct rescalingWriter {
  float largest = 0;
};

class Embryo {
 public:
  // An empty store of `capacity` slots (0: the rules' own) with the rules' start counts,
  // its episodes and force factors as `settings` give them; everything else at its start
  // value. Creating an embryo is the one reset.
  Embryo(const modelRules& rules, const GrowthSettings& settings, int capacity = 0);
  explicit Embryo(const modelRules& rules, int capacity = 0) : Embryo(rules, startingSettings(rules), capacity) {}
  ~Embryo();
  Embryo(const Embryo& other);
  Embryo& operator=(const Embryo& other);
  Embryo(Embryo&& other) noexcept;
  Embryo& operator=(Embryo&& other) noexcept;

  // Makes this embryo equal to `other` (same rules and capacity) at the cost of the slots in
  // use, not of the whole array: copies the slots below either's numVertices and the next
  // one (which a step that failed may have begun to fill), the triangle list (reusing this
  // one's pieces) and the state; keeps the sinks and the kernel's scratch. Right only where
  // every slot above those is as a fresh embryo has it in both, as in embryos loaded once:
  // what lets a growing embryo keep its last whole cycle to go back to.
  void copyInUse(const Embryo& other);

  const modelRules& rules() const { return *rules_; }
  int capacity() const { return static_cast<int>(vertex.size()); }

  // The vertex slot at `index`. Checked builds stop at an index outside the array; in
  // Release this is plain indexing.
  vertex_struct& vertexAt(long long index) {
    if constexpr (checkedIndexing) {
      if (index < 0 || index >= capacity()) indexFault(index);
    }
    return vertex[static_cast<std::size_t>(index)];
  }
  const vertex_struct& vertexAt(long long index) const { return const_cast<Embryo*>(this)->vertexAt(index); }

  // Frees every triangle and leaves an empty list with no vertices and no triangles. The
  // vertex slots keep what they hold (their dependent arrays stay owned); a load refills
  // them from index 0.
  void clearStore();

  // The settings a batch's next embryo is made with: the secretors, thresholds and force
  // factors this one leaves, no episode running.
  GrowthSettings handOver() const;
  // The episodes as they stand and the force factors.
  GrowthSettings settings() const { return {red, green, blue, forces}; }

  // Prints one notice line through the sink.
  void notice(const std::string& text) const { sink(text); }
  // Prints one line of the model's output through the output sink.
  void output(const std::string& text) const { outputSink(text); }

  std::vector<vertex_struct> vertex;
  triangle* headTriangle = nullptr;
  triangle* tailTriangle = nullptr;
  int numTriangles = 0;
  int numVertices = 0;
  // Triangle count of the loaded input; the sweep's forces measure length against it.
  int numInitialTriangles = 0;
  // Cycles begun in this embryo; read by the relaxation step.
  unsigned int totalCycles = 0;

  // Episode state, started from the settings and renewed by each colour's episodes.
  Morphogen red, green, blue;
  // Values chosen for new episodes (none: all drawn) and a rule asked as each begins.
  EpisodeChoices chosenEpisodes;
  episodeRule episodeHook;
  // Colours whose chosen secretor has named no live vertex in this embryo (said once).
  std::array<bool, 3> secretorNoticed{};

  // Written by every relaxation step: (numTriangles / reference count) ^ 0.75.
  float lengthScale = 1;
  // The force factors the embryo was made with; a caller may change them between cycles.
  ForceFactors forces;
  rescalingWriter writer;

  randomSource random;
  fastForceOptions forceOptions;
  fastForceRun lastFastForces;
  messageSink sink = standardErrorSink;
  messageSink outputSink = standardOutputSink;

  // The kernel's own state, made on the first fast step.
  kernelState& kernel();

 private:
  [[noreturn]] void indexFault(long long index) const;
  void freeTriangles();
  void freeDependentArrays();
  void copyFrom(const Embryo& other);
  void takeFrom(Embryo& other) noexcept;
  // Everything but the store's memory, the sinks and the kernel's scratch.
  void copyState(const Embryo& other);

  const modelRules* rules_;
  std::unique_ptr<kernelState, kernelStateDeleter> kernel_;
};

// Reports a state a sound store never reaches, "<program>: store check failed: <what>",
// and aborts (validate builds only).
[[noreturn]] void storeStateFault(const Embryo& e, const char* what);

// Where the code tolerates a state that a sound store never reaches (a count past the
// array, an index that names no live vertex, a list shorter than its count), a validate
// build stops there and names it; other builds go on with the tolerant value, as always.
inline void expectSound(const Embryo& e, bool sound, const char* what) {
  if constexpr (validateBuild) {
    if (!sound) storeStateFault(e, what);
  }
}
