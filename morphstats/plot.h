// Plots drawn by gnuplot as PNG pictures: the script is written here, gnuplot runs it as a
// child, and the picture replaces its target only when gnuplot reported nothing wrong.
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

// Lines through the mean of the points at each x, every point marked.
std::string curveScript(const std::string& title, const std::string& xLabel, const std::string& yLabel,
                        const std::string& keyTitle, const std::vector<Curve>& curves);

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

// Runs `script` (which must not set the terminal or output) with gnuplot and writes the
// picture to `png` atomically. Returns gnuplot's complaint, or why it could not run.
std::optional<std::string> drawWithGnuplot(const std::string& script, const std::string& png);

}  // namespace stats
