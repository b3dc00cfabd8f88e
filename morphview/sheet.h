// Contact sheets: many meshes in a grid of square tiles, each labelled under its tile with
// its file name (the part after the last '/'). A name too long for one line is wrapped,
// preferably after a '.', '_', '-', ',', '/' or blank; one that needs more than
// maxLabelLines lines shows only its tail, led by "...", since sweep results share their
// beginning and differ at the end.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "font.h"
#include "render.h"
#include "sweepgrid.h"

namespace view {

inline constexpr int sheetGap = 8;      // pixels around the sheet and between cells
inline constexpr int labelPadding = 3;  // between a tile and its label
inline constexpr int maxLabelLines = 6;
inline constexpr int minTile = 32;
inline constexpr int maxTile = 4096;
inline constexpr int maxSheetSide = 32768;
inline constexpr long long maxSheetPixels = 1LL << 27;
// White: brighter than any shaded surface, so labels are told apart from pictures.
inline constexpr Rgb labelColour{255, 255, 255};
// A file that could not be read, with --mark-bad: a dark red tile crossed in red.
inline constexpr Rgb placeholderColour{80, 24, 24};
inline constexpr Rgb placeholderMarkColour{230, 60, 60};

struct SheetOptions {
  int columns = 0;  // 0: as close to a square grid as the count allows
  int tile = 256;   // side of a tile in pixels
  Direction toCamera = defaultToCamera;
  std::optional<MeshFormat> format;       // unset: chosen from each file's name
  bool markBad = false;                   // draw unreadable files as marked tiles instead of refusing
  ColourMode colour = ColourMode::plain;  // a file without levels counts as unreadable
};

struct SheetLayout {
  int count = 0, columns = 0, rows = 0, tile = 0, labelLines = 0;
  int width = 0, height = 0;

  int cellHeight() const { return tile + labelPadding + labelLines * lineAdvance; }
  int tileLeft(int i) const { return sheetGap + (i % columns) * (tile + sheetGap); }
  int tileTop(int i) const { return sheetGap + (i / columns) * (cellHeight() + sheetGap); }
  int labelTop(int i) const { return tileTop(i) + tile + labelPadding; }
};

// `text` in lines of at most `maxChars` characters, at most `maxLines` of them.
std::vector<std::string> wrapLabel(std::string_view text, int maxChars, int maxLines);
// The label lines of one file for tiles of side `tile`.
std::vector<std::string> labelFor(const std::string& path, int tile);

// The grid for these files, or nothing (with the reason in `problem`) when the options
// are out of range or the sheet would be too large.
std::optional<SheetLayout> layoutSheet(const std::vector<std::string>& paths, const SheetOptions& options,
                                       std::string& problem);

struct SheetResult {
  Image image;
  std::vector<std::string> problems;  // one message per file that could not be read
  bool complete = false;              // false: a file was refused and there is no sheet
};

// Reads and draws the files one at a time, so only one mesh is held in memory. Without
// markBad, the first unreadable file ends the work.
SheetResult renderSheet(const std::vector<std::string>& paths, const SheetOptions& options, const SheetLayout& layout);

// The contact sheet of a sweep: its grids one under another, each under its title (the
// values of the parameters beyond two), its columns headed by the last swept parameter's
// values ("repulsion 4") and its rows by the one before; under each tile its values. A
// manifest whose lines do not form a grid gets one block of tiles in manifest order.
struct SweepSheetLayout {
  std::vector<SweepGrid> grids;
  int tile = 0, labelLines = 0, rowHeadWidth = 0, columns = 0;
  int width = 0, height = 0;
  std::vector<int> gridTops;  // the top of each grid's block

  int cellHeight() const { return tile + labelPadding + labelLines * lineAdvance; }
};

// The lines under a sweep point's tile: its values, or its file name when nothing is swept.
std::vector<std::string> sweepLabel(const SweepPoints& points, int point, int tile);

std::optional<SweepSheetLayout> layoutSweepSheet(const SweepPoints& points, const SheetOptions& options,
                                                 std::string& problem);
SheetResult renderSweepSheet(const SweepPoints& points, const SheetOptions& options, const SweepSheetLayout& layout);

}  // namespace view
