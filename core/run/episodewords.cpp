#include "episodewords.h"

#include <cctype>

#include "parameters.h"
#include "wholenumber.h"

namespace {

int indexOf(const char* const (&names)[3], std::string_view word) {
  for (int i = 0; i < 3; ++i) {
    if (word == names[i]) return i;
  }
  return -1;
}

std::string valueText(const EpisodeField& f) {
  return f.lo == f.hi ? std::to_string(f.lo) : std::to_string(f.lo) + ".." + std::to_string(f.hi);
}

// Calls visit(colour, field, value) for each chosen field, in the one order.
template <class Visit>
void forEachChosen(const EpisodeChoices& choices, Visit visit) {
  for (int c = 0; c < 3; ++c) {
    for (int f = 0; f < 3; ++f) {
      if (const EpisodeField& field = episodeField(choices, c, f); field.chosen) visit(c, f, field);
    }
  }
}

}  // namespace

std::string episodeParameterName(int colour, std::string_view field) {
  std::string name = episodeColours[colour];
  name += static_cast<char>(std::toupper(static_cast<unsigned char>(field.front())));
  name += field.substr(1);
  return name;
}

EpisodeField& episodeField(EpisodeChoices& choices, int colour, int field) {
  EpisodeFields& c = choices.colours.at(static_cast<std::size_t>(colour));
  return field == 0 ? c.lifespan : field == 1 ? c.threshold : c.secretor;
}

const EpisodeField& episodeField(const EpisodeChoices& choices, int colour, int field) {
  return episodeField(const_cast<EpisodeChoices&>(choices), colour, field);
}

std::optional<EpisodeChoices> parseEpisodeChoices(std::string_view list, std::string& problem) {
  EpisodeChoices choices;
  if (list.empty()) {
    problem = "the list of choices is empty";
    return std::nullopt;
  }
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view item = list.substr(0, comma);
    // Built piecewise: GCC 12 warns falsely about "'" + std::string(...).
    std::string quoted(1, '\'');
    quoted.append(item).push_back('\'');
    const std::size_t dot = item.find('.'), equals = item.find('=');
    if (dot == std::string_view::npos || equals == std::string_view::npos || dot > equals) {
      problem = quoted + " is not colour.field=value or colour.field=lo..hi";
      return std::nullopt;
    }
    const int colour = indexOf(episodeColours, item.substr(0, dot));
    const int field = indexOf(episodeFieldNames, item.substr(dot + 1, equals - dot - 1));
    if (colour < 0 || field < 0) {
      problem = quoted + ": the colour is red, green or blue and the field lifespan, threshold or secretor";
      return std::nullopt;
    }
    const Parameter& row = *findParameter(episodeParameterName(colour, episodeFieldNames[field]));
    const std::string_view value = item.substr(equals + 1);
    const std::size_t range = value.find("..");
    const std::string_view loText = value.substr(0, range);
    const std::string_view hiText = range == std::string_view::npos ? loText : value.substr(range + 2);
    const auto lo = parseWholeNumber(loText, 1LL << 40, Sign::allowed);
    const auto hi = parseWholeNumber(hiText, 1LL << 40, Sign::allowed);
    if (!lo || !hi || *lo < row.lo || *hi > row.hi || *lo > row.hi || *hi < row.lo) {
      problem = quoted + ": a " + episodeFieldNames[field] + " is a whole number from " + std::to_string(row.lo) +
                " to " + std::to_string(row.hi) + " (or a range lo..hi of them)";
      return std::nullopt;
    }
    if (*lo > *hi) {
      problem = quoted + ": the range's low end is above its high end";
      return std::nullopt;
    }
    EpisodeField& f = episodeField(choices, colour, field);
    if (f.chosen) {
      problem = quoted + ": " + episodeColours[colour] + "." + episodeFieldNames[field] + " is chosen twice";
      return std::nullopt;
    }
    f = {true, static_cast<int>(*lo), static_cast<int>(*hi)};
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  return choices;
}

std::string episodeChoicesText(const EpisodeChoices& choices) {
  std::string text;
  forEachChosen(choices, [&text](int c, int f, const EpisodeField& field) {
    if (!text.empty()) text += ',';
    text += std::string(episodeColours[c]) + "." + episodeFieldNames[f] + "=" + valueText(field);
  });
  return text;
}

std::string episodeNameTag(const EpisodeChoices& choices) {
  std::string tag;
  forEachChosen(choices, [&tag](int c, int f, const EpisodeField& field) {
    tag += std::string(".") + episodeColours[c] + "-" + episodeFieldNames[f] + std::to_string(field.lo);
    if (field.hi != field.lo) tag += "to" + std::to_string(field.hi);
  });
  return tag;
}
