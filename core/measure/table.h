// The CSV table: the measure columns by name, reals written so that they read back to the
// same double on any machine, and fields quoted only where CSV needs it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "measure/measures.h"

namespace stats {

// The measure columns in table order; these are also the metric names plots accept.
const std::vector<std::string>& measureColumns();
// The measures in the order of measureColumns(); NaN where a value is absent.
std::vector<double> measureValues(const Measures& m);
// The column of `metric`, or nothing when no measure has that name.
std::optional<std::size_t> metricColumn(const std::string& metric);

// The shortest text that reads back to exactly `value`; empty for NaN and infinities.
std::string formatReal(double value);
// A field as CSV writes it: in double quotes, inner quotes doubled, when it holds a comma,
// a quote or a line break.
std::string csvField(const std::string& text);
// The fields joined by commas, ending in "\n".
std::string csvLine(const std::vector<std::string>& fields);
// The measure fields of a row; all empty when there are no measures.
std::vector<std::string> measureFields(const std::optional<Measures>& m);

}  // namespace stats
