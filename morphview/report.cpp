#include "report.h"

#include <set>

#include <cmath>
#include <string_view>

#include "colour.h"

#include "markup.h"
#include "reportassets.h"
#include "reportmesh.h"
#include "sheet.h"
#include "measure/table.h"

namespace view {

namespace {

// Tiles carry the lines a contact sheet of default tiles would show under them.
// The sheet's default tile: a SheetOptions holds strings, which no constant expression makes.
constexpr int labelTile = defaultTile;

std::string baseName(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos || slash + 1 == path.size() ? path : path.substr(slash + 1);
}

std::vector<std::string> labelOf(const std::string& name, ReportKind kind) {
  if (kind == ReportKind::grid) return labelFor(name, labelTile);
  return {baseName(name)};
}

const char* kindName(ReportKind kind) {
  switch (kind) {
    case ReportKind::series:
      return "series";
    case ReportKind::grid:
      return "grid";
    default:
      return "single";
  }
}

std::string jsonList(const std::vector<std::string>& list) {
  std::string json = "[";
  for (std::size_t k = 0; k < list.size(); ++k) {
    if (k) json += ',';
    json += jsonString(list[k]);
  }
  return json + "]";
}

std::string gridsJson(const std::vector<SweepGrid>& grids) {
  std::string json = "[";
  for (std::size_t g = 0; g < grids.size(); ++g) {
    const SweepGrid& grid = grids[g];
    if (g) json += ",\n";
    json += "{\"title\":" + jsonString(grid.title) + ",\"rowParameter\":" + jsonString(grid.rowParameter) +
            ",\"columnParameter\":" + jsonString(grid.columnParameter) + ",\"rowValues\":" + jsonList(grid.rowValues) +
            ",\"columnValues\":" + jsonList(grid.columnValues) + ",\"cells\":[";
    for (std::size_t k = 0; k < grid.cells.size(); ++k) {
      if (k) json += ',';
      json += std::to_string(grid.cells[k]);
    }
    json += "]}";
  }
  return json + "]";
}

// Per measure: null when it does not vary, else per parameter [firstOrder, total]; a
// measure without shares (a point without a value) is an empty list.
std::string sharesJson(const std::vector<stats::Effects>& shares) {
  std::string json = "[";
  for (std::size_t m = 0; m < shares.size(); ++m) {
    if (m) json += ',';
    if (shares[m].outcome == stats::Effects::Outcome::noEffect) {
      json += "null";
      continue;
    }
    json += '[';
    for (std::size_t f = 0; f < shares[m].shares.size(); ++f) {
      if (f) json += ',';
      json += '[';
      json += stats::formatReal(shares[m].shares[f].firstOrder);
      json += ',';
      json += stats::formatReal(shares[m].shares[f].total);
      json += ']';
    }
    json += ']';
  }
  return json + "]";
}

std::string dataJson(const Report& report) {
  std::string json = "{\"kind\":\"" + std::string(kindName(report.kind)) + "\",\"title\":" + jsonString(report.title);
  if (!report.grids.empty()) {
    json += ",\"parameters\":" + jsonList(report.parameters);
    json += ",\"grids\":" + gridsJson(report.grids);
  }
  if (report.measured) json += ",\"measureNames\":" + jsonList(stats::measureColumns());
  if (!report.shares.empty()) json += ",\"shares\":" + sharesJson(report.shares);
  json += ",\"items\":[";
  for (std::size_t i = 0; i < report.items.size(); ++i) {
    const ReportItem& item = report.items[i];
    json += i ? ",\n{" : "\n{";
    json += "\"name\":" + jsonString(item.name) + ",\"label\":[";
    for (std::size_t k = 0; k < item.label.size(); ++k) {
      if (k) json += ',';
      json += jsonString(item.label[k]);
    }
    json += "]";
    if (item.cycle) json += ",\"cycle\":" + std::to_string(*item.cycle);
    if (!item.values.empty()) json += ",\"values\":" + jsonList(item.values);
    if (!item.measures.empty()) {
      json += ",\"measures\":[";
      for (std::size_t k = 0; k < item.measures.size(); ++k) {
        if (k) json += ',';
        const std::string text = stats::formatReal(item.measures[k]);
        json += text.empty() ? "null" : text;
      }
      json += ']';
    }
    if (item.meshJson.empty()) {
      json += ",\"problem\":" + jsonString(item.problem);
    } else {
      json += ",\"mesh\":" + item.meshJson;
    }
    json += "}";
  }
  // The colour maps of the pictures, so that the page shows levels as morphview draws them.
  const auto rgbText = [](Rgb c) {
    std::string text = "[";
    text += std::to_string(c.r);
    text += ',';
    text += std::to_string(c.g);
    text += ',';
    text += std::to_string(c.b);
    text += ']';
    return text;
  };
  json += "],\n\"maps\":{\"level\":[";
  for (int level = 0; level < 256; ++level) {
    if (level) json += ',';
    json += rgbText(mapColour(level));
  }
  json += "],\"rgb\":[";
  for (int level = 0; level < 256; ++level) {
    if (level) json += ',';
    json += std::to_string(std::lround(rgbChannel(level)));
  }
  json += "],\"plainBackground\":";
  json += rgbText(plainBackground);
  json += ",\"levelBackground\":";
  json += rgbText(levelBackground);
  json += ",\"levelShadingFloor\":";
  json += std::to_string(levelShadingFloor);
  json += ",\"rgbShadingFloor\":";
  json += std::to_string(rgbShadingFloor);
  json += '}';
  return json + "}";
}

}  // namespace

ReportItem reportItem(const Mesh& mesh, const std::string& name, ReportKind kind) {
  std::string problem;
  const auto json = meshJson(mesh, problem);
  if (!json) return failedItem(name, name + ": " + problem, kind);
  ReportItem item;
  item.name = name;
  item.label = labelOf(name, kind);
  item.cycle = mesh.cycle;
  item.meshJson = *json;
  return item;
}

ReportItem measuredItem(const Mesh& mesh, const std::string& name, ReportKind kind) {
  ReportItem item = reportItem(mesh, name, kind);
  if (!item.meshJson.empty() && !mesh.faces.empty()) item.measures = stats::measureValues(stats::measure(mesh));
  return item;
}

ReportItem failedItem(const std::string& name, const std::string& problem, ReportKind kind) {
  ReportItem item;
  item.name = name;
  item.label = labelOf(name, kind);
  item.problem = problem.empty() ? "failed" : problem;
  return item;
}

std::string runFooter(const io::RunRecord& run) {
  // Styled in place: a page without a record keeps the very bytes it always had.
  std::string line = "morphsweep " + run.release;
  if (!run.commit.empty()) line += " (commit " + run.commit + ")";
  line += " \u00b7 " + run.start + " to " + run.end;
  line += " \u00b7 " + std::to_string(run.ok) + " ok, " + std::to_string(run.failed) + " failed, " +
          std::to_string(run.notRun) + " not run (" + run.status + ")";
  line += " \u00b7 " + run.processor + ", kernel " + run.unit + (run.host.empty() ? "" : ", on " + run.host);
  if (run.threads) {
    line += " \u00b7 " + std::to_string(*run.threads) + (*run.threads == 1 ? " thread" : " threads") + " per point";
  }
  if (run.jobs) line += (run.threads ? ", " : " \u00b7 ") + std::to_string(*run.jobs) + " points side by side";
  return "\n<footer id=\"run\" style=\"position: relative; z-index: 2; background: #1b1e26; font-size: 12px; "
         "padding: 3px 10px; color: #c8ccd2; overflow-wrap: anywhere\"><strong>Run</strong> " +
         markupEscaped(line, false) + "</footer>";
}

std::vector<stats::Effects> sweepShares(const Report& report) {
  if (report.parameters.empty() || !report.measured) return {};
  stats::FactorGrid grid;
  grid.levels.assign(report.items.size(), {});
  std::size_t cells = 1;
  for (std::size_t f = 0; f < report.parameters.size(); ++f) {
    std::vector<std::string> words;
    for (const ReportItem& item : report.items) {
      if (item.values.size() != report.parameters.size()) return {};
      words.push_back(item.values[f]);
    }
    std::size_t count = 0;
    const std::vector<std::size_t> index = stats::levelIndices(words, count);
    for (std::size_t i = 0; i < index.size(); ++i) grid.levels[i].push_back(index[i]);
    grid.levelCounts.push_back(count);
    cells *= count;
  }
  if (std::set<std::vector<std::size_t>>(grid.levels.begin(), grid.levels.end()).size() != cells) return {};
  std::vector<stats::Effects> shares;
  for (std::size_t m = 0; m < stats::measureColumns().size(); ++m) {
    grid.values.clear();
    for (const ReportItem& item : report.items) grid.values.push_back(m < item.measures.size() ? item.measures[m] : std::nan(""));
    shares.push_back(stats::factorEffects(grid));
  }
  return shares;
}

bool reportAvailable() { return !assets::three.empty(); }

std::string reportPage(const Report& report) {
  if (!reportAvailable()) return {};
  // The page's markers, each replaced once; the parts themselves are never searched, so
  // text inside them that looks like a marker stays as it is.
  const std::string three = "data:text/javascript;base64," + base64(assets::three);
  const std::pair<std::string_view, std::string> parts[] = {
      {"@TITLE@", markupEscaped(report.title, false)},
      {"@STYLE@", std::string(assets::viewerCss)},
      {"@THREE@", three},
      {"@DATA@", dataJson(report)},
      {"@VIEWER@", std::string(assets::viewerJs)},
      {"@FOOTER@", report.run ? runFooter(*report.run) : std::string()},
  };
  std::string page;
  std::string_view rest = assets::pageHtml;
  while (!rest.empty()) {
    std::size_t best = std::string_view::npos;
    const std::pair<std::string_view, std::string>* found = nullptr;
    for (const auto& part : parts) {
      const std::size_t at = rest.find(part.first);
      if (at < best) {
        best = at;
        found = &part;
      }
    }
    if (!found) {
      page.append(rest);
      break;
    }
    page.append(rest.substr(0, best));
    page += found->second;
    rest.remove_prefix(best + found->first.size());
  }
  return page;
}

}  // namespace view
