// A 5x7 bitmap font for labels: printable ASCII, anything else drawn as '?'.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

#include "image.h"

namespace view {

inline constexpr int glyphWidth = 5;
inline constexpr int glyphHeight = 7;
inline constexpr int glyphAdvance = glyphWidth + 1;  // one blank column between letters
inline constexpr int lineAdvance = glyphHeight + 2;

using Glyph = std::array<std::uint8_t, glyphHeight>;  // rows, top first; bit 4 is the left column

const Glyph& glyphFor(char c);

// The scale text is drawn at in a picture of this size (its shorter side): 1 up to 383
// pixels, 2 from 384 to 639, 3 from 640, ...; at 2 a capital is 14 pixels high.
int textScale(int width, int height);

// Draws `text` on one line with its top left corner at (x, y), clipped to the picture.
void drawText(Image& image, int x, int y, std::string_view text, Rgb colour);
// The same with every font pixel drawn as a `scale` x `scale` square.
void drawText(Image& image, int x, int y, std::string_view text, Rgb colour, int scale);

}  // namespace view
