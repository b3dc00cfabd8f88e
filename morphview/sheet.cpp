#include "sheet.h"

#include <algorithm>
#include <cmath>

#include "font.h"

namespace view {

namespace {

bool isBreak(char c) { return c == '.' || c == '_' || c == '-' || c == ',' || c == '/' || c == ' '; }

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos || slash + 1 == path.size()) return path;
  return path.substr(slash + 1);
}

int charsPerLine(int tile) { return std::max(1, (tile + 1) / glyphAdvance); }

void drawPlaceholder(Image& image, int left, int top, int tile) {
  image.fill(left, top, tile, tile, placeholderColour);
  for (int t = 0; t < tile; ++t) {
    for (int o = -1; o <= 1; ++o) {
      if (t + o < 0 || t + o >= tile) continue;
      image.set(left + t + o, top + t, placeholderMarkColour);
      image.set(left + tile - 1 - t - o, top + t, placeholderMarkColour);
    }
  }
}

}  // namespace

std::vector<std::string> wrapLabel(std::string_view text, int maxChars, int maxLines) {
  std::vector<std::string> lines;
  if (maxChars < 1 || maxLines < 1) return lines;
  const std::size_t width = static_cast<std::size_t>(maxChars);
  std::string_view rest = text;
  while (!rest.empty()) {
    std::size_t cut = std::min(width, rest.size());
    if (rest.size() > width) {
      // Break after a separator in the second half of the line, if there is one.
      for (std::size_t k = width; k > width / 2; --k) {
        if (isBreak(rest[k - 1])) {
          cut = k;
          break;
        }
      }
    }
    lines.emplace_back(rest.substr(0, cut));
    rest.remove_prefix(cut);
  }
  if (lines.size() <= static_cast<std::size_t>(maxLines)) return lines;

  // Too long: fill every line with as much of the end as fits after "...".
  const std::size_t room = width * static_cast<std::size_t>(maxLines);
  const std::string ellipsis = "...";
  std::string shown = room > ellipsis.size()
                          ? ellipsis + std::string(text.substr(text.size() - (room - ellipsis.size())))
                          : std::string(text.substr(text.size() - room));
  lines.clear();
  for (std::size_t i = 0; i < shown.size(); i += width) lines.push_back(shown.substr(i, width));
  return lines;
}

std::vector<std::string> labelFor(const std::string& path, int tile) {
  return wrapLabel(baseName(path), charsPerLine(tile), maxLabelLines);
}

std::optional<SheetLayout> layoutSheet(const std::vector<std::string>& paths, const SheetOptions& options,
                                       std::string& problem) {
  if (paths.empty()) {
    problem = "a sheet needs at least one file";
    return std::nullopt;
  }
  if (options.tile < minTile || options.tile > maxTile) {
    problem = "tile size " + std::to_string(options.tile) + " is outside " + std::to_string(minTile) + ".." +
              std::to_string(maxTile);
    return std::nullopt;
  }
  if (options.columns < 0) {
    problem = "column count " + std::to_string(options.columns) + " is negative";
    return std::nullopt;
  }
  SheetLayout layout;
  const long long count = static_cast<long long>(paths.size());
  if (count > maxSheetPixels) {
    problem = "too many files for one sheet";
    return std::nullopt;
  }
  layout.count = static_cast<int>(count);
  long long columns = options.columns;
  if (columns == 0) {
    columns = 1;
    while (columns * columns < count) ++columns;
  }
  columns = std::min(columns, count);
  layout.columns = static_cast<int>(columns);
  layout.rows = static_cast<int>((count + columns - 1) / columns);
  layout.tile = options.tile;
  for (const std::string& path : paths) {
    layout.labelLines = std::max(layout.labelLines, static_cast<int>(labelFor(path, options.tile).size()));
  }
  const long long width = sheetGap + columns * (layout.tile + sheetGap);
  const long long height = sheetGap + static_cast<long long>(layout.rows) * (layout.cellHeight() + sheetGap);
  if (width > maxSheetSide || height > maxSheetSide || width * height > maxSheetPixels) {
    problem = "the sheet would be " + std::to_string(width) + "x" + std::to_string(height) + " pixels, more than " +
              std::to_string(maxSheetSide) + " on a side or " + std::to_string(maxSheetPixels) +
              " in all; use a smaller --tile or other --columns";
    return std::nullopt;
  }
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  return layout;
}

SheetResult renderSheet(const std::vector<std::string>& paths, const SheetOptions& options, const SheetLayout& layout) {
  SheetResult result;
  Image sheet(layout.width, layout.height, backgroundFor(options.colour));
  const int count = std::min(layout.count, static_cast<int>(paths.size()));
  for (int i = 0; i < count; ++i) {
    const std::string& path = paths[i];
    MeshLoad load = loadMesh(path, options.format.value_or(formatForName(path)));
    if (load.ok()) load.error = cannotColour(load.mesh, options.colour, path);
    if (load.ok()) {
      RenderStyle style;
      style.colour = options.colour;
      sheet.paste(renderPicture(load.mesh, options.toCamera, layout.tile, layout.tile, style), layout.tileLeft(i),
                  layout.tileTop(i));
    } else {
      result.problems.push_back(load.error);
      if (!options.markBad) return result;
      drawPlaceholder(sheet, layout.tileLeft(i), layout.tileTop(i), layout.tile);
    }
    const std::vector<std::string> lines = labelFor(path, layout.tile);
    for (std::size_t k = 0; k < lines.size(); ++k) {
      drawText(sheet, layout.tileLeft(i), layout.labelTop(i) + static_cast<int>(k) * lineAdvance, lines[k],
               labelColour);
    }
  }
  result.image = std::move(sheet);
  result.complete = true;
  return result;
}

}  // namespace view
