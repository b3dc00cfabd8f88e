// Arbitrary bytes as a template: the loader must refuse them with a message and an empty
// store, or accept them into a store that every later step can trust.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "templateload.h"

namespace {

// The embryo every input is loaded into.
Embryo E(sweepRules);

constexpr const char* fileName = "fuzz.3dvTemplate";

void checkAccepted() {
  fuzzCheck(E.numVertices >= 1 && E.numVertices <= maxIndexableVertices && E.numVertices <= E.capacity(),
            "accepted vertex count out of range");
  fuzzCheck(E.numTriangles >= 1 && E.numInitialTriangles == E.numTriangles, "accepted triangle count");
  // Neighbour and parent indices live, the list sound; the file's pending mid-points keep
  // their parents without entries.
  fuzzCheckStore(E, PendingMidpoints::parentsOnly);
  for (int i = 0; i < E.numVertices; ++i) {
    const vertex_struct& v = E.vertex[i];
    fuzzCheck(v.numDependents == 0 && v.maxDependents == 0, "dependent counts kept from the file");
    fuzzCheck(v.hormoneR == 0 && v.hormoneG == 0 && v.hormoneB == 0, "hormone levels kept");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  E.clearStore();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  if (const auto error = loadTemplate(E, in, fileName)) {
    fuzzCheck(error->rfind(std::string(fileName) + ": ", 0) == 0, "message does not name the file");
    fuzzCheck(E.numVertices == 0 && E.numTriangles == 0 && !E.headTriangle && !E.tailTriangle,
              "a refused template left a store behind");
  } else {
    checkAccepted();
  }
  E.clearStore();
  return 0;
}
