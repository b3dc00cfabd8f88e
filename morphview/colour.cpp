#include "colour.h"

#include <algorithm>
#include <cmath>

#include "font.h"

namespace view {

namespace {

constexpr Rgb mapLow{60, 60, 72};
constexpr Rgb hues[3] = {{240, 36, 36}, {40, 220, 60}, {50, 110, 255}};
constexpr double rgbFloor = 40;

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

Rgb levelColour(ColourMode mode, const std::array<double, 3>& levels) {
  if (mode == ColourMode::rgb) {
    const double scale = (255 - rgbFloor) / 255;
    return {channel(rgbFloor + levels[0] * scale), channel(rgbFloor + levels[1] * scale),
            channel(rgbFloor + levels[2] * scale)};
  }
  if (mode == ColourMode::plain) return {235, 220, 190};
  const int k = mode == ColourMode::red ? 0 : mode == ColourMode::green ? 1 : 2;
  const double s = std::clamp(levels[k] / 255, 0.0, 1.0);
  const Rgb& hue = hues[k];
  return {channel(mapLow.r + (hue.r - mapLow.r) * s), channel(mapLow.g + (hue.g - mapLow.g) * s),
          channel(mapLow.b + (hue.b - mapLow.b) * s)};
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
  LegendBar bar;
  bar.height = std::max(4, side / 64);
  bar.left = std::max(3 * glyphAdvance + 6, width / 5);
  bar.width = std::max(2, width - 2 * bar.left);
  const int margin = std::max(2, side / 100);
  // Below the bar: the tick's overshoot and one line of text.
  bar.top = height - margin - glyphHeight - 2 - 2 - bar.height;
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
  const int textTop = bar.top + (bar.height - glyphHeight) / 2;
  drawText(image, bar.left - glyphAdvance - 3, textTop, "0", legendMarkColour);
  drawText(image, bar.left + bar.width + 3, textTop, "255", legendMarkColour);
  if (threshold) {
    const int t = std::clamp(*threshold, 0, 255);
    const int x = bar.left + static_cast<int>(std::lround(t * (bar.width - 1) / 255.0));
    image.fill(x, bar.top - 2, 1, bar.height + 4, legendMarkColour);
    const std::string label = std::string(colourName(mode)) + " threshold " + std::to_string(t);
    const int textWidth = static_cast<int>(label.size()) * glyphAdvance;
    const int left = std::clamp(x - textWidth / 2, 0, std::max(0, image.width() - textWidth));
    drawText(image, left, bar.top + bar.height + 4, label, legendMarkColour);
  }
}

}  // namespace view
