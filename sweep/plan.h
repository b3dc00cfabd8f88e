// Sweep plans: a small definition file expands into a manifest, one complete morphsweep
// command line per point (quoted by shellwords.h; resultname.h names what a line writes).
#pragma once

#include <array>
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "parameters.h"

namespace plan {

// The fourteen numeric words of a morphsweep command line, in command-line order; the
// input template comes after them.
inline constexpr int numericCount = sweepNumberCount;

// Their rows of the run parameters' table.
constexpr const std::array<const Parameter*, numericCount>& numbers() { return sweepNumbers; }
inline constexpr std::string_view inputName = inputTemplateName;

// A sweep never expands to more points than this, so a slip in a range cannot flood a
// disk with command lines.
inline constexpr long long maxPoints = 1000000;

// Every value of every parameter, in the order given.
struct Definition {
  std::array<std::vector<long long>, numericCount> values;
  std::vector<std::string> inputs;
  int inputLine = 0;  // the line that lists the input templates
  // "program = morphseed": a growth sweep, whose points are morphseed calls (growthpoints.h)
  // over `seeds`, growthCycles and any of the nine episode values; the others stay empty.
  bool growth = false;
  std::vector<long long> seeds;
  std::string seedFile = "indexed_icosa";  // the seed surface every point grows from
  int seedFileLine = 0;                    // the line that names it; 0: the default
};

// Reads a definition; `source` names it in messages. On a fault returns
// "<source>:<line>: <fault>" (or "<source>: <fault>" when no line is to blame), leaving
// `out` half filled.
std::optional<std::string> parseDefinition(std::istream& in, const std::string& source, Definition& out);

// Every input template must be a file that can be opened, relative to the working folder;
// otherwise "<source>:<line>: inputTemplate: <fault>". Kept apart from parseDefinition,
// which reads the text alone.
std::optional<std::string> checkInputs(const Definition& d, const std::string& source);

// `text` with every control character and every byte outside ASCII shown as '?', so that
// a message cannot drive the terminal it is printed on.
std::string printable(std::string text);

// The number of points: the product of the value counts.
long long pointCount(const Definition& d);

// The words of point `index` (0-based): `program`, then the 23 words morphsweep takes.
// The later words vary faster, the input template fastest. A growth sweep's point is a
// morphseed call, its seed varying fastest.
std::vector<std::string> pointWords(const Definition& d, const std::string& program, long long index);

// When no parameter the definition varies can change the shape in its program, the warning
// that says so, naming each varied parameter and what it changes; otherwise nothing.
std::optional<std::string> shapeWarning(const Definition& d);

// One manifest line per point, each ending in "\n".
void writeManifest(const Definition& d, const std::string& program, std::ostream& out);

}  // namespace plan
