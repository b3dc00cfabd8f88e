// Plots drawn by gnuplot as PNG pictures, or SVG or PDF ones: the script is written here,
// gnuplot runs it as a child, and the picture replaces its target only when gnuplot
// reported nothing wrong. Colour that carries a value is on the viridis map, with a
// labelled colour box; lines are told apart by colour, dash and marker alike, so that
// lines that coincide, or a print in grey, still show each one. Numbers on the axes and
// in cells have at most four significant digits; x axes (cycles, swept parameters, all
// whole numbers) have whole-number tics and span exactly the data.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace stats {

// One line of a curve plot: its key label (empty for a single line) and its points.
struct Curve {
  std::string label;
  std::vector<std::pair<double, double>> points;
};

// Lines through the mean of the points at each x, every point marked. `countY`: the
// measure is a count, with whole-number tics.
std::string curveScript(const std::string& title, const std::string& xLabel, const std::string& yLabel,
                        const std::string& keyTitle, const std::vector<Curve>& curves, bool countY = false);

// One cell per (x value, y value), coloured and labelled with the mean of its values;
// the axes list the values in the order given, evenly spaced.
struct HeatCell {
  std::size_t x = 0, y = 0;  // indices into the value lists
  double value = 0;
};
std::string heatmapScript(const std::string& title, const std::string& xLabel, const std::string& yLabel,
                          const std::string& valueLabel, const std::vector<std::string>& xValues,
                          const std::vector<std::string>& yValues, const std::vector<HeatCell>& cells);

// A text as a gnuplot string literal, control characters dropped.
std::string gnuplotString(const std::string& text);

// The viridis colour at `t` (0..1) as "#rrggbb".
std::string viridisHex(double t);

enum class PlotFormat { png, svg, pdf };
// The names --plot-format accepts: "png", "svg", "pdf".
bool parsePlotFormat(const std::string& name, PlotFormat& format);

// Runs `script` (which must not set the terminal or output) with gnuplot and writes the
// picture to `out` atomically. Returns gnuplot's complaint, or why it could not run.
std::optional<std::string> drawWithGnuplot(const std::string& script, const std::string& out,
                                           PlotFormat format = PlotFormat::png);

}  // namespace stats
