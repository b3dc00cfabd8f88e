// Reading a VTK collection file (.pvd), the index of a snapshot series: which file holds
// which time step. The steps must be listed once each, in increasing order, and every
// file must exist; anything else is refused with the reason.
#pragma once

#include <string>
#include <vector>

namespace view {

struct SeriesStep {
  double timestep = 0;  // the growth cycle, for the programs' series
  std::string file;     // as it can be opened: relative names are taken from the .pvd's folder
};

struct SeriesLoad {
  std::vector<SeriesStep> steps;
  std::string error;  // "<file>: <what is wrong>", empty when the series was read
  bool ok() const { return error.empty(); }
};

// Parses collection text already in memory; `name` labels the messages and its folder
// anchors relative file names. Files are checked to exist only by loadSeries.
SeriesLoad parseSeries(const std::string& text, const std::string& name);
SeriesLoad loadSeries(const std::string& path);

// For a reader that takes the timesteps as growth cycles: every step's cycle, a whole
// number from 0 to 2^53 (beyond it doubles skip whole numbers); a step that is not one
// turns the load into a refusal naming the step.
std::vector<long long> wholeCycles(SeriesLoad& load, const std::string& name);

}  // namespace view
