#include "colour.h"

#include <algorithm>
#include <cmath>

#include "font.h"

namespace view {

namespace {

// The viridis colour map of matplotlib (Stefan van der Walt and Nathaniel Smith, 2015,
// CC0), its published 256-entry table `_viridis_data` in matplotlib/_cm_listed.py rounded
// to 8 bits: perceptually uniform, lightness rising from dark violet to yellow, and read
// alike by viewers with the common colour-vision deficiencies.
constexpr Rgb viridis[256] = {
    {68, 1, 84},    {68, 2, 86},    {69, 4, 87},    {69, 5, 89},    {70, 7, 90},    {70, 8, 92},    {70, 10, 93},
    {70, 11, 94},   {71, 13, 96},   {71, 14, 97},   {71, 16, 99},   {71, 17, 100},  {71, 19, 101},  {72, 20, 103},
    {72, 22, 104},  {72, 23, 105},  {72, 24, 106},  {72, 26, 108},  {72, 27, 109},  {72, 28, 110},  {72, 29, 111},
    {72, 31, 112},  {72, 32, 113},  {72, 33, 115},  {72, 35, 116},  {72, 36, 117},  {72, 37, 118},  {72, 38, 119},
    {72, 40, 120},  {72, 41, 121},  {71, 42, 122},  {71, 44, 122},  {71, 45, 123},  {71, 46, 124},  {71, 47, 125},
    {70, 48, 126},  {70, 50, 126},  {70, 51, 127},  {70, 52, 128},  {69, 53, 129},  {69, 55, 129},  {69, 56, 130},
    {68, 57, 131},  {68, 58, 131},  {68, 59, 132},  {67, 61, 132},  {67, 62, 133},  {66, 63, 133},  {66, 64, 134},
    {66, 65, 134},  {65, 66, 135},  {65, 68, 135},  {64, 69, 136},  {64, 70, 136},  {63, 71, 136},  {63, 72, 137},
    {62, 73, 137},  {62, 74, 137},  {62, 76, 138},  {61, 77, 138},  {61, 78, 138},  {60, 79, 138},  {60, 80, 139},
    {59, 81, 139},  {59, 82, 139},  {58, 83, 139},  {58, 84, 140},  {57, 85, 140},  {57, 86, 140},  {56, 88, 140},
    {56, 89, 140},  {55, 90, 140},  {55, 91, 141},  {54, 92, 141},  {54, 93, 141},  {53, 94, 141},  {53, 95, 141},
    {52, 96, 141},  {52, 97, 141},  {51, 98, 141},  {51, 99, 141},  {50, 100, 142}, {50, 101, 142}, {49, 102, 142},
    {49, 103, 142}, {49, 104, 142}, {48, 105, 142}, {48, 106, 142}, {47, 107, 142}, {47, 108, 142}, {46, 109, 142},
    {46, 110, 142}, {46, 111, 142}, {45, 112, 142}, {45, 113, 142}, {44, 113, 142}, {44, 114, 142}, {44, 115, 142},
    {43, 116, 142}, {43, 117, 142}, {42, 118, 142}, {42, 119, 142}, {42, 120, 142}, {41, 121, 142}, {41, 122, 142},
    {41, 123, 142}, {40, 124, 142}, {40, 125, 142}, {39, 126, 142}, {39, 127, 142}, {39, 128, 142}, {38, 129, 142},
    {38, 130, 142}, {38, 130, 142}, {37, 131, 142}, {37, 132, 142}, {37, 133, 142}, {36, 134, 142}, {36, 135, 142},
    {35, 136, 142}, {35, 137, 142}, {35, 138, 141}, {34, 139, 141}, {34, 140, 141}, {34, 141, 141}, {33, 142, 141},
    {33, 143, 141}, {33, 144, 141}, {33, 145, 140}, {32, 146, 140}, {32, 146, 140}, {32, 147, 140}, {31, 148, 140},
    {31, 149, 139}, {31, 150, 139}, {31, 151, 139}, {31, 152, 139}, {31, 153, 138}, {31, 154, 138}, {30, 155, 138},
    {30, 156, 137}, {30, 157, 137}, {31, 158, 137}, {31, 159, 136}, {31, 160, 136}, {31, 161, 136}, {31, 161, 135},
    {31, 162, 135}, {32, 163, 134}, {32, 164, 134}, {33, 165, 133}, {33, 166, 133}, {34, 167, 133}, {34, 168, 132},
    {35, 169, 131}, {36, 170, 131}, {37, 171, 130}, {37, 172, 130}, {38, 173, 129}, {39, 173, 129}, {40, 174, 128},
    {41, 175, 127}, {42, 176, 127}, {44, 177, 126}, {45, 178, 125}, {46, 179, 124}, {47, 180, 124}, {49, 181, 123},
    {50, 182, 122}, {52, 182, 121}, {53, 183, 121}, {55, 184, 120}, {56, 185, 119}, {58, 186, 118}, {59, 187, 117},
    {61, 188, 116}, {63, 188, 115}, {64, 189, 114}, {66, 190, 113}, {68, 191, 112}, {70, 192, 111}, {72, 193, 110},
    {74, 193, 109}, {76, 194, 108}, {78, 195, 107}, {80, 196, 106}, {82, 197, 105}, {84, 197, 104}, {86, 198, 103},
    {88, 199, 101}, {90, 200, 100}, {92, 200, 99},  {94, 201, 98},  {96, 202, 96},  {99, 203, 95},  {101, 203, 94},
    {103, 204, 92}, {105, 205, 91}, {108, 205, 90}, {110, 206, 88}, {112, 207, 87}, {115, 208, 86}, {117, 208, 84},
    {119, 209, 83}, {122, 209, 81}, {124, 210, 80}, {127, 211, 78}, {129, 211, 77}, {132, 212, 75}, {134, 213, 73},
    {137, 213, 72}, {139, 214, 70}, {142, 214, 69}, {144, 215, 67}, {147, 215, 65}, {149, 216, 64}, {152, 216, 62},
    {155, 217, 60}, {157, 217, 59}, {160, 218, 57}, {162, 218, 55}, {165, 219, 54}, {168, 219, 52}, {170, 220, 50},
    {173, 220, 48}, {176, 221, 47}, {178, 221, 45}, {181, 222, 43}, {184, 222, 41}, {186, 222, 40}, {189, 223, 38},
    {192, 223, 37}, {194, 223, 35}, {197, 224, 33}, {200, 224, 32}, {202, 225, 31}, {205, 225, 29}, {208, 225, 28},
    {210, 226, 27}, {213, 226, 26}, {216, 226, 25}, {218, 227, 25}, {221, 227, 24}, {223, 227, 24}, {226, 228, 24},
    {229, 228, 25}, {231, 228, 25}, {234, 229, 26}, {236, 229, 27}, {239, 229, 28}, {241, 229, 29}, {244, 230, 30},
    {246, 230, 32}, {248, 230, 33}, {251, 231, 35}, {253, 231, 37},
};

// In rgb, a level lifts its channel from a light grey floor by the square root of its
// share: a surface without morphogen still shows its shape under the light, and the low
// levels that cover most of a surface stay apart from each other.
constexpr double rgbFloor = 140;
constexpr double rgbGamma = 0.5;

std::uint8_t channel(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

bool parseColourName(const std::string& name, ColourMode& mode) {
  for (ColourMode m : {ColourMode::plain, ColourMode::red, ColourMode::green, ColourMode::blue, ColourMode::rgb}) {
    if (name == colourName(m)) {
      mode = m;
      return true;
    }
  }
  return false;
}

const char* colourName(ColourMode mode) {
  switch (mode) {
    case ColourMode::red:
      return "red";
    case ColourMode::green:
      return "green";
    case ColourMode::blue:
      return "blue";
    case ColourMode::rgb:
      return "rgb";
    case ColourMode::plain:
      break;
  }
  return "plain";
}

double rgbChannel(double level) {
  return rgbFloor + (255 - rgbFloor) * std::pow(std::clamp(level / 255, 0.0, 1.0), rgbGamma);
}

Rgb mapColour(double level) {
  // Between two entries of the table, linearly, so that interpolated levels stay smooth.
  const double at = std::clamp(level, 0.0, 255.0);
  const int below = std::min(254, static_cast<int>(at));
  const double f = at - below;
  const Rgb& a = viridis[below];
  const Rgb& b = viridis[below + 1];
  return {channel(a.r + (b.r - a.r) * f), channel(a.g + (b.g - a.g) * f), channel(a.b + (b.b - a.b) * f)};
}

Rgb levelColour(ColourMode mode, const std::array<double, 3>& levels) {
  if (mode == ColourMode::rgb) {
    return {channel(rgbChannel(levels[0])), channel(rgbChannel(levels[1])), channel(rgbChannel(levels[2]))};
  }
  if (mode == ColourMode::plain) return {235, 220, 190};
  return mapColour(levels[mode == ColourMode::red ? 0 : mode == ColourMode::green ? 1 : 2]);
}

Rgb backgroundFor(ColourMode mode) {
  return mode == ColourMode::plain || mode == ColourMode::rgb ? plainBackground : levelBackground;
}

double shadingFloor(ColourMode mode) {
  return mode == ColourMode::plain ? 0.2 : mode == ColourMode::rgb ? rgbShadingFloor : levelShadingFloor;
}

std::string cannotColour(const Mesh& mesh, ColourMode mode, const std::string& file) {
  if (mode == ColourMode::plain || (!mesh.levels.empty() && mesh.levels.size() == mesh.points.size())) return {};
  return file + ": holds no morphogen levels (red, green, blue point arrays) to colour by; draw it with --colour plain";
}

std::optional<int> thresholdFor(const Mesh& mesh, ColourMode mode) {
  if (!mesh.thresholds || mode == ColourMode::plain || mode == ColourMode::rgb) return std::nullopt;
  return (*mesh.thresholds)[mode == ColourMode::red ? 0 : mode == ColourMode::green ? 1 : 2];
}

LegendBar legendBar(int width, int height) {
  const int side = std::min(width, height);
  const int scale = textScale(width, height);
  LegendBar bar;
  bar.height = std::max(4, side / 64);
  bar.left = std::max(3 * glyphAdvance * scale + 6, width / 5);
  bar.width = std::max(2, width - 2 * bar.left);
  const int margin = std::max(2, side / 100);
  // Below the bar: the tick's overshoot and one line of text.
  bar.top = height - margin - glyphHeight * scale - 2 - 2 - bar.height;
  bar.nameTop = bar.top - 2 - 3 - glyphHeight * scale;
  return bar;
}

void drawLegend(Image& image, ColourMode mode, std::optional<int> threshold) {
  if (mode == ColourMode::plain || mode == ColourMode::rgb) return;
  const int k = mode == ColourMode::red ? 0 : mode == ColourMode::green ? 1 : 2;
  const LegendBar bar = legendBar(image.width(), image.height());
  auto levelAt = [&](int x) { return bar.width > 1 ? 255.0 * (x - bar.left) / (bar.width - 1) : 0.0; };
  for (int x = bar.left; x < bar.left + bar.width; ++x) {
    std::array<double, 3> levels{0, 0, 0};
    levels[k] = levelAt(x);
    image.fill(x, bar.top, 1, bar.height, levelColour(mode, levels));
  }
  const int scale = textScale(image.width(), image.height());
  const int textTop = bar.top + (bar.height - glyphHeight * scale) / 2;
  drawText(image, bar.left - glyphAdvance * scale - 3, textTop, "0", legendMarkColour, scale);
  drawText(image, bar.left + bar.width + 3, textTop, "255", legendMarkColour, scale);
  const std::string name = std::string(colourName(mode)) + " level";
  const int nameWidth = static_cast<int>(name.size()) * glyphAdvance * scale;
  drawText(image, bar.left + (bar.width - nameWidth) / 2, bar.nameTop, name, legendMarkColour, scale);
  if (threshold) {
    const int t = std::clamp(*threshold, 0, 255);
    const int x = bar.left + static_cast<int>(std::lround(t * (bar.width - 1) / 255.0));
    // White edged in black, so that the tick shows on the dark and the light end alike.
    image.fill(x - 1, bar.top - 2, 3, bar.height + 4, legendEdgeColour);
    image.fill(x, bar.top - 2, 1, bar.height + 4, legendMarkColour);
    const std::string label = std::string(colourName(mode)) + " threshold " + std::to_string(t);
    const int textWidth = static_cast<int>(label.size()) * glyphAdvance * scale;
    const int left = std::clamp(x - textWidth / 2, 0, std::max(0, image.width() - textWidth));
    drawText(image, left, bar.top + bar.height + 4, label, legendMarkColour, scale);
  }
}

}  // namespace view
