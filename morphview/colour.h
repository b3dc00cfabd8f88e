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

// The unshaded colour of a point with these red, green and blue levels. For one morphogen
// the map runs from a dark slate at level 0 to that morphogen's own hue at 255, so its
// level reads as brightness and saturation; in rgb each level lifts its own channel from
// a dark floor. No colour of either kind can equal the background once shaded.
Rgb levelColour(ColourMode mode, const std::array<double, 3>& levels);

// Where the legend's colour bar sits in a picture of this size: along the bottom margin,
// the map's level 0 at `left` and 255 at `left + width - 1`.
struct LegendBar {
  int left = 0, top = 0, width = 0, height = 0;
};
LegendBar legendBar(int width, int height);

// Draws the legend of a one-morphogen map: the colour bar, "0" and "255" at its ends, and
// the threshold, when known, as a white tick across the bar with its value below.
// Nothing is drawn for plain or rgb.
void drawLegend(Image& image, ColourMode mode, std::optional<int> threshold);

// Empty when the mesh can be drawn in this mode, else "<file>: <why not>": a mesh
// without levels has nothing to colour by.
std::string cannotColour(const Mesh& mesh, ColourMode mode, const std::string& file);

// The threshold the legend marks for this mode, when the mesh carries thresholds.
std::optional<int> thresholdFor(const Mesh& mesh, ColourMode mode);

// The white tick marking a threshold, for these bars.
inline constexpr Rgb legendMarkColour{255, 255, 255};

}  // namespace view
