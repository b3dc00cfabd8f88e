// The words of --episodes: "colour.field=value" or "colour.field=lo..hi", comma-separated,
// with colour red, green or blue and field lifespan, threshold or secretor. Read into
// EpisodeChoices, checked against the run parameters' ranges, and spelt back for result
// names and records in one order: red, green, blue; lifespan, threshold, secretor.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "episodechoice.h"

inline constexpr const char* episodesUsage =
    "--episodes LIST   chosen episode values, e.g. red.threshold=30,blue.lifespan=4..8\n";

// The choices `list` names; nullopt with `problem` set when a word is refused.
std::optional<EpisodeChoices> parseEpisodeChoices(std::string_view list, std::string& problem);

// The choices in the one order, as --episodes takes them ("" when none).
std::string episodeChoicesText(const EpisodeChoices& choices);

// What result names carry after the seed: ".red-threshold30.blue-lifespan4to8" ("" when none).
std::string episodeNameTag(const EpisodeChoices& choices);

// The run parameters' row of a colour's field ("redThreshold" for 0, "threshold").
std::string episodeParameterName(int colour, std::string_view field);

// The field of a choice, for a colour from 0 and a field from 0 (lifespan, threshold, secretor).
EpisodeField& episodeField(EpisodeChoices& choices, int colour, int field);
const EpisodeField& episodeField(const EpisodeChoices& choices, int colour, int field);

inline constexpr const char* episodeColours[3] = {"red", "green", "blue"};
inline constexpr const char* episodeFieldNames[3] = {"lifespan", "threshold", "secretor"};
