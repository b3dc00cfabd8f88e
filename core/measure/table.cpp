#include "table.h"

#include <charconv>
#include <cmath>
#include <limits>

namespace stats {

const std::vector<std::string>& measureColumns() {
  static const std::vector<std::string> columns{
      "vertices",    "triangles",  "area",       "volume",       "sphericity",   "majorLength", "middleLength",
      "minorLength", "elongation", "meanRadius", "radiusSpread", "minX",         "minY",        "minZ",
      "maxX",        "maxY",       "maxZ",       "angleDefect",  "tJunctions",   "redAbove",    "greenAbove",
      "blueAbove",   "redMean",    "greenMean",  "blueMean",     "surfaceFaults",
      // Later columns go at the end, so that scripts reading columns by place keep working.
      "farVertices"};
  return columns;
}

std::vector<double> measureValues(const Measures& m) {
  const double absent = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> v{
      double(m.vertices),  double(m.triangles), m.area,       m.volume,     m.sphericity,   m.lengths[0],
      m.lengths[1],        m.lengths[2],        m.elongation, m.meanRadius, m.radiusSpread, m.boxMin[0],
      m.boxMin[1],         m.boxMin[2],         m.boxMax[0],  m.boxMax[1],  m.boxMax[2],    m.angleDefect,
      double(m.tJunctions)};
  for (const auto& group : {m.areaAbove, m.meanLevel}) {
    for (std::size_t k = 0; k < 3; ++k) v.push_back(group ? (*group)[k] : absent);
  }
  // Last, so that the columns tables had before keep their places.
  v.push_back(double(m.surfaceFaults));
  v.push_back(double(m.farVertices));
  return v;
}

std::optional<std::size_t> metricColumn(const std::string& metric) {
  const auto& columns = measureColumns();
  for (std::size_t k = 0; k < columns.size(); ++k) {
    if (columns[k] == metric) return k;
  }
  return std::nullopt;
}

std::string formatReal(double value) {
  if (!std::isfinite(value)) return "";
  char text[64];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value);
  return error == std::errc() ? std::string(text, end) : "";
}

std::string csvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string csvLine(const std::vector<std::string>& fields) {
  std::string line;
  for (std::size_t k = 0; k < fields.size(); ++k) {
    if (k) line += ',';
    line += csvField(fields[k]);
  }
  return line + '\n';
}

std::vector<std::string> measureFields(const std::optional<Measures>& m) {
  std::vector<std::string> fields;
  if (!m) return std::vector<std::string>(measureColumns().size());
  for (const double v : measureValues(*m)) fields.push_back(formatReal(v));
  return fields;
}

}  // namespace stats
