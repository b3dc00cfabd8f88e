#include "resultname.h"

#include <cctype>
#include <sstream>
#include <utility>

#include "parameters.h"

#include "growthpoints.h"
#include "io/boundedread.h"
#include "pointnames.h"
#include "sweepwords.h"

namespace plan {

namespace {

// The triangle count a template declares, or nothing if the file cannot tell.
std::optional<long long> templateTriangles(const std::string& path) {
  // Only the head is read, and a named pipe or device tells nothing instead of blocking.
  std::istringstream in(io::readHead(path, 4096).bytes);
  long long vertices = 0, triangles = 0;
  if (!(in >> vertices >> triangles)) return std::nullopt;
  return triangles;
}

}  // namespace

std::optional<std::string> resultName(const std::vector<std::string>& words, std::string& name) {
  if (isGrowthLine(words)) {
    GrowthPoint point;
    if (auto problem = readGrowthLine(words, point)) return problem;
    name = growthResultName(point);
    return std::nullopt;
  }
  constexpr std::size_t expectedWords = 24;
  if (words.size() != expectedWords) {
    return std::to_string(words.size()) + " words where a morphsweep call has " + std::to_string(expectedWords);
  }
  // The flag positions, checked here so that a faulty line gets a message naming the word.
  for (const Parameter& p : runParameters) {
    if (p.sweepFlag.empty() || !p.number()) continue;
    // morphsweep looks at two characters only: "-n", "-N", "-nx" all pass.
    const std::size_t at = sweepWordOf(p.name) - 1;
    const char letter = p.sweepFlag[1];
    const std::string& w = words[at];
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (w.size() < 2 || w[0] != '-' || (w[1] != letter && w[1] != upper)) {
      return "word " + std::to_string(at) + " is '" + w + "' where morphsweep expects a flag -" +
             std::string(1, letter) + "...";
    }
  }
  std::vector<std::string> copies = words;
  std::vector<char*> argv;
  for (std::string& w : copies) argv.push_back(w.data());
  argv.push_back(nullptr);
  SweepRun run;
  if (readCommandLine(static_cast<int>(expectedWords), argv.data(), run) != 0) {
    return std::string("morphsweep refuses this call");
  }
  const auto triangles = templateTriangles(run.input);
  name = outputName(run, triangles ? finalRedLifespan(run, *triangles) : run.settings().red.lifespan, ".3dv");
  return std::nullopt;
}

}  // namespace plan
