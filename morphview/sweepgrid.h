// A sweep laid out by its parameters: the parameters that vary across a manifest's lines
// (as `morphsweep-plan --points` lists them) give a grid, rows by one and columns by
// another; more than two give one grid per combination of the rest. Result names are only
// carried along, never read for values.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace view {

struct SweepPoints {
  std::vector<std::string> parameters;           // the swept ones, in the definition's table order
  std::vector<std::string> results;              // per manifest line, its 3DV result
  std::vector<std::vector<std::string>> values;  // per line, its value of each swept parameter
};

// Parses the output of `morphsweep-plan --points`; nothing, with the reason, when it is
// not that.
std::optional<SweepPoints> parsePoints(const std::string& text, std::string& problem);

// Runs the morphsweep-plan built beside this morphview (else the one on PATH) on the
// manifest; a fault ends the program with its message, as a bad input file does.
SweepPoints manifestPoints(const std::string& manifest);

struct SweepGrid {
  std::string title;                                 // "attraction 4, redThreshold 100"; empty for one grid
  std::string rowParameter, columnParameter;         // empty when not swept
  std::vector<std::string> rowValues, columnValues;  // in the manifest's order; one "" when not swept
  std::vector<int> cells;                            // rows x columns, row-major: the point, or -1
};

// The grids of a sweep: the last swept parameter runs along the columns, the one before
// along the rows (the manifest's order: later parameters vary faster). Empty when two
// lines share every value, so that no grid can hold them both.
std::vector<SweepGrid> sweepGrids(const SweepPoints& points);

// A point's values, "repulsion 4", one per swept parameter: what a tile says of itself.
std::vector<std::string> pointValues(const SweepPoints& points, int point);

// "name value" as headers and titles show it.
std::string parameterValue(const std::string& name, const std::string& value);

// The first comment line of a sweep definition, without its '#' and blanks; empty when it
// has none or cannot be read.
std::string definitionTitle(const std::string& definition);

}  // namespace view
