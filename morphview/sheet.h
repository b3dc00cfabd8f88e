// Contact sheets: many meshes in a grid of square tiles, each labelled under its tile with
// its file name (the part after the last '/'). A name too long for one line is wrapped,
// preferably after a '.', '_', '-', ',', '/' or blank; one that needs more than
// maxLabelLines lines shows only its tail, led by "...", since sweep results share their
// beginning and differ at the end. Labels are drawn at twice the font's size (14 pixels a
// capital) on tiles of 128 pixels and more. Above the tiles, the sheet's title.
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
inline constexpr int defaultTile = 256;  // a tile's side in pixels unless --tile says
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
  int tile = defaultTile;  // side of a tile in pixels
  Direction toCamera = defaultToCamera;
  std::optional<MeshFormat> format;       // unset: chosen from each file's name
  bool markBad = false;                   // draw unreadable files as marked tiles instead of refusing
  ColourMode colour = ColourMode::plain;  // a file without levels counts as unreadable
  bool frameAll = false;                  // frame every vertex, not the body's
  bool scaleBar = false;                  // each tile with a scale bar
  std::string title;                      // along the top (sheetTitle, sweepSheetTitle)
};

// The scale of label text on tiles of this side: 2 from bigLabelTile, else 1.
inline constexpr int bigLabelTile = 128;
inline constexpr int labelScaleFor(int tile) { return tile >= bigLabelTile ? 2 : 1; }

struct SheetLayout {
  int count = 0, columns = 0, rows = 0, tile = 0, labelLines = 0, labelScale = 1;
  int width = 0, height = 0;

  int lineHeight() const { return lineAdvance * labelScale; }
  int titleHeight() const { return lineHeight() + sheetGap; }  // the sheet's title and the gap under it
  int cellHeight() const { return tile + labelPadding + labelLines * lineHeight(); }
  int tileLeft(int i) const { return sheetGap + (i % columns) * (tile + sheetGap); }
  int tileTop(int i) const { return sheetGap + titleHeight() + (i / columns) * (cellHeight() + sheetGap); }
  int labelTop(int i) const { return tileTop(i) + tile + labelPadding; }
};

// `text` in lines of at most `maxChars` characters, at most `maxLines` of them.
std::vector<std::string> wrapLabel(std::string_view text, int maxChars, int maxLines);
// The label lines of one file for tiles of side `tile`, in text of this scale.
std::vector<std::string> labelFor(const std::string& path, int tile, int scale = 1);
// The title of a sheet of these files, or of a sweep's manifest.
std::string sheetTitle(const std::vector<std::string>& paths);
std::string sweepSheetTitle(const std::string& manifest, std::size_t points);

// The grid for these files, or nothing (with the reason in `problem`) when the options
// are out of range or the sheet would be too large.
std::optional<SheetLayout> layoutSheet(const std::vector<std::string>& paths, const SheetOptions& options,
                                       std::string& problem);

struct SheetResult {
  Image image;
  std::vector<std::string> problems;  // one message per file that could not be read
  std::vector<std::string> warnings;  // one per file with vertices far outside its body (farWarning)
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
  int tile = 0, labelLines = 0, rowHeadWidth = 0, columns = 0, labelScale = 1;
  int width = 0, height = 0;
  std::vector<int> gridTops;  // the top of each grid's block, under the sheet's title

  int lineHeight() const { return lineAdvance * labelScale; }
  int cellHeight() const { return tile + labelPadding + labelLines * lineHeight(); }
};

// The lines under a sweep point's tile: its values, or its file name when nothing is swept.
std::vector<std::string> sweepLabel(const SweepPoints& points, int point, int tile);

std::optional<SweepSheetLayout> layoutSweepSheet(const SweepPoints& points, const SheetOptions& options,
                                                 std::string& problem);
SheetResult renderSweepSheet(const SweepPoints& points, const SheetOptions& options, const SweepSheetLayout& layout);

}  // namespace view
