// The run parameters, each described once: its name as a sweep definition spells it, its
// words on each program's command line, its range, its meaning, and what it can change in
// each program's results. The command-line readers, the sweep planner, the result names,
// the snapshots' field data, Python's Settings and the manual's parameter table are all
// made from this table, so adding a parameter is adding a row.
#pragma once

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "growthsettings.h"

// What a change of a parameter can change in a program's results.
enum class Effect {
  shape,   // the surface itself
  levels,  // only the morphogen levels of -v snapshots, and the result names
  names,   // only the result names
  files,   // only which result files are written
  drawn,   // nothing: the program draws this value at random
  absent,  // the program has no such parameter
};

// The effect in words, as the planner's warning and the manual say it.
std::string_view effectText(Effect effect);

// The numbers of one sweep point that the table sets: the settings an embryo is made with
// and the run's counts.
struct SweepValues {
  int growthCycles = 1;
  int modificationCount = 1;
  int templateSwitch = 1;
  GrowthSettings settings;

  bool operator==(const SweepValues&) const = default;
};

// Where a parameter belongs: to the run (counts and switches), to the settings an embryo is
// made with (a morphogen's episode, a force factor), or to one program alone.
enum class Group { run, morphogen, force, input, seedRun };

struct Parameter {
  std::string_view name = {};       // its key in a sweep definition: "redThreshold"
  std::string_view sweepFlag = {};  // morphsweep: the flag word before its value; "" where it follows another value
  std::string_view seedWords = {};  // morphseed: how its command line gives it; "" where it does not
  // The values a definition or Python may give it: those morphsweep keeps as given. A count
  // below 1 would be raised to 1 and a wider value would lose its high bits, so two points
  // could silently coincide.
  long long lo = 0, hi = 0;
  std::string_view unit = {};       // its unit or meaning, in one line
  // What morphsweep's reader says of a word below `lo`, which it then reads as `lo`; ""
  // where it keeps any value, wrapped to its field.
  std::string_view belowLowest = {};
  Effect inSweep = Effect::absent, inSeed = Effect::absent;
  // morphsweep's result names: where the value stands (1 first; 0 not named) and the tag
  // before it. The repulsion value stands after "kh." and the attraction value after
  // "kr.": the crossing belongs to the name format and is not a slip.
  int nameSlot = 0;
  std::string_view nameTag = {};
  // Reads and sets its value in a sweep point; null for a parameter that is no number of
  // one (the input template, morphseed's own). Setting keeps the low bits that the
  // member's type holds, as the command line has always narrowed.
  long long (*get)(const SweepValues&) = nullptr;
  void (*set)(SweepValues&, long long) = nullptr;
  Group group = Group::run;
  // Its values in the manual's example sweep (a definition's value list).
  std::string_view example = {};

  // A number of a sweep point (get and set are given); by its group, which a constant
  // expression can read where a sanitizer build cannot compare function pointers.
  constexpr bool number() const { return group == Group::run || setting(); }
  // One of GrowthSettings' values (what an embryo is made with).
  constexpr bool setting() const { return group == Group::morphogen || group == Group::force; }
};

namespace parameterDetail {

template <auto member>
constexpr long long getRun(const SweepValues& v) {
  return v.*member;
}
template <auto member>
constexpr void setRun(SweepValues& v, long long value) {
  v.*member = static_cast<std::remove_reference_t<decltype(v.*member)>>(value);
}
template <auto colour, auto field>
constexpr long long getEpisode(const SweepValues& v) {
  return v.settings.*colour.*field;
}
template <auto colour, auto field>
constexpr void setEpisode(SweepValues& v, long long value) {
  auto& target = v.settings.*colour.*field;
  target = static_cast<std::remove_reference_t<decltype(target)>>(value);
}
template <auto field>
constexpr long long getForce(const SweepValues& v) {
  return v.settings.forces.*field;
}
template <auto field>
constexpr void setForce(SweepValues& v, long long value) {
  v.settings.forces.*field = static_cast<int>(value);
}

// A morphogen's three rows, named "<colour>Lifespan" and so on; `tag` and `slot` place
// them in the result names.
// In morphseed each is drawn anew for every episode unless --episodes chooses it (`seedWords`).
template <auto colour>
constexpr std::array<Parameter, 3> morphogenRows(std::string_view flag, std::array<std::string_view, 3> names,
                                                 std::array<std::string_view, 3> seedWords, std::string_view tag,
                                                 int slot, std::string_view secretorUnit,
                                                 std::string_view exampleSecretor) {
  return {{
      {.name = names[0], .sweepFlag = flag, .seedWords = seedWords[0], .lo = SHRT_MIN, .hi = SHRT_MAX,
       .unit = "growth cycles an episode runs (16 bits); 0 or below: run out, a new one begins",
       .inSweep = Effect::names, .inSeed = Effect::shape, .nameSlot = slot, .nameTag = tag,
       .get = getEpisode<colour, &Morphogen::lifespan>, .set = setEpisode<colour, &Morphogen::lifespan>,
       .group = Group::morphogen, .example = "40"},
      {.name = names[1], .seedWords = seedWords[1], .lo = 0, .hi = UCHAR_MAX,
       .unit = "the average level (0-255) at which a triangle is marked to split", .inSweep = Effect::names,
       .inSeed = Effect::shape, .nameSlot = slot + 1, .nameTag = ".",
       .get = getEpisode<colour, &Morphogen::threshold>, .set = setEpisode<colour, &Morphogen::threshold>,
       .group = Group::morphogen, .example = "120"},
      {.name = names[2], .seedWords = seedWords[2], .lo = -1, .hi = SHRT_MAX, .unit = secretorUnit,
       .inSweep = Effect::levels, .inSeed = Effect::shape, .nameSlot = slot + 2, .nameTag = ".",
       .get = getEpisode<colour, &Morphogen::secretor>, .set = setEpisode<colour, &Morphogen::secretor>,
       .group = Group::morphogen, .example = exampleSecretor},
  }};
}

}  // namespace parameterDetail

// In morphsweep's command-line order: the fourteen numbers, then the input template (the
// words of a manifest line), then what morphseed alone takes.
inline constexpr std::array<Parameter, 17> runParameters = [] {
  using namespace parameterDetail;
  const auto red = morphogenRows<&GrowthSettings::red>(
      "-r", {"redLifespan", "redThreshold", "redSecretor"},
      {"--episodes red.lifespan=V", "--episodes red.threshold=V", "--episodes red.secretor=V"}, ".r", 3,
      "the vertex index that secretes red at level 255 every diffusion step; -1: none", "5");
  const auto green = morphogenRows<&GrowthSettings::green>(
      "-g", {"greenLifespan", "greenThreshold", "greenSecretor"},
      {"--episodes green.lifespan=V", "--episodes green.threshold=V", "--episodes green.secretor=V"}, ".g.", 6,
      "the vertex index that secretes green (level 99 in morphsweep, 255 in morphseed); -1: none", "17");
  const auto blue = morphogenRows<&GrowthSettings::blue>(
      "-b", {"blueLifespan", "blueThreshold", "blueSecretor"},
      {"--episodes blue.lifespan=V", "--episodes blue.threshold=V", "--episodes blue.secretor=V"}, ".b.", 9,
      "the vertex index that secretes blue at level 255 every diffusion step; -1: none", "33");
  return std::array<Parameter, 17>{{
      {.name = "growthCycles", .sweepFlag = "-n", .seedWords = "-b batchCount cycleCount (the second)", .lo = 1,
       .hi = INT_MAX, .unit = "growth cycles: each diffuses, marks (morphseed: splits) and relaxes the surface",
       .belowLowest = "Batch cycle count must be >=1.  Setting to 1\n",
       .inSweep = Effect::shape, .inSeed = Effect::shape, .nameSlot = 1, .nameTag = ".n",
       .get = getRun<&SweepValues::growthCycles>, .set = setRun<&SweepValues::growthCycles>, .example = "6:18:6"},
      {.name = "modificationCount", .sweepFlag = "-m", .lo = 1, .hi = INT_MAX,
       .unit = "a label carried into the result names; nothing else reads it",
       .belowLowest = "<modificationCount> count must be >=1.  Setting to 1\n", .inSweep = Effect::names,
       .nameSlot = 2, .nameTag = ".m", .get = getRun<&SweepValues::modificationCount>,
       .set = setRun<&SweepValues::modificationCount>, .example = "1"},
      {.name = "templateSwitch", .sweepFlag = "-t", .seedWords = "-t 0|1", .lo = 0, .hi = 1,
       .unit = "1: also write the result as a 3DV template, from which morphsweep can start; 0: not",
       .inSweep = Effect::files, .inSeed = Effect::files, .get = getRun<&SweepValues::templateSwitch>,
       .set = setRun<&SweepValues::templateSwitch>, .example = "0"},
      red[0], red[1], red[2], green[0], green[1], green[2], blue[0], blue[1], blue[2],
      {.name = "repulsion", .sweepFlag = "-kr", .lo = INT_MIN, .hi = INT_MAX,
       .unit = "repulsion factor: scales the inverse-square push between close vertices", .inSweep = Effect::shape,
       .nameSlot = 13, .nameTag = ".kh.", .get = getForce<&ForceFactors::repulsion>,
       .set = setForce<&ForceFactors::repulsion>, .group = Group::force, .example = "1, 4, 16"},
      {.name = "attraction", .sweepFlag = "-kh", .lo = INT_MIN, .hi = INT_MAX,
       .unit = "attraction factor: scales the linear pull along edges, with the surface's length scale",
       .inSweep = Effect::shape, .nameSlot = 12, .nameTag = ".kr.", .get = getForce<&ForceFactors::attraction>,
       .set = setForce<&ForceFactors::attraction>, .group = Group::force, .example = "4"},
      {.name = "inputTemplate", .unit = "the 3DV template the point starts from; its results go beside it",
       .inSweep = Effect::shape, .group = Group::input, .example = "day/start.3dvTemplate"},
      {.name = "seed", .seedWords = "-s seed", .lo = 0, .hi = INT_MAX,
       .unit = "the first embryo's random seed (later ones +1); by default the clock's second",
       .inSeed = Effect::shape, .group = Group::seedRun},
      {.name = "batchCount", .seedWords = "-b batchCount cycleCount (the first)", .lo = 0, .hi = INT_MAX,
       .unit = "embryos grown one after another; each starts from the secretors and thresholds the last one left",
       .inSeed = Effect::files, .group = Group::seedRun},
  }};
}();

// The fourteen numbers of a morphsweep command line, the input template after them.
inline constexpr int sweepNumberCount = 14;
inline constexpr std::string_view inputTemplateName = "inputTemplate";

static_assert(std::all_of(runParameters.begin(), runParameters.end(), [](const Parameter& p) { return !p.name.empty(); }),
              "every row of the table is named: its size counts its rows");

// The rows a morphsweep call gives a number, in command-line order.
inline constexpr std::array<const Parameter*, sweepNumberCount> sweepNumbers = [] {
  std::array<const Parameter*, sweepNumberCount> rows{};
  std::size_t k = 0;
  for (const Parameter& p : runParameters) {
    if (p.number()) rows.at(k++) = &p;
  }
  return k == rows.size() ? rows : throw "the table's sweep numbers are not fourteen";
}();

// The rows morphsweep's result names show, in the order they stand there.
inline constexpr auto nameRows = [] {
  constexpr std::size_t count = [] {
    std::size_t n = 0;
    for (const Parameter& p : runParameters) n += p.nameSlot > 0;
    return n;
  }();
  std::array<const Parameter*, count> rows{};
  for (const Parameter& p : runParameters) {
    if (p.nameSlot > 0) rows.at(static_cast<std::size_t>(p.nameSlot) - 1) = &p;
  }
  return rows;
}();

// The row named `name`, if there is one.
const Parameter* findParameter(std::string_view name);

// The word of a morphsweep call (program name first) that carries the parameter `name`,
// a number or the input template; 0 for any other name.
std::size_t sweepWordOf(std::string_view name);

// Where morphsweep's command line gives the parameter ("after -n", "second after -r", "the
// last word"); "" for one it does not take.
std::string sweepPlacement(const Parameter& p);
// Its range as the manual and the planner's help say it ("1..2147483647", "0 or 1", "any int").
std::string rangeText(const Parameter& p);

// The keyword Python spells a parameter with: redLifespan -> red_lifespan.
std::string snakeCase(std::string_view name);

