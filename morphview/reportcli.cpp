#include "reportcli.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "fail.h"
#include "helptext.h"
#include "version.h"
#include "outfile.h"
#include "io/outputcheck.h"
#include "report.h"
#include "io/runrecord.h"
#include "io/seriesread.h"
#include "process.h"
#include "seriesorder.h"
#include "sweepgrid.h"

namespace view {

namespace {

constexpr const char* usage =
    "usage: morphview --html OUT.html [--format 3dv|template|obj] [--mark-bad] [--title T] FILE...\n"
    "       morphview --html OUT.html [--format F] [--title T] --series FILE...|SERIES.pvd\n"
    "       morphview --html OUT.html [--title T] --manifest MANIFEST [--definition DEF]\n"
    "  one FILE: that mesh; several: a grid of labelled tiles, in the order given\n"
    "  --series     the files are snapshots of one embryo, in any order: a slider and a play button,\n"
    "               by the cycle each carries (two of one cycle are refused)\n"
    "  --manifest   the results of a sweep manifest, one tile per line, in a grid by the swept\n"
    "               parameters; a missing or unreadable result is shown as failed (run from the\n"
    "               folder the manifest was run in)\n"
    "  --definition the sweep's definition: its first comment line is the title\n"
    "  --mark-bad   show an unreadable file as a failed tile instead of refusing the report\n"
    "  --title T    the page's title (default: the definition's first comment, the manifest's\n"
    "               name, or OUT.html's name)\n";

[[noreturn]] void refuse(const std::string& problem) {
  std::fprintf(stderr, "morphview: %s\n%s", problem.c_str(), usage);
  std::exit(exitBadCommandLine);
}

struct Options {
  std::string output, title, manifest, definition;
  bool series = false, markBad = false, titleGiven = false;
  std::optional<MeshFormat> format;
  std::vector<std::string> files;
};

bool endsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

Options parse(int argc, char** argv) {
  Options o;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (optionsEnded || word.empty() || word[0] != '-' || word == "-") {
      o.files.push_back(word);
      continue;
    }
    if (word == "--") {
      optionsEnded = true;
    } else if (word == "-h" || word == "--help") {
      std::exit(printInfo(helpText));
    } else if (word == "--version") {
      std::exit(printInfo(versionText("morphview")));
    } else if (word == "--series") {
      o.series = true;
    } else if (word == "--mark-bad") {
      o.markBad = true;
    } else if (word == "--html" || word == "--title" || word == "--manifest" || word == "--format" ||
               word == "--definition") {
      if (i + 1 >= argc) refuse(word + " needs a value");
      const std::string value = argv[++i];
      if (word == "--html") {
        if (value.empty()) refuse("--html needs a file name");
        if (!o.output.empty()) refuse("--html given twice");
        o.output = value;
      } else if (word == "--title") {
        o.title = value;
        o.titleGiven = true;
      } else if (word == "--manifest") {
        if (value.empty()) refuse("--manifest needs a file name");
        o.manifest = value;
      } else if (word == "--definition") {
        if (value.empty()) refuse("--definition needs a file name");
        o.definition = value;
      } else {
        MeshFormat format;
        if (!parseFormatName(value, format)) refuse("--format must be 3dv, template or obj, got '" + value + "'");
        o.format = format;
      }
    } else {
      refuse("unknown option '" + word + "' with --html");
    }
  }
  if (!o.manifest.empty()) {
    if (!o.files.empty()) refuse("--manifest takes no further files");
    if (o.series) refuse("--series and --manifest exclude each other");
    if (o.format) refuse("--format does not apply to --manifest: its results are 3DV files");
  } else if (o.files.empty()) {
    refuse("no input file");
  }
  if (o.series && o.markBad) refuse("--mark-bad does not apply to a series");
  if (!o.definition.empty() && o.manifest.empty()) refuse("--definition applies only with --manifest");
  if (!o.titleGiven && !o.manifest.empty()) {
    // A sweep is named by what its definition says of it, else by its manifest.
    if (!o.definition.empty()) {
      if (access(o.definition.c_str(), R_OK) != 0) {
        fail(exitBadFile, o.definition + ": cannot open: " + std::strerror(errno));
      }
      o.title = definitionTitle(o.definition);
    }
    if (o.title.empty()) o.title = o.manifest;
  } else if (!o.titleGiven) {
    const std::size_t slash = o.output.find_last_of('/');
    o.title = slash == std::string::npos ? o.output : o.output.substr(slash + 1);
  }
  return o;
}

// The frames of a .pvd series as (cycle, file) pairs, file names as they can be opened.
std::vector<std::pair<long long, std::string>> seriesSteps(const std::string& pvd) {
  SeriesLoad series = loadSeries(pvd);
  const std::vector<long long> cycles = wholeCycles(series, pvd);
  if (!series.ok()) fail(exitBadFile, series.error);
  std::vector<std::pair<long long, std::string>> steps;
  for (std::size_t i = 0; i < cycles.size(); ++i) steps.emplace_back(cycles[i], series.steps[i].file);
  return steps;
}

}  // namespace

bool wantsReport(int argc, char** argv) {
  // The word after an option that takes a value is that value, never a mode: "-o --html"
  // names a picture "--html", as it always did.
  const std::set<std::string> takesValue = {"-o",        "--view",  "--size",     "--format",    "--tile",
                                            "--columns", "--title", "--manifest", "--definition"};
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--") return false;
    if (word == "--html") return true;
    if (takesValue.count(word)) ++i;
  }
  return false;
}

int reportMain(int argc, char** argv) {
  const Options o = parse(argc, argv);
  std::vector<std::string> inputs = o.files;
  if (!o.manifest.empty()) inputs.insert(inputs.end(), {o.manifest, io::runRecordName(o.manifest)});
  if (!o.definition.empty()) inputs.push_back(o.definition);
  if (const auto problem = outputProblem(o.output, inputs)) fail(exitBadCommandLine, *problem);
  if (!reportAvailable()) {
    fail(exitBadCommandLine,
         "this morphview was built without three.js, so it cannot write --html reports; "
         "run scripts/install-deps.sh and build again");
  }
  Report report;
  report.title = o.title;
  const auto formatOf = [&o](const std::string& file) { return o.format.value_or(formatForName(file)); };
  if (!o.manifest.empty()) {
    // A sweep: every point has a tile, and a point without a readable result is shown failed.
    report.kind = ReportKind::grid;
    const SweepPoints points = manifestPoints(o.manifest);
    report.parameters = points.parameters;
    report.grids = sweepGrids(points);
    report.measured = true;
    for (std::size_t i = 0; i < points.results.size(); ++i) {
      const std::string& name = points.results[i];
      const MeshLoad load = loadMesh(name, MeshFormat::threeDV);
      ReportItem item =
          load.ok() ? measuredItem(load.mesh, name, report.kind) : failedItem(name, load.error, report.kind);
      item.values = points.values[i];
      // A tile of a sweep says its values; its file name shows on hover and in the table.
      if (!points.parameters.empty()) item.label = pointValues(points, static_cast<int>(i));
      report.items.push_back(std::move(item));
      if (!load.ok()) std::fprintf(stderr, "morphview: %s (shown as failed)\n", load.error.c_str());
    }
    if (!report.grids.empty()) report.shares = sweepShares(report);  // drawn beside a grid
    // The run record beside the manifest, when the sweep left one, gives the page its footer;
    // one that cannot be read is named, and the page goes without.
    const std::string record = io::runRecordName(o.manifest);
    std::error_code error;
    if (std::filesystem::exists(record, error)) {
      io::RunRecord run;
      if (const auto problem = io::readRunRecord(record, run, false)) {
        std::fprintf(stderr, "morphview: warning: %s; the report has no run footer\n", problem->c_str());
      } else {
        report.run = std::move(run);
      }
    }
  } else if (o.series || (o.files.size() == 1 && endsWith(o.files[0], ".pvd"))) {
    report.kind = ReportKind::series;
    report.measured = true;
    std::vector<std::pair<std::optional<long long>, std::string>> steps;
    const bool fromIndex = o.files.size() == 1 && endsWith(o.files[0], ".pvd");
    if (fromIndex) {
      for (auto& [cycle, file] : seriesSteps(o.files[0])) steps.emplace_back(cycle, std::move(file));
    } else {
      for (const std::string& file : o.files) steps.emplace_back(std::nullopt, file);
    }
    for (const auto& [cycle, file] : steps) {
      const MeshLoad load = loadMesh(file, formatOf(file));
      if (!load.ok()) fail(exitBadFile, load.error);
      ReportItem item = measuredItem(load.mesh, file, report.kind);
      if (item.meshJson.empty()) fail(exitBadFile, item.problem);
      if (!item.cycle) item.cycle = cycle;
      report.items.push_back(std::move(item));
    }
    // Snapshots from a shell glob come in name order; the slider runs by cycle. A series
    // index keeps the order of its timesteps.
    if (!fromIndex) {
      std::vector<SeriesEntry> entries;
      for (const ReportItem& item : report.items) entries.push_back({item.cycle, item.name});
      std::string problem;
      const std::vector<std::size_t> order = cycleOrder(entries, problem);
      if (!problem.empty()) fail(exitBadFile, problem);
      std::vector<ReportItem> ordered;
      for (const std::size_t k : order) ordered.push_back(std::move(report.items[k]));
      report.items = std::move(ordered);
    }
  } else {
    report.kind = o.files.size() == 1 ? ReportKind::single : ReportKind::grid;
    for (const std::string& file : o.files) {
      const MeshLoad load = loadMesh(file, formatOf(file));
      if (!load.ok() && !o.markBad) fail(exitBadFile, load.error);
      if (!load.ok()) std::fprintf(stderr, "morphview: %s (shown as failed)\n", load.error.c_str());
      report.items.push_back(load.ok() ? reportItem(load.mesh, file, report.kind)
                                       : failedItem(file, load.error, report.kind));
    }
  }
  const std::string page = reportPage(report);
  OutputFile out(o.output, TemporarySweep::thisFile, ExistingName::kept);
  std::fwrite(page.data(), 1, page.size(), out.stream());
  out.commit();  // a short write leaves the stream in error, which commit reports
  return 0;
}

}  // namespace view
