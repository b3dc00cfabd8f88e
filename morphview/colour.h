// Colouring a surface by its morphogen levels: one morphogen on a colour map of its own
// hue, or all three at once as red, green and blue; and the legend of a map.
#pragma once

#include <array>
#include <optional>
#include <string>

#include "image.h"
#include "io/meshread.h"

namespace view {

// plain: the uniform surface colour, as pictures have always been drawn.
enum class ColourMode { plain, red, green, blue, rgb };

// The names --colour accepts: "plain", "red", "green", "blue", "rgb".
bool parseColourName(const std::string& name, ColourMode& mode);
const char* colourName(ColourMode mode);

// The unshaded colour of a point with these red, green and blue levels. One morphogen is
// shown on the viridis map (dark violet at level 0 to yellow at 255, the same map for
// each morphogen; the legend names which); in rgb each level lifts its own channel from a
// light grey floor, steeply at first, so that low levels stay apart.
Rgb levelColour(ColourMode mode, const std::array<double, 3>& levels);
// One entry of the one-morphogen map, for level 0..255 (interpolated between entries).
Rgb mapColour(double level);
// The rgb mode's channel for one level, before rounding.
double rgbChannel(double level);

// The background of a picture: plain and rgb pictures keep the dark blue-grey, which their
// light surfaces stand out from; one-morphogen ones sit on a middle grey, dark enough for
// the map's yellow end (levels from about 244) and light enough for its violet end (up to
// about 12) to stand out by 3:1 in relative luminance, shading included; levels between
// are the map's middle tones.
inline constexpr Rgb plainBackground{40, 44, 56};
inline constexpr Rgb levelBackground{116, 116, 116};
Rgb backgroundFor(ColourMode mode);
// The share of a face's colour it keeps when seen edge-on (ambient light). Coloured
// surfaces are lit more evenly: the colour carries the level, and a face turned away
// must not darken into the background.
inline constexpr double levelShadingFloor = 0.8;
// rgb's light surfaces keep more of the shading that shows their shape.
inline constexpr double rgbShadingFloor = 0.6;
double shadingFloor(ColourMode mode);

// Where the legend's colour bar sits in a picture of this size: along the bottom margin,
// the map's level 0 at `left` and 255 at `left + width - 1`; its name's text above it at
// `nameTop`.
struct LegendBar {
  int left = 0, top = 0, width = 0, height = 0, nameTop = 0;
};
LegendBar legendBar(int width, int height);

// Draws the legend of a one-morphogen map: its name ("red level") above the colour bar,
// "0" and "255" at its ends, and the threshold, when known, as a white tick across the bar
// with its value below; text at the picture's textScale. Nothing is drawn for plain or rgb.
void drawLegend(Image& image, ColourMode mode, std::optional<int> threshold);

// Empty when the mesh can be drawn in this mode, else "<file>: <why not>": a mesh
// without levels has nothing to colour by.
std::string cannotColour(const Mesh& mesh, ColourMode mode, const std::string& file);

// The threshold the legend marks for this mode, when the mesh carries thresholds.
std::optional<int> thresholdFor(const Mesh& mesh, ColourMode mode);

// The white tick marking a threshold, for these bars, edged in black.
inline constexpr Rgb legendMarkColour{255, 255, 255};
inline constexpr Rgb legendEdgeColour{0, 0, 0};

}  // namespace view
