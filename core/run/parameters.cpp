#include "parameters.h"

#include <cctype>

std::string_view effectText(Effect effect) {
  switch (effect) {
    case Effect::shape:
      return "the shape";
    case Effect::levels:
      return "only the levels of -v snapshots (and the result names)";
    case Effect::names:
      return "only the result names";
    case Effect::files:
      return "only which result files are written";
    case Effect::drawn:
      return "nothing: drawn at random for each episode";
    case Effect::absent:
      return "not a parameter of this program";
  }
  return "";
}

const Parameter* findParameter(std::string_view name) {
  for (const Parameter& p : runParameters) {
    if (p.name == name) return &p;
  }
  return nullptr;
}

std::string snakeCase(std::string_view name) {
  std::string out;
  for (const char c : name) {
    if (std::isupper(static_cast<unsigned char>(c))) {
      out += '_';
      out += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    } else {
      out += c;
    }
  }
  return out;
}

std::size_t sweepWordOf(std::string_view name) {
  std::size_t word = 0;
  for (const Parameter& p : runParameters) {
    if (!p.number()) continue;
    word += p.sweepFlag.empty() ? 1 : 2;
    if (p.name == name) return word;
  }
  return name == inputTemplateName ? word + 1 : 0;
}

std::string sweepPlacement(const Parameter& p) {
  if (p.group == Group::input) return "the last word";
  if (!p.number()) return "";
  // A value without a flag of its own follows the one before it, after the same flag.
  std::string_view flag;
  int after = 0;
  for (const Parameter& q : runParameters) {
    if (!q.number()) continue;
    if (!q.sweepFlag.empty()) {
      flag = q.sweepFlag;
      after = 0;
    } else {
      ++after;
    }
    if (&q == &p) break;
  }
  const char* ordinal = after == 0 ? "" : after == 1 ? "second " : after == 2 ? "third " : "later ";
  return ordinal + ("after " + std::string(flag));
}

std::string rangeText(const Parameter& p) {
  if (p.group == Group::input) return "file names, relative to the folder the sweep runs in";
  if (p.lo == INT_MIN && p.hi == INT_MAX) return "any int";
  if (p.lo == 0 && p.hi == 1) return "0 or 1";
  return std::to_string(p.lo) + ".." + std::to_string(p.hi);
}
