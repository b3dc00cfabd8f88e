#include "plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <climits>
#include <limits>
#include <set>
#include <sstream>

#include "episodewords.h"
#include "growthpoints.h"
#include "shellwords.h"
#include "wholenumber.h"

namespace plan {

namespace {

std::string trim(const std::string& s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

std::vector<std::string> splitOn(const std::string& s, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t at = s.find(separator, start);
    parts.push_back(trim(s.substr(start, at == std::string::npos ? std::string::npos : at - start)));
    if (at == std::string::npos) return parts;
    start = at + 1;
  }
}

std::string range(const Parameter& p) { return std::to_string(p.lo) + ".." + std::to_string(p.hi); }

// One list item of a numeric parameter, a value or start:stop:step, appended to `values`.
std::optional<std::string> addItem(const Parameter& p, const std::string& item, std::vector<long long>& values,
                                   std::set<long long>& seen) {
  const std::vector<std::string> parts = splitOn(item, ':');
  if (parts.size() != 1 && parts.size() != 3) {
    return "'" + item + "' is neither a value nor a range start:stop:step";
  }
  std::array<long long, 3> n{};
  for (std::size_t k = 0; k < parts.size(); ++k) {
    // Past every parameter's limit a value is refused whatever it is.
    const auto value = parseWholeNumber(parts[k], static_cast<long long>(INT_MAX) + 1, Sign::allowed);
    if (!value) return "'" + parts[k] + "' is not a whole number";
    n[k] = *value;
  }
  const long long start = n[0];
  const long long stop = parts.size() == 3 ? n[1] : start;
  const long long step = parts.size() == 3 ? n[2] : 1;
  for (const long long v : {start, stop}) {
    if (v < p.lo || v > p.hi) return std::to_string(v) + " is outside " + range(p);
  }
  if (step < 1) return "the step of '" + item + "' must be 1 or more";
  if (start > stop) return "the range '" + item + "' starts past its stop";
  if ((stop - start) / step + 1 > maxPoints)
    return "the range '" + item + "' has more than " + std::to_string(maxPoints) + " values";
  for (long long v = start; v <= stop; v += step) {
    if (!seen.insert(v).second) return std::to_string(v) + " is listed twice";
    values.push_back(v);
    if (static_cast<long long>(values.size()) > maxPoints) return "more than " + std::to_string(maxPoints) + " values";
  }
  return std::nullopt;
}

std::optional<std::string> addInputs(const std::vector<std::string>& items, std::vector<std::string>& inputs) {
  std::set<std::string> seen;
  for (const std::string& name : items) {
    if (!seen.insert(name).second) return "'" + name + "' is listed twice";
    for (const char c : name) {
      if (std::iscntrl(static_cast<unsigned char>(c))) return "the name '" + name + "' holds a control character";
    }
    inputs.push_back(name);
  }
  return std::nullopt;
}

std::string knownNames() {
  std::string names;
  for (const Parameter* p : numbers()) names += std::string(p->name) + ", ";
  return names + std::string(inputName);
}

// Whether a definition's lines name morphseed as their program: known before any other
// line is read, since it decides which names are parameters. A malformed line is left to
// the reading proper.
bool namesMorphseed(const std::string& text) {
  std::istringstream in(text);
  std::string raw;
  while (std::getline(in, raw)) {
    const std::string line = trim(raw.substr(0, raw.find('#')));
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos && trim(line.substr(0, eq)) == "program")
      return trim(line.substr(eq + 1)) == "morphseed";
  }
  return false;
}

// A growth sweep's numbers: growthCycles and the episode values, which morphseed takes.
bool growthNumber(const Parameter& p) { return p.name == "growthCycles" || p.group == Group::morphogen; }

}  // namespace

std::optional<std::string> parseDefinition(std::istream& stream, const std::string& source, Definition& out) {
  out = Definition{};
  std::stringstream whole;
  whole << stream.rdbuf();
  if (stream.bad()) return source + ": cannot read the definition";
  const std::string text = whole.str();
  out.growth = namesMorphseed(text);
  std::istringstream in(text);
  constexpr int inputSlot = numericCount;
  std::array<int, numericCount + 1> givenOn{};  // line of each parameter, 0 while not given
  int programOn = 0, seedOn = 0;
  std::string raw;
  int lineNumber = 0;
  while (std::getline(in, raw)) {
    ++lineNumber;
    const auto fault = [&](const std::string& text) { return source + ":" + std::to_string(lineNumber) + ": " + text; };
    // An editor's invisible mark would otherwise show up as an unknown parameter name.
    if (lineNumber == 1 && raw.rfind("\xEF\xBB\xBF", 0) == 0) {
      return fault("the file starts with a UTF-8 byte-order mark; save it as plain text without one");
    }
    const std::string line = trim(raw.substr(0, raw.find('#')));
    if (line.empty()) continue;
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos) return fault("expected 'name = values', got '" + line + "'");
    const std::string name = trim(line.substr(0, eq));
    const std::string value = trim(line.substr(eq + 1));
    int slot = -1;
    for (int k = 0; k < numericCount; ++k) {
      if (name == numbers()[static_cast<std::size_t>(k)]->name) slot = k;
    }
    if (name == inputName) slot = inputSlot;
    if (name == "program") {
      if (programOn) return fault("program is given twice (first on line " + std::to_string(programOn) + ")");
      programOn = lineNumber;
      if (value != "morphsweep" && value != "morphseed")
        return fault("program is morphsweep or morphseed, not '" + value + "'");
      continue;
    }
    if (out.growth && (name == "seed" || name == "seedFile")) {
      int& given = name == "seed" ? seedOn : out.seedFileLine;
      if (given) return fault(name + " is given twice (first on line " + std::to_string(given) + ")");
      given = lineNumber;
      if (value.empty()) return fault(name + " has no value");
      if (name == "seedFile") {
        std::vector<std::string> one;
        if (const auto problem = addInputs(splitOn(value, ','), one)) return fault(name + ": " + *problem);
        if (one.size() != 1) return fault("seedFile names one file, the seed surface every point grows from");
        out.seedFile = one.front();
        continue;
      }
      std::set<long long> seen;
      for (const std::string& item : splitOn(value, ',')) {
        if (item.empty()) return fault(name + ": an item of the list is empty");
        if (const auto problem = addItem(*findParameter("seed"), item, out.seeds, seen))
          return fault(name + ": " + *problem);
      }
      continue;
    }
    if (out.growth && slot >= 0 && (slot == inputSlot || !growthNumber(*numbers()[static_cast<std::size_t>(slot)]))) {
      return fault(name +
                   " is not a parameter of a morphseed sweep (those are seed, growthCycles, seedFile and the "
                   "episode values redLifespan ... blueSecretor)");
    }
    if (slot < 0) return fault("unknown parameter '" + name + "' (known: " + knownNames() + ")");
    int& given = givenOn[static_cast<std::size_t>(slot)];
    if (given) return fault(name + " is given twice (first on line " + std::to_string(given) + ")");
    given = lineNumber;
    if (value.empty()) return fault(name + " has no value");
    const std::vector<std::string> items = splitOn(value, ',');
    for (const std::string& item : items) {
      if (item.empty()) return fault(name + ": an item of the list is empty");
    }
    if (slot == inputSlot) {
      out.inputLine = lineNumber;
      if (const auto problem = addInputs(items, out.inputs)) return fault(name + ": " + *problem);
      continue;
    }
    const Parameter& p = *numbers()[static_cast<std::size_t>(slot)];
    std::set<long long> seen;
    for (const std::string& item : items) {
      if (const auto problem = addItem(p, item, out.values[static_cast<std::size_t>(slot)], seen)) {
        return fault(name + ": " + *problem);
      }
    }
  }
  std::string missing;
  if (out.growth && !seedOn) missing = "seed";
  for (int k = 0; k <= numericCount; ++k) {
    if (givenOn[static_cast<std::size_t>(k)]) continue;
    // A growth sweep needs its cycles; an episode value it is not given stays drawn.
    if (out.growth && (k == inputSlot || numbers()[static_cast<std::size_t>(k)]->name != "growthCycles")) continue;
    missing += (missing.empty() ? "" : ", ") +
               std::string(k < numericCount ? numbers()[static_cast<std::size_t>(k)]->name : inputName);
  }
  if (!missing.empty()) return source + ": missing parameters: " + missing;
  if (pointCount(out) > maxPoints) return source + ": the sweep has more than " + std::to_string(maxPoints) + " points";
  return std::nullopt;
}

std::optional<std::string> checkInputs(const Definition& d, const std::string& source) {
  const std::vector<std::string> seedFile{d.seedFile};
  for (const std::string& name : d.growth ? seedFile : d.inputs) {
    const auto fault = [&](const std::string& text) {
      if (d.growth) {
        return (d.seedFileLine ? source + ":" + std::to_string(d.seedFileLine) : source) + ": seedFile: '" + name +
               "' " + text + (d.seedFileLine ? "" : " (the default; give seedFile = PATH)");
      }
      return source + ":" + std::to_string(d.inputLine) + ": " + std::string(inputName) + ": '" + name + "' " + text;
    };
    // Non-blocking, so that a named pipe does not wait here for its writer.
    const int fd = open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return fault(std::string("cannot be opened: ") + std::strerror(errno));
    struct stat info {};
    const bool folder = fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
    close(fd);
    if (folder) return fault(d.growth ? "is a folder, not a seed file" : "is a folder, not a template file");
  }
  return std::nullopt;
}

std::string printable(std::string text) {
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
  }
  return text;
}

long long pointCount(const Definition& d) {
  // Saturates just past the cap, so that no product can overflow.
  long long count = static_cast<long long>(d.growth ? d.seeds.size() : d.inputs.size());
  for (const auto& values : d.values) {
    // A growth sweep leaves the values it does not choose empty: they are drawn.
    if (d.growth && values.empty()) continue;
    count = std::min(count * static_cast<long long>(values.size()), maxPoints + 1);
  }
  return std::min(count, maxPoints + 1);
}

std::vector<std::string> pointWords(const Definition& d, const std::string& program, long long index) {
  // Mixed-radix digits of the index, the input template (a growth sweep's seed) the lowest.
  std::array<std::size_t, numericCount> digit{};
  std::size_t inputCount = d.inputs.empty() ? 1 : d.inputs.size();
  if (d.growth) inputCount = std::max<std::size_t>(d.seeds.size(), 1);
  const std::size_t input = static_cast<std::size_t>(index) % inputCount;
  index /= static_cast<long long>(inputCount);
  for (int k = numericCount - 1; k >= 0; --k) {
    const std::size_t size =
        d.values[static_cast<std::size_t>(k)].empty() ? 1 : d.values[static_cast<std::size_t>(k)].size();
    digit[static_cast<std::size_t>(k)] = static_cast<std::size_t>(index) % size;
    index /= static_cast<long long>(size);
  }
  if (d.growth) {
    GrowthPoint point;
    point.seed = d.seeds.empty() ? 0 : d.seeds[input];
    point.seedFile = d.seedFile;
    for (std::size_t k = 0; k < numbers().size(); ++k) {
      const auto& values = d.values[k];
      if (values.empty()) continue;
      const long long v = values[digit[k]];
      const std::string_view name = numbers()[k]->name;
      if (name == "growthCycles") {
        point.cycles = v;
        continue;
      }
      for (int c = 0; c < 3; ++c) {
        for (int f = 0; f < 3; ++f) {
          if (episodeParameterName(c, episodeFieldNames[f]) == name)
            episodeField(point.episodes, c, f) = {true, static_cast<int>(v), static_cast<int>(v)};
        }
      }
    }
    return growthWords(program, point);
  }
  std::vector<std::string> words{program};
  for (std::size_t k = 0; k < numbers().size(); ++k) {
    if (!numbers()[k]->sweepFlag.empty()) words.push_back(std::string(numbers()[k]->sweepFlag));
    const auto& values = d.values[k];
    words.push_back(values.empty() ? "" : std::to_string(values[digit[k]]));
  }
  words.push_back(d.inputs.empty() ? "" : d.inputs[input]);
  return words;
}

std::optional<std::string> shapeWarning(const Definition& d) {
  std::string varied;
  const auto add = [&](const Parameter& p) {
    const Effect effect = d.growth ? p.inSeed : p.inSweep;
    if (effect == Effect::shape) return false;
    varied += (varied.empty() ? "" : "; ") + std::string(p.name) + " changes " + std::string(effectText(effect));
    return true;
  };
  for (std::size_t k = 0; k < numbers().size(); ++k) {
    if (d.values[k].size() > 1 && !add(*numbers()[k])) return std::nullopt;
  }
  if (d.inputs.size() > 1 || d.seeds.size() > 1) return std::nullopt;  // another template or seed is another shape
  if (varied.empty()) return std::nullopt;        // a single point compares with nothing
  return "no parameter this sweep varies can change the shape in morphsweep, so every point grows the same "
         "surface: " + varied;
}

void writeManifest(const Definition& d, const std::string& program, std::ostream& out) {
  const long long count = pointCount(d);
  for (long long i = 0; i < count; ++i) out << shellLine(pointWords(d, program, i)) << '\n';
}

}  // namespace plan
