// Arbitrary bytes as a template: the loader must refuse them with a message and an empty
// store, or accept them into a store that every later step can trust.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "fuzz_check.h"
#include "templateload.h"

namespace {

constexpr const char* fileName = "fuzz.3dvTemplate";

void checkAccepted() {
  fuzzCheck(numVertices >= 1 && numVertices <= maxIndexableVertices && numVertices <= variant::vertexCapacity,
            "accepted vertex count out of range");
  fuzzCheck(numTriangles >= 1 && numInitialTriangles == numTriangles, "accepted triangle count");
  // Neighbour and parent indices live, the list sound; the file's pending mid-points keep
  // their parents without entries.
  fuzzCheckStore(PendingMidpoints::parentsOnly);
  for (int i = 0; i < numVertices; ++i) {
    const vertex_struct& v = vertex[i];
    fuzzCheck(v.numDependents == 0 && v.maxDependents == 0, "dependent counts kept from the file");
    fuzzCheck(v.hormoneR == 0 && v.hormoneG == 0 && v.hormoneB == 0, "hormone levels kept");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  clearStore();
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  if (const auto error = loadTemplate(in, fileName)) {
    fuzzCheck(error->rfind(std::string(fileName) + ": ", 0) == 0, "message does not name the file");
    fuzzCheck(numVertices == 0 && numTriangles == 0 && !headTriangle && !tailTriangle,
              "a refused template left a store behind");
  } else {
    checkAccepted();
  }
  clearStore();
  return 0;
}
