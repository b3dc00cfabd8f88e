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

int charsPerLine(int tile, int scale) { return std::max(1, (tile + scale) / (glyphAdvance * scale)); }

// A tile's picture; a file with vertices far from its body adds its warning.
Image tilePicture(const Mesh& mesh, const std::string& path, const SheetOptions& options, int tile,
                  std::vector<std::string>& warnings) {
  RenderStyle style;
  style.colour = options.colour;
  style.scaleBar = options.scaleBar;
  style.frameAll = options.frameAll;
  if (!options.frameAll) {
    stats::FarPoints far;
    stats::BodyBox body;
    style.framing = bodyFraming(mesh.points, &far, &body);
    if (std::string warning = farWarning(path, far, body); !warning.empty()) warnings.push_back(std::move(warning));
  }
  return renderPicture(mesh, options.toCamera, tile, tile, style);
}

void drawLines(Image& image, int left, int top, const std::vector<std::string>& lines, int scale) {
  for (std::size_t k = 0; k < lines.size(); ++k)
    drawText(image, left, top + static_cast<int>(k) * lineAdvance * scale, lines[k], labelColour, scale);
}

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

std::vector<std::string> labelFor(const std::string& path, int tile, int scale) {
  return wrapLabel(baseName(path), charsPerLine(tile, scale), maxLabelLines);
}

std::string sheetTitle(const std::vector<std::string>& paths) {
  const auto folderOf = [](const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash);
  };
  std::string title = std::to_string(paths.size()) + (paths.size() == 1 ? " file" : " files");
  if (paths.empty()) return title;
  const std::string folder = folderOf(paths.front());
  const bool shared = std::all_of(paths.begin(), paths.end(), [&](const std::string& p) { return folderOf(p) == folder; });
  return shared && !folder.empty() ? title + " in " + folder : title;
}

std::string sweepSheetTitle(const std::string& manifest, std::size_t points) {
  return "sweep " + baseName(manifest) + ", " + std::to_string(points) + (points == 1 ? " point" : " points");
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
  layout.labelScale = labelScaleFor(options.tile);
  for (const std::string& path : paths) {
    layout.labelLines =
        std::max(layout.labelLines, static_cast<int>(labelFor(path, options.tile, layout.labelScale).size()));
  }
  const long long width = sheetGap + columns * (layout.tile + sheetGap);
  const long long height =
      sheetGap + layout.titleHeight() + static_cast<long long>(layout.rows) * (layout.cellHeight() + sheetGap);
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
      sheet.paste(tilePicture(load.mesh, path, options, layout.tile, result.warnings), layout.tileLeft(i),
                  layout.tileTop(i));
    } else {
      result.problems.push_back(load.error);
      if (!options.markBad) return result;
      drawPlaceholder(sheet, layout.tileLeft(i), layout.tileTop(i), layout.tile);
    }
    drawLines(sheet, layout.tileLeft(i), layout.labelTop(i), labelFor(path, layout.tile, layout.labelScale),
              layout.labelScale);
  }
  drawLines(sheet, sheetGap, sheetGap, wrapLabel(options.title, charsPerLine(layout.width - 2 * sheetGap, layout.labelScale), 1),
            layout.labelScale);
  result.image = std::move(sheet);
  result.complete = true;
  return result;
}

std::vector<std::string> sweepLabel(const SweepPoints& points, int point, int tile) {
  const int scale = labelScaleFor(tile);
  if (points.parameters.empty()) return labelFor(points.results[static_cast<std::size_t>(point)], tile, scale);
  std::string text;
  for (const std::string& line : pointValues(points, point)) text += (text.empty() ? "" : ", ") + line;
  return wrapLabel(text, charsPerLine(tile, scale), maxLabelLines);
}

std::optional<SweepSheetLayout> layoutSweepSheet(const SweepPoints& points, const SheetOptions& options,
                                                 std::string& problem) {
  if (options.tile < minTile || options.tile > maxTile) {
    problem = "tile size " + std::to_string(options.tile) + " is outside " + std::to_string(minTile) + ".." +
              std::to_string(maxTile);
    return std::nullopt;
  }
  SweepSheetLayout layout;
  layout.tile = options.tile;
  layout.labelScale = labelScaleFor(options.tile);
  layout.grids = sweepGrids(points);
  const long long count = static_cast<long long>(points.results.size());
  if (layout.grids.empty()) {
    // Not a grid: the points in manifest order, as square a block as the count allows.
    SweepGrid block;
    long long columns = 1;
    while (columns * columns < count) ++columns;
    const long long rows = (count + columns - 1) / columns;
    block.rowValues.assign(static_cast<std::size_t>(rows), "");
    block.columnValues.assign(static_cast<std::size_t>(columns), "");
    block.cells.assign(static_cast<std::size_t>(rows * columns), -1);
    for (long long i = 0; i < count; ++i) block.cells[static_cast<std::size_t>(i)] = static_cast<int>(i);
    layout.grids.push_back(std::move(block));
  }
  for (int i = 0; i < static_cast<int>(count); ++i)
    layout.labelLines = std::max(layout.labelLines, static_cast<int>(sweepLabel(points, i, layout.tile).size()));
  long long height = sheetGap + layout.lineHeight() + sheetGap;  // under the sheet's title
  for (const SweepGrid& grid : layout.grids) {
    layout.columns = std::max(layout.columns, static_cast<int>(grid.columnValues.size()));
    for (const std::string& value : grid.rowValues) {
      if (grid.rowParameter.empty()) continue;
      const long long width =
          static_cast<long long>(parameterValue(grid.rowParameter, value).size()) * glyphAdvance * layout.labelScale;
      layout.rowHeadWidth = static_cast<int>(
          std::min<long long>(std::max<long long>(layout.rowHeadWidth, width + sheetGap), maxSheetSide));
    }
    if (!layout.gridTops.empty()) height += sheetGap;  // grids apart from each other
    layout.gridTops.push_back(static_cast<int>(std::min<long long>(height, maxSheetSide)));
    if (!grid.title.empty()) height += layout.lineHeight() + sheetGap;
    if (!grid.columnParameter.empty()) height += layout.lineHeight() + labelPadding;
    height += static_cast<long long>(grid.rowValues.size()) * (layout.cellHeight() + sheetGap);
  }
  const long long width =
      sheetGap + layout.rowHeadWidth + static_cast<long long>(layout.columns) * (layout.tile + sheetGap);
  if (width > maxSheetSide || height > maxSheetSide || width * height > maxSheetPixels) {
    problem = "the sheet would be " + std::to_string(width) + "x" + std::to_string(height) + " pixels, more than " +
              std::to_string(maxSheetSide) + " on a side or " + std::to_string(maxSheetPixels) +
              " in all; use a smaller --tile";
    return std::nullopt;
  }
  layout.width = static_cast<int>(width);
  layout.height = static_cast<int>(height);
  return layout;
}

SheetResult renderSweepSheet(const SweepPoints& points, const SheetOptions& options, const SweepSheetLayout& layout) {
  SheetResult result;
  Image sheet(layout.width, layout.height, backgroundFor(options.colour));
  const int scale = layout.labelScale;
  const int chars = charsPerLine(layout.tile, scale);
  drawLines(sheet, sheetGap, sheetGap, wrapLabel(options.title, charsPerLine(layout.width - 2 * sheetGap, scale), 1),
            scale);
  for (std::size_t g = 0; g < layout.grids.size(); ++g) {
    const SweepGrid& grid = layout.grids[g];
    int top = layout.gridTops[g];
    if (!grid.title.empty()) {
      drawText(sheet, sheetGap, top, grid.title, labelColour, scale);
      top += layout.lineHeight() + sheetGap;
    }
    const int left = sheetGap + layout.rowHeadWidth;
    if (!grid.columnParameter.empty()) {
      for (std::size_t c = 0; c < grid.columnValues.size(); ++c) {
        const std::vector<std::string> head =
            wrapLabel(parameterValue(grid.columnParameter, grid.columnValues[c]), chars, 1);
        drawText(sheet, left + static_cast<int>(c) * (layout.tile + sheetGap), top, head.front(), labelColour, scale);
      }
      top += layout.lineHeight() + labelPadding;
    }
    for (std::size_t r = 0; r < grid.rowValues.size(); ++r) {
      const int rowTop = top + static_cast<int>(r) * (layout.cellHeight() + sheetGap);
      if (!grid.rowParameter.empty()) {
        const std::string head = parameterValue(grid.rowParameter, grid.rowValues[r]);
        const int textLeft = left - sheetGap - static_cast<int>(head.size()) * glyphAdvance * scale;
        drawText(sheet, std::max(0, textLeft), rowTop + (layout.tile - glyphHeight * scale) / 2, head, labelColour,
                 scale);
      }
      for (std::size_t c = 0; c < grid.columnValues.size(); ++c) {
        const int point = grid.cells[r * grid.columnValues.size() + c];
        if (point < 0) continue;
        const int tileLeft = left + static_cast<int>(c) * (layout.tile + sheetGap);
        const std::string& path = points.results[static_cast<std::size_t>(point)];
        MeshLoad load = loadMesh(path, MeshFormat::threeDV);
        if (load.ok()) load.error = cannotColour(load.mesh, options.colour, path);
        if (load.ok()) {
          sheet.paste(tilePicture(load.mesh, path, options, layout.tile, result.warnings), tileLeft, rowTop);
        } else {
          result.problems.push_back(load.error);
          if (!options.markBad) return result;
          drawPlaceholder(sheet, tileLeft, rowTop, layout.tile);
        }
        drawLines(sheet, tileLeft, rowTop + layout.tile + labelPadding, sweepLabel(points, point, layout.tile), scale);
      }
    }
  }
  result.image = std::move(sheet);
  result.complete = true;
  return result;
}

}  // namespace view
