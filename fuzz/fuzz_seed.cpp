// Arbitrary bytes as the seed file: refused with a message and an empty store, or loaded
// as exactly the 12-vertex, 20-face seed with five live neighbours per vertex.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "fuzz_check.h"
#include "mesh.h"
#include "seedfile.h"

namespace {

// The embryo every input is loaded into.
Embryo E(seedRules);

constexpr const char* fileName = "fuzz_icosa";

void checkAccepted() {
  fuzzCheck(E.numVertices == 12 && E.numTriangles == 20, "seed counts");
  fuzzCheckStore(E, PendingMidpoints::listed);
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    fuzzCheck(v.numNeighbors == 5, "seed vertex without five neighbours");
    fuzzCheck(!isDependent(v), "seed vertex marked dependent");
    fuzzCheck(v.numDependents == 0 && v.maxDependents == 0, "seed vertex with dependents");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  E.clearStore();
  // fmemopen refuses an empty buffer, and an empty file is one of the inputs that matter.
  std::string text(reinterpret_cast<const char*>(data), size);
  FILE* f = size ? fmemopen(text.data(), size, "r") : std::fopen("/dev/null", "r");
  fuzzCheck(f != nullptr, "cannot open the input as a stream");
  const auto error = loadSeed(E, f, fileName);
  std::fclose(f);
  if (error) {
    fuzzCheck(error->rfind(std::string(fileName) + ": ", 0) == 0, "message does not name the file");
    fuzzCheck(E.numVertices == 0 && E.numTriangles == 0 && !E.headTriangle && !E.tailTriangle,
              "a refused seed left a store behind");
  } else {
    checkAccepted();
  }
  E.clearStore();
  return 0;
}
