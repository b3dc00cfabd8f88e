#include "outputnames.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "commandline.h"
#include "failure.h"
#include "meshio.h"
#include "signalling.h"
#include "variant.h"

namespace {

// Everything after the input name. kr. carries kh_input and kh. carries kr_input: the
// crossing belongs to the name format and is not a slip.
std::string nameSuffix(short redLifeSpan, const char* ending) {
  const auto format = [&](char* buffer, std::size_t size) {
    return std::snprintf(buffer, size, ".n%d.m%d.r%d.%d.%d.g.%d.%d.%d.b.%d.%d.%d.kr.%d.kh.%d%s",
                         numGrowthCycles, modificationCount, redLifeSpan, thresholdR, secretorR,
                         lifeSpanG, thresholdG, secretorG, lifeSpanB, thresholdB, secretorB,
                         kh_input, kr_input, ending);
  };
  const int length = format(nullptr, 0);
  if (length < 0) return {};
  std::string suffix(static_cast<std::size_t>(length), '\0');
  format(suffix.data(), suffix.size() + 1);
  return suffix;
}

long long longestNameLength(const char* ending) {
  // No value of the red lifespan is wider than the most negative one.
  const short red = lifeSpanR > 0 ? lifeSpanR : std::numeric_limits<short>::min();
  const long long input = inputFile ? static_cast<long long>(std::strlen(inputFile)) : 0;
  return input + static_cast<long long>(nameSuffix(red, ending).size());
}

// Copies the name into a result buffer; the caller has made sure that it fits.
void store(char (&buffer)[outNameSize], const std::string& name) {
  std::memcpy(buffer, name.c_str(), name.size() + 1);
}

}  // namespace

std::string outputName(const char* ending) {
  return std::string(inputFile ? inputFile : "") + nameSuffix(lifeSpanR, ending);
}

long long longestOutputNameLength() {
  return longestNameLength(writeTemplateFile ? ".3dvTemplate" : ".3dv");
}

long long longestSnapshotNameLength() {
  return longestNameLength((".c" + std::to_string(numGrowthCycles) + ".vtp").c_str());
}

short finalRedLifespan(long long triangles) {
  const bool bigEnough = triangles > episodeMinTriangles || !variant::redEpisodeNeedsSize;
  for (int j = 0; j < numGrowthCycles && lifeSpanR <= 0 && bigEnough; ++j) {
    const short before = lifeSpanR;
    newEpisodeR();
    if (lifeSpanR == before) break;  // a fixed point: every later renewal keeps it
  }
  return lifeSpanR;
}

std::string snapshotStem() {
  const short given = lifeSpanR;
  const short last = finalRedLifespan(numTriangles);
  lifeSpanR = given;
  return std::string(inputFile ? inputFile : "") + nameSuffix(last, "");
}

void formOutputNames() {
  const char* endings[] = {".obj", ".3dv", ".3dvTemplate"};
  char(*buffers[])[outNameSize] = {&outName_objFile, &outName_3dvFile, &outName_3dvTemplateFile};
  const int count = writeTemplateFile ? 3 : 2;
  for (int i = 0; i < count; ++i) {
    const std::string name = outputName(endings[i]);
    if (name.size() >= static_cast<std::size_t>(outNameSize)) {
      fail(exitBadCommandLine, "output name '" + name + "' is too long: " +
                                   std::to_string(name.size()) + " characters, at most " +
                                   std::to_string(outNameSize - 1) + " fit");
    }
    store(*buffers[i], name);
  }
}
