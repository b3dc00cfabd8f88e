// A sweep's table: one row per manifest line, with the parameters that vary across the
// manifest as columns and the measures of the point's result, or why there are none.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "measure/measures.h"

namespace stats {

struct SweepPoint {
  int line = 0;                      // manifest line, from 1
  std::vector<std::string> words;    // the morphsweep (or a growth sweep's morphseed) call, program first
  std::string result;                // the 3DV result it writes
  std::string status;                // "ok", "missing" or "failed"
  std::string reason;                // why not ok
  std::optional<Measures> measures;  // when ok
};

struct SweepTable {
  // Names of the swept parameters (those with more than one value), in command-line order.
  std::vector<std::string> swept;
  // Per point, its value of each swept parameter, as the manifest words give it.
  std::vector<std::vector<std::string>> values;
  std::vector<SweepPoint> points;
};

// The word of the morphsweep call (program first) that carries `parameter`, one of the
// definition names (the fourteen numbers and the input template); 0 when no such name.
std::size_t parameterWord(const std::string& parameter);
// Every parameter name, comma separated, for messages.
std::string parameterNames();
// Whether `parameter` names one a sweep of either program may vary (the above, and seed).
bool knownParameter(const std::string& parameter);
// The value `line` (plan::lineParameters of a point's words) gives `parameter`, if it names it.
std::optional<std::string> lineValue(const std::vector<std::pair<std::string, std::string>>& line,
                                     const std::string& parameter);

// Reads the manifest and measures every point's result. A point whose latest row in
// `joblog` (GNU parallel's job log; may be absent) shows a failure is "failed" with the
// last line of its error log (`<manifest>.logs/<line>.err`) as the reason; a result that
// does not exist is "missing"; one that cannot be read is "failed" with the reader's
// message. Returns the fault when the manifest itself cannot be read or a line is not a
// morphsweep call.
std::optional<std::string> readSweep(const std::string& manifest, const std::string& joblog, SweepTable& out);

// Header and rows: point, the swept parameters, status, reason, file, then the measures,
// then the `extra` columns with each point's fields of them.
std::string sweepCsv(const SweepTable& table, const std::vector<std::string>& extra = {},
                     const std::function<std::vector<std::string>(const SweepPoint&)>& extraFields = nullptr);

}  // namespace stats
