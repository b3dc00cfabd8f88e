#include "growthpoints.h"

#include "episodewords.h"
#include "parameters.h"
#include "wholenumber.h"

namespace plan {

bool isGrowthLine(const std::vector<std::string>& words) { return words.size() > 1 && words[1] == "-s"; }

std::vector<std::string> growthWords(const std::string& program, const GrowthPoint& point) {
  std::vector<std::string> words{program,       "-s",          std::to_string(point.seed),
                                 "-b",          "1",           std::to_string(point.cycles),
                                 "--seed-file", point.seedFile};
  if (point.episodes.any()) words.insert(words.end(), {"--episodes", episodeChoicesText(point.episodes)});
  return words;
}

std::optional<std::string> readGrowthLine(const std::vector<std::string>& words, GrowthPoint& out) {
  out = GrowthPoint{};
  const std::string shape = "a morphseed point reads -s SEED -b 1 CYCLES --seed-file FILE [--episodes LIST]";
  std::size_t i = 1;
  const auto next = [&](const char* flag) { return i < words.size() && words[i] == flag && i + 1 < words.size(); };
  const Parameter& seedRow = *findParameter("seed");
  const Parameter& cycleRow = *findParameter("growthCycles");
  if (!next("-s")) return shape;
  const auto seed = parseWholeNumber(words[i + 1], seedRow.hi);
  if (!seed) return "the seed '" + words[i + 1] + "' is not a whole number from 0 to " + std::to_string(seedRow.hi);
  out.seed = *seed;
  i += 2;
  if (!next("-b") || i + 2 >= words.size() || words[i + 1] != "1") return shape;
  const auto cycles = parseWholeNumber(words[i + 2], cycleRow.hi);
  if (!cycles)
    return "the cycle count '" + words[i + 2] + "' is not a whole number from 0 to " + std::to_string(cycleRow.hi);
  out.cycles = *cycles;
  i += 3;
  if (!next("--seed-file") || words[i + 1].empty()) return shape;
  out.seedFile = words[i + 1];
  i += 2;
  if (next("--episodes")) {
    std::string problem;
    const auto choices = parseEpisodeChoices(words[i + 1], problem);
    if (!choices) return "--episodes: " + problem;
    out.episodes = *choices;
    i += 2;
  }
  if (i != words.size()) return shape;
  return std::nullopt;
}

std::string growthResultName(const GrowthPoint& point) {
  return "embryo." + std::to_string(point.seed) + episodeNameTag(point.episodes) + ".3dv";
}

std::vector<std::pair<std::string, std::string>> lineParameters(const std::vector<std::string>& words) {
  std::vector<std::pair<std::string, std::string>> out;
  if (!isGrowthLine(words)) {
    for (const Parameter* p : sweepNumbers) out.emplace_back(p->name, words.at(sweepWordOf(p->name)));
    out.emplace_back(inputTemplateName, words.at(sweepWordOf(inputTemplateName)));
    return out;
  }
  GrowthPoint point;
  readGrowthLine(words, point);
  out.emplace_back("growthCycles", std::to_string(point.cycles));
  for (int c = 0; c < 3; ++c) {
    for (int f = 0; f < 3; ++f) {
      const EpisodeField& field = episodeField(point.episodes, c, f);
      std::string value = "drawn";
      if (field.chosen)
        value = std::to_string(field.lo) + (field.lo == field.hi ? "" : ".." + std::to_string(field.hi));
      out.emplace_back(episodeParameterName(c, episodeFieldNames[f]), value);
    }
  }
  out.emplace_back("seed", std::to_string(point.seed));
  return out;
}

std::string lineInput(const std::vector<std::string>& words) {
  if (!isGrowthLine(words)) return words.at(sweepWordOf(inputTemplateName));
  GrowthPoint point;
  readGrowthLine(words, point);
  return point.seedFile;
}

}  // namespace plan
