#include "pointnames.h"

#include <cstdio>
#include <cstring>
#include <limits>

#include "rules.h"
#include "signalling.h"

namespace {

// Everything after the input name. kr. carries the -kh value and kh. the -kr value: the
// crossing belongs to the name format and is not a slip.
std::string nameSuffix(const SweepPoint& point, short redLifeSpan, const char* ending) {
  const auto format = [&](char* buffer, std::size_t size) {
    return std::snprintf(buffer, size, ".n%d.m%d.r%d.%d.%d.g.%d.%d.%d.b.%d.%d.%d.kr.%d.kh.%d%s", point.growthCycles,
                         point.modificationCount, redLifeSpan, point.thresholdR, point.secretorR, point.lifeSpanG,
                         point.thresholdG, point.secretorG, point.lifeSpanB, point.thresholdB, point.secretorB,
                         point.kh, point.kr, ending);
  };
  const int length = format(nullptr, 0);
  if (length < 0) return {};
  std::string suffix(static_cast<std::size_t>(length), '\0');
  format(suffix.data(), suffix.size() + 1);
  return suffix;
}

std::string inputOf(const SweepPoint& point) { return point.input ? point.input : ""; }

long long longestNameLength(const SweepPoint& point, const char* ending) {
  // No value of the red lifespan is wider than the most negative one.
  const short red = point.lifeSpanR > 0 ? point.lifeSpanR : std::numeric_limits<short>::min();
  const long long input = point.input ? static_cast<long long>(std::strlen(point.input)) : 0;
  return input + static_cast<long long>(nameSuffix(point, red, ending).size());
}

}  // namespace

std::string outputName(const SweepPoint& point, short redLifeSpan, const char* ending) {
  return inputOf(point) + nameSuffix(point, redLifeSpan, ending);
}

long long longestOutputNameLength(const SweepPoint& point) {
  return longestNameLength(point, point.templateSwitch ? ".3dvTemplate" : ".3dv");
}

long long longestSnapshotNameLength(const SweepPoint& point) {
  return longestNameLength(point, (".c" + std::to_string(point.growthCycles) + ".vtp").c_str());
}

short finalRedLifespan(const SweepPoint& point, long long triangles) {
  static_assert(!sweepRules.randomEpisodes, "a drawn episode cannot be foreseen in a name");
  const bool bigEnough = triangles > episodeMinTriangles || !sweepRules.redEpisodeNeedsSize;
  short red = point.lifeSpanR;
  for (int j = 0; j < point.growthCycles && red <= 0 && bigEnough; ++j) {
    const short renewed = renewedRedLifespan(red, point.thresholdR);
    if (renewed == red) break;  // a fixed point: every later renewal keeps it
    red = renewed;
  }
  return red;
}
