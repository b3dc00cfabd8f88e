#include "sweepgrid.h"

#include <unistd.h>

#include <fstream>
#include <map>

#include "fail.h"
#include "process.h"

namespace view {

namespace {

std::vector<std::string> splitTabs(const std::string& line) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    parts.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
    if (tab == std::string::npos) return parts;
    start = tab + 1;
  }
}

// The folder morphview runs from, to find morphsweep-plan in the build tree beside it.
std::string ownFolder() {
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  std::string self(path.data(), static_cast<std::size_t>(length));
  const std::size_t slash = self.find_last_of('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash);
}

// Values in the order they first appear.
std::vector<std::string> distinctValues(const SweepPoints& points, std::size_t column) {
  std::vector<std::string> seen;
  for (const auto& values : points.values) {
    bool known = false;
    for (const std::string& v : seen) known = known || v == values[column];
    if (!known) seen.push_back(values[column]);
  }
  return seen;
}

std::size_t indexOf(const std::vector<std::string>& list, const std::string& value) {
  std::size_t k = 0;
  while (k < list.size() && list[k] != value) ++k;
  return k;
}

}  // namespace

std::optional<SweepPoints> parsePoints(const std::string& text, std::string& problem) {
  SweepPoints points;
  std::size_t start = 0;
  bool header = true;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    const std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    start = end == std::string::npos ? text.size() : end + 1;
    std::vector<std::string> parts = splitTabs(line);
    if (header) {
      if (parts.front() != "result") {
        problem = "the list of points has no header";
        return std::nullopt;
      }
      points.parameters.assign(parts.begin() + 1, parts.end());
      header = false;
      continue;
    }
    if (parts.size() != points.parameters.size() + 1) {
      problem = "a point of the list has " + std::to_string(parts.size()) + " columns, not " +
                std::to_string(points.parameters.size() + 1);
      return std::nullopt;
    }
    points.results.push_back(parts.front());
    points.values.emplace_back(parts.begin() + 1, parts.end());
  }
  if (points.results.empty()) {
    problem = "holds no point";
    return std::nullopt;
  }
  return points;
}

SweepPoints manifestPoints(const std::string& manifest) {
  std::string plan = ownFolder() + "/../morphsweep/morphsweep-plan";
  if (access(plan.c_str(), X_OK) != 0) plan = "morphsweep-plan";  // an installed one, from PATH
  // "--" ends the planner's options, so a manifest named "-x" or "--help" is a file.
  run::Child planner;
  const std::string startProblem =
      planner.start({{plan, "--points", "--", manifest}, {}, {run::Stream::pipe}, {}});
  if (!startProblem.empty() && !planner.notFound()) fail(exitBadFile, startProblem);
  const std::string text = startProblem.empty() ? planner.readAll() : std::string();
  const run::ChildStatus status = planner.wait();
  if (!startProblem.empty() || !status.exited || status.code == 127) {
    fail(exitBadCommandLine, "morphsweep-plan is needed for --manifest; it was not found beside morphview or on PATH");
  }
  if (status.code != 0) fail(exitBadFile, manifest + ": the results of this manifest cannot be listed");
  std::string problem;
  const auto points = parsePoints(text, problem);
  if (!points) fail(exitBadFile, manifest + ": " + problem);
  return *points;
}

std::string parameterValue(const std::string& name, const std::string& value) { return name + " " + value; }

std::vector<std::string> pointValues(const SweepPoints& points, int point) {
  std::vector<std::string> lines;
  for (std::size_t k = 0; k < points.parameters.size(); ++k)
    lines.push_back(parameterValue(points.parameters[k], points.values[static_cast<std::size_t>(point)][k]));
  return lines;
}

std::vector<SweepGrid> sweepGrids(const SweepPoints& points) {
  const std::size_t swept = points.parameters.size();
  const std::size_t count = points.results.size();
  // Columns by the last swept parameter, rows by the one before; the rest name the grid.
  const bool hasColumns = swept >= 1, hasRows = swept >= 2;
  const std::size_t columnSlot = swept - 1, rowSlot = swept - 2;
  const std::size_t titleSlots = swept >= 2 ? swept - 2 : 0;
  std::vector<SweepGrid> grids;
  std::map<std::vector<std::string>, std::size_t> gridOf;
  const std::vector<std::string> columns =
      hasColumns ? distinctValues(points, columnSlot) : std::vector<std::string>{""};
  const std::vector<std::string> rows = hasRows ? distinctValues(points, rowSlot) : std::vector<std::string>{""};
  for (std::size_t i = 0; i < count; ++i) {
    const auto& values = points.values[i];
    const std::vector<std::string> rest(values.begin(), values.begin() + static_cast<long>(titleSlots));
    auto [at, added] = gridOf.try_emplace(rest, grids.size());
    if (added) {
      SweepGrid grid;
      for (std::size_t k = 0; k < titleSlots; ++k)
        grid.title += (k ? ", " : "") + parameterValue(points.parameters[k], values[k]);
      if (hasRows) grid.rowParameter = points.parameters[rowSlot];
      if (hasColumns) grid.columnParameter = points.parameters[columnSlot];
      grid.rowValues = rows;
      grid.columnValues = columns;
      grid.cells.assign(rows.size() * columns.size(), -1);
      grids.push_back(std::move(grid));
    }
    SweepGrid& grid = grids[at->second];
    const std::size_t r = hasRows ? indexOf(rows, values[rowSlot]) : 0;
    const std::size_t c = hasColumns ? indexOf(columns, values[columnSlot]) : 0;
    int& cell = grid.cells[r * columns.size() + c];
    if (cell >= 0) return {};  // two lines of the same values
    cell = static_cast<int>(i);
  }
  return grids;
}

std::string definitionTitle(const std::string& definition) {
  std::ifstream in(definition);
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t start = line.find_first_not_of(" \t\r");
    if (start == std::string::npos) continue;
    if (line[start] != '#') continue;
    std::string text =
        line.substr(line.find_first_not_of("# \t", start) == std::string::npos ? line.size()
                                                                               : line.find_first_not_of("# \t", start));
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.pop_back();
    // A title is one line of text: no control character reaches the page.
    for (char& c : text) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    }
    if (!text.empty()) return text;
  }
  return {};
}

}  // namespace view
