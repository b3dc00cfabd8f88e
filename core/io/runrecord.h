// A sweep's run record (<manifest>.run.json, written by scripts/sweep-run.sh): which build
// ran which points where and when, and how each ended. The tools read it to show and tabulate
// where their results came from.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace io {

struct RunPoint {
  long long point = 0;  // manifest line, from 1
  std::string result;   // its 3DV result, relative to the record's folder
  std::string command;  // the command line as run (the manifest line when it never ran)
  std::string status;   // "ok", "failed" or "not run"
};

struct RunRecord {
  std::string manifest, folder;  // the manifest as given, the folder the points ran in
  std::string release, commit;   // of the morphsweep the points ran; commit may be ""
  std::string processor, unit, host;
  std::optional<long long> threads, jobs;  // per point; points side by side
  std::string start, end;                  // ISO 8601, UTC
  std::string status;                      // "ok" or "failed"
  long long ok = 0, failed = 0, notRun = 0;
  std::vector<RunPoint> points;  // left empty when read without them
};

// Reads the record at `path` into `out` in one pass, keeping only the fields above; with
// `withPoints` false the point list is parsed but not kept. Returns the fault, "<path>: ...",
// when the file cannot be read or is no run record (not JSON, a field missing or of another
// type), or is past a record's bounds: larger than 2 GiB, nested deeper than 32 levels, or
// a count past the signed range.
std::optional<std::string> readRunRecord(const std::string& path, RunRecord& out, bool withPoints = true);

// The record beside a manifest.
inline std::string runRecordName(const std::string& manifest) { return manifest + ".run.json"; }

}  // namespace io
