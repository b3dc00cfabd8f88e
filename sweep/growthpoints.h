// Growth sweeps: points that are morphseed calls, one embryo each, under chosen seeds, cycle
// counts and episode values. A manifest line of one reads
//   morphseed -s SEED -b 1 CYCLES --seed-file FILE [--episodes LIST]
// and names its result "embryo.<seed><episode tag>.3dv" in the folder it runs in. What the
// tools read of any manifest line, morphsweep's or morphseed's, is here too: its parameters
// by the names a definition gives them, and the input file it reads.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "episodechoice.h"

namespace plan {

struct GrowthPoint {
  long long seed = 0;
  long long cycles = 1;
  std::string seedFile;
  EpisodeChoices episodes;
};

// Whether a manifest line is a morphseed call (its first word after the program is -s).
bool isGrowthLine(const std::vector<std::string>& words);

// The words of a growth point: `program` and the flags above.
std::vector<std::string> growthWords(const std::string& program, const GrowthPoint& point);

// Reads a growth line; the reason when it is not one this format writes.
std::optional<std::string> readGrowthLine(const std::vector<std::string>& words, GrowthPoint& out);

std::string growthResultName(const GrowthPoint& point);

// Every parameter a line sets, named as a definition names it and in the table's order,
// with its word as the line gives it (an episode value morphseed draws: "drawn"). For a
// morphsweep line: the fourteen numbers and the input template; for a morphseed line:
// growthCycles, the nine episode values and seed. The line must be one resultName accepts.
std::vector<std::pair<std::string, std::string>> lineParameters(const std::vector<std::string>& words);

// The input a line reads: morphsweep's template, morphseed's seed file.
std::string lineInput(const std::vector<std::string>& words);

}  // namespace plan
