#include "outputnames.h"

#include <cstring>

#include "commandline.h"
#include "failure.h"
#include "outnames.h"
#include "signalling.h"

namespace {

// Copies the name into a result buffer; the caller has made sure that it fits.
void store(char (&buffer)[outNameSize], const std::string& name) { std::memcpy(buffer, name.c_str(), name.size() + 1); }

}  // namespace

std::string outputName(const char* ending) { return outputName(currentSweepPoint(), lifeSpanR, ending); }

long long longestOutputNameLength() { return longestOutputNameLength(currentSweepPoint()); }

long long longestSnapshotNameLength() { return longestSnapshotNameLength(currentSweepPoint()); }

short finalRedLifespan(long long triangles) {
  lifeSpanR = finalRedLifespan(currentSweepPoint(), triangles);
  return lifeSpanR;
}

std::string snapshotStem(const Embryo& e) {
  const SweepPoint point = currentSweepPoint();
  return outputName(point, finalRedLifespan(point, e.numTriangles), "");
}

void formOutputNames() {
  const char* endings[] = {".obj", ".3dv", ".3dvTemplate"};
  char(*buffers[])[outNameSize] = {&outName_objFile, &outName_3dvFile, &outName_3dvTemplateFile};
  const int count = writeTemplateFile ? 3 : 2;
  for (int i = 0; i < count; ++i) {
    const std::string name = outputName(endings[i]);
    if (name.size() >= static_cast<std::size_t>(outNameSize)) {
      throw runError(failure::commandLine, "output name '" + name + "' is too long: " + std::to_string(name.size()) +
                                               " characters, at most " + std::to_string(outNameSize - 1) + " fit");
    }
    store(*buffers[i], name);
  }
}
