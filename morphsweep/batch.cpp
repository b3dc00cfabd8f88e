#include "batch.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "clockseed.h"
#include "commandline.h"
#include "failure.h"
#include "growth.h"
#include "mechanics.h"
#include "meshio.h"
#include "signalling.h"

namespace {

constexpr int cyclesPerDot = 10;

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

long long inputNameLength() { return inputFile ? static_cast<long long>(std::strlen(inputFile)) : 0; }

// Copies the name into a result buffer; the caller has made sure that it fits.
void store(char (&buffer)[outNameSize], const std::string& name) {
  std::memcpy(buffer, name.c_str(), name.size() + 1);
}

}  // namespace

std::string outputName(const char* ending) {
  return std::string(inputFile ? inputFile : "") + nameSuffix(lifeSpanR, ending);
}

long long longestOutputNameLength() {
  // No value of the red lifespan is wider than the most negative one.
  const short red = lifeSpanR > 0 ? lifeSpanR : std::numeric_limits<short>::min();
  const char* ending = writeTemplateFile ? ".3dvTemplate" : ".3dv";
  return inputNameLength() + static_cast<long long>(nameSuffix(red, ending).size());
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

void growEmbryo() {
  readIntoStructs();
  attractionFactor = kh_input;
  repulsionFactor = kr_input;
  std::printf("attractionFactor %d\n", attractionFactor);
  std::printf("repulsionFactor %d\n", repulsionFactor);
  totalCycles = 0;
  for (int j = 0; j < numGrowthCycles; ++j) {
    if (j % cyclesPerDot == 0) std::fputc('.', stderr);
    growthCycle();
  }
  recalcNorms();
  formOutputNames();
  // write3DV rescales the store in place, so the OBJ and template show the rescaled mesh.
  write3DV();
  writeOBJ();
  std::fprintf(stderr, "done\n");
}

void batchRun() {
  int seed = 0;
  int previousSeed = 0;
  for (int e = 1; e <= batches; ++e) {
    std::fprintf(stderr, "Embryo %d\n", e);
    seed = waitForNewSecond(previousSeed);
    std::srand(static_cast<unsigned>(seed));
    growEmbryo();
    previousSeed = seed;
  }
  std::fflush(stdout);
  std::exit(0);
}
