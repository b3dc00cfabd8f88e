// morphsweep-plan: expands a sweep definition into a manifest of morphsweep calls, one line
// per point, and lists the result files the points of a manifest write.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <new>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "fail.h"
#include "growthpoints.h"
#include "io/boundedread.h"
#include "parameters.h"
#include "plan.h"
#include "resultname.h"
#include "shellwords.h"
#include "version.h"

namespace {

constexpr const char* toolName = "morphsweep-plan";

constexpr const char* usage =
    "usage: morphsweep-plan [--program PATH] DEFINITION > MANIFEST\n"
    "       morphsweep-plan --results|--points MANIFEST\n"
    "  --program PATH  the morphsweep each line calls (default: the one built beside this tool)\n"
    "  --results       print the 3DV result name of every line of MANIFEST\n"
    "  --points        print, tab-separated, the result name and the values of the swept parameters\n"
    "                  (those that vary across MANIFEST, named as in a definition) of every line,\n"
    "                  after a header line: result and the parameters' names\n";

// --help: the usage, every option, the definition format and an example (the parameters
// and the example from the run parameters' table); refusals keep the usage above.
constexpr const char* helpHead =
    "usage: morphsweep-plan [--program PATH] DEFINITION > MANIFEST\n"
    "       morphsweep-plan --results|--points|--inputs MANIFEST\n"
    "       morphsweep-plan --parameters | --help | --version\n"
    "\n"
    "Expands a sweep definition into a manifest: one morphsweep call per point, one per line,\n"
    "every combination of the values given, the later parameters varying faster.\n"
    "  --program PATH  the morphsweep each line calls (default: the one built beside this tool)\n"
    "  --results       print the 3DV result name of every line of MANIFEST\n"
    "  --points        print, tab-separated, the result name and the values of the swept parameters\n"
    "                  (those that vary across MANIFEST, named as in a definition) of every line,\n"
    "                  after a header line: result and the parameters' names\n"
    "  --inputs        print each input template MANIFEST names, once, in order of appearance\n"
    "  --parameters    print, tab-separated, every run parameter of both programs: its words on\n"
    "                  each command line, its range, what it can change in each, its meaning\n"
    "  --help          this text\n"
    "  --version       the release and the commit built\n"
    "  --              the word after it is the file, even one beginning with '-'\n"
    "\n"
    "The definition: one line per morphsweep parameter, 'name = values'; '#' starts a comment\n"
    "(the first comment line titles the sweep's report), blank lines are skipped, and every\n"
    "parameter is given once:\n";

constexpr const char* helpMiddle =
    "Values are a comma-separated list; a number may be a range start:stop:step (6:18:6 is\n"
    "6, 12, 18). A value listed twice is refused; file names hold no comma, '#' or control\n"
    "character. Every input template must exist when the sweep is planned: plan it in the\n"
    "folder it will run in. A sweep that varies no parameter that can change the shape in\n"
    "morphsweep (repulsion, attraction, growthCycles, the input template) is planned with a\n"
    "warning on standard error.\n"
    "\n"
    "Example: a definition of three cycle counts by three repulsions, expanded to 9 lines:\n"
    "  # embryo 1001 under three repulsion strengths\n";

constexpr const char* helpTail =
    "then: morphsweep-plan day/sweep.def > day/manifest\n"
    "\n"
    "A growth sweep grows embryos with morphseed instead: its definition says 'program =\n"
    "morphseed' and gives seed and growthCycles, and any of the nine episode values\n"
    "(redLifespan ... blueSecretor) that new episodes then take instead of their draws; an\n"
    "optional seedFile names the seed surface (default indexed_icosa). Each point is one\n"
    "embryo, 'morphseed -s SEED -b 1 CYCLES --seed-file FILE --episodes ...', its result\n"
    "embryo.<seed>.<chosen values>.3dv; the seeds vary fastest. For example:\n"
    "  program        = morphseed\n"
    "  seed           = 1000\n"
    "  growthCycles   = 30\n"
    "  redThreshold   = 30, 50, 70\n"
    "  greenThreshold = 51, 65, 80\n"
    "\n"
    "Exit status: 0 done; 1 command line refused; 2 a file is missing or malformed (the\n"
    "message names its line); 3 out of memory.\n";

// A definition's parameters in its own order: the input template, then the numbers.
std::vector<const Parameter*> definitionRows() {
  std::vector<const Parameter*> rows{findParameter(plan::inputName)};
  rows.insert(rows.end(), plan::numbers().begin(), plan::numbers().end());
  return rows;
}

std::string helpText() {
  std::string text = helpHead;
  char line[256];
  for (const Parameter* p : definitionRows()) {
    std::snprintf(line, sizeof line, "  %-18s %-17s %s\n", std::string(p->name).c_str(), sweepPlacement(*p).c_str(),
                  rangeText(*p).c_str());
    text += line;
  }
  text += helpMiddle;
  for (const Parameter* p : definitionRows()) {
    std::snprintf(line, sizeof line, "  %-17s = %s\n", std::string(p->name).c_str(), std::string(p->example).c_str());
    text += line;
  }
  return text + helpTail;
}

int refuse(const std::string& problem) {
  std::fprintf(stderr, "%s: %s\n%s", toolName, plan::printable(problem).c_str(), usage);
  return exitBadCommandLine;
}

int badFile(const std::string& problem) {
  std::fprintf(stderr, "%s: %s\n", toolName, plan::printable(problem).c_str());
  return exitBadFile;
}

// The morphsweep built in the same folder (a growth sweep's morphseed there or in the
// build's morphseed/ beside it), by absolute path, so that a manifest runs from any folder
// and on any machine that sees the build at the same place.
std::string defaultProgram(const std::string& name) {
  std::vector<char> self(4096);
  const ssize_t n = readlink("/proc/self/exe", self.data(), self.size() - 1);
  if (n > 0) {
    const std::string path(self.data(), static_cast<std::size_t>(n));
    const std::size_t slash = path.rfind('/');
    if (slash != std::string::npos) {
      const std::string folder = path.substr(0, slash + 1);
      for (const std::string& candidate : {folder + name, folder + "../" + name + "/" + name}) {
        if (access(candidate.c_str(), X_OK) == 0) return std::filesystem::path(candidate).lexically_normal().string();
      }
    }
  }
  return name;
}

int finishOutput() {
  std::cout.flush();
  if (!std::cout) return badFile("cannot write to standard output");
  return 0;
}

// A named pipe or device is refused before anything waits on it.
std::optional<std::string> readInput(const std::string& path, std::string& text) {
  const io::BoundedRead file = io::readBounded(path, 1LL << 30);
  switch (file.fault) {
    case io::ReadFault::none:
      text = file.bytes;
      return std::nullopt;
    case io::ReadFault::cannotOpen:
      return path + ": cannot open: " + std::strerror(file.error);
    case io::ReadFault::folder:
      return path + ": is a folder";
    case io::ReadFault::notRegular:
      return path + ": is not a regular file";
    case io::ReadFault::tooLarge:
      return path + ": is too large";
    case io::ReadFault::cannotRead:
      break;
  }
  return path + ": cannot read";
}

int expand(const std::string& definition, const std::string& givenProgram) {
  std::string text;
  if (const auto problem = readInput(definition, text)) return badFile(*problem);
  std::istringstream in(text);
  plan::Definition d;
  if (const auto problem = plan::parseDefinition(in, definition, d)) return badFile(*problem);
  if (const auto problem = plan::checkInputs(d, definition)) return badFile(*problem);
  if (const auto warning = plan::shapeWarning(d)) std::fprintf(stderr, "%s: warning: %s\n", toolName, warning->c_str());
  const std::string program =
      !givenProgram.empty() ? givenProgram : defaultProgram(d.growth ? "morphseed" : "morphsweep");
  plan::writeManifest(d, program, std::cout);
  return finishOutput();
}

// --parameters: the whole table, one row per parameter.
int printParameters() {
  std::cout << "name\tmorphsweep\tmorphseed\trange\tin morphsweep\tin morphseed\tmeaning\n";
  for (const Parameter& p : runParameters) {
    std::cout << p.name << '\t' << sweepPlacement(p) << '\t' << p.seedWords << '\t'
              << rangeText(p) << '\t' << effectText(p.inSweep) << '\t'
              << effectText(p.inSeed) << '\t' << p.unit << '\n';
  }
  return finishOutput();
}

enum class Listing { results, points, inputs };

int results(const std::string& manifest, Listing listing) {
  const bool withValues = listing == Listing::points;
  std::string text;
  if (const auto problem = readInput(manifest, text)) return badFile(*problem);
  std::istringstream in(text);
  std::string line;
  std::vector<std::string> names;
  std::vector<std::vector<std::string>> lines;
  for (int number = 1; std::getline(in, line); ++number) {
    const auto fault = [&](const std::string& text) {
      return badFile(manifest + ":" + std::to_string(number) + ": " + text);
    };
    std::vector<std::string> words;
    if (const auto problem = plan::splitShellWords(line, words)) return fault(*problem);
    if (words.empty()) return fault("the line is empty");
    std::string name;
    if (const auto problem = plan::resultName(words, name)) return fault(*problem);
    // A tab would split a column of --points; no name a definition gives holds one.
    if (withValues && line.find('\t') != std::string::npos)
      return fault("a tab in the line; quote no tabs in a manifest");
    // A line's values are named by its program's parameters, so one manifest calls one.
    if (withValues && !lines.empty() && plan::isGrowthLine(words) != plan::isGrowthLine(lines.front()))
      return fault("a morphsweep and a morphseed point in one manifest; plan each program's sweep apart");
    names.push_back(name);
    if (withValues || listing == Listing::inputs) lines.push_back(std::move(words));
  }
  if (in.bad()) return badFile(manifest + ": cannot read");
  if (withValues) {
    // The swept parameters are those whose words vary from line to line, in table order.
    std::vector<std::vector<std::pair<std::string, std::string>>> values;
    for (const auto& words : lines) values.push_back(plan::lineParameters(words));
    std::vector<std::size_t> swept;
    for (std::size_t k = 0; k < values.front().size(); ++k) {
      for (const auto& line : values) {
        if (line[k] != values.front()[k]) {
          swept.push_back(k);
          break;
        }
      }
    }
    std::cout << "result";
    for (const std::size_t k : swept) std::cout << '\t' << values.front()[k].first;
    std::cout << '\n';
    for (std::size_t i = 0; i < names.size(); ++i) {
      std::cout << names[i];
      for (const std::size_t k : swept) std::cout << '\t' << values[i][k].second;
      std::cout << '\n';
    }
    return finishOutput();
  }
  if (listing == Listing::inputs) {
    // Each input file once, in the order the lines first name it.
    std::vector<std::string> inputs;
    for (const auto& words : lines) {
      const std::string input = plan::lineInput(words);
      if (std::find(inputs.begin(), inputs.end(), input) == inputs.end()) inputs.push_back(input);
    }
    for (const std::string& input : inputs) std::cout << input << '\n';
    return finishOutput();
  }
  // Nothing is printed unless every line is sound: a script may run the manifest after this.
  for (const std::string& name : names) std::cout << name << '\n';
  return finishOutput();
}

int run(int argc, char** argv) {
  std::string program;
  bool programGiven = false;
  bool listResults = false, listPoints = false, listInputs = false;
  std::vector<std::string> files;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (optionsEnded) {
      files.push_back(word);
    } else if (word == "--") {
      // What follows is a file, even a name that begins with '-'.
      optionsEnded = true;
    } else if (word == "--program") {
      if (i + 1 >= argc) return refuse("--program needs a path");
      program = argv[++i];
      if (program.empty()) return refuse("--program needs a path");
      programGiven = true;
    } else if (word == "--results") {
      listResults = true;
    } else if (word == "--points") {
      listPoints = true;
    } else if (word == "--inputs") {
      listInputs = true;
    } else if (word == "-h" || word == "--help") {
      return printInfo(helpText());
    } else if (word == "--version") {
      return printInfo(versionText(toolName));
    } else if (word == "--parameters" && argc == 2) {
      return printParameters();
    } else if (word.size() > 1 && word[0] == '-') {
      return refuse("unknown option '" + word + "'");
    } else {
      files.push_back(word);
    }
  }
  if (listResults && listPoints) return refuse("--results and --points exclude each other");
  if (listInputs && (listResults || listPoints)) return refuse("--inputs goes alone, without --results or --points");
  if (files.size() != 1)
    return refuse(listResults || listPoints || listInputs ? "give one manifest" : "give one sweep definition");
  if (listResults && programGiven) return refuse("--program has no meaning with --results");
  if (listPoints && programGiven) return refuse("--program has no meaning with --points");
  if (listInputs && programGiven) return refuse("--program has no meaning with --inputs");
  if (listInputs) return results(files[0], Listing::inputs);
  if (listResults || listPoints) return results(files[0], listPoints ? Listing::points : Listing::results);
  return expand(files[0], programGiven ? program : "");
}

}  // namespace

int main(int argc, char** argv) {
  setProgramName("morphsweep-plan");
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory\n", toolName);
    return exitStoreOverflow;
  }
}
