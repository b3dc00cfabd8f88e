#include "reportcli.h"

#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "failure.h"
#include "outfile.h"
#include "io/outputcheck.h"
#include "report.h"
#include "io/seriesread.h"
#include "run/process.h"

namespace view {

namespace {

constexpr const char* usage =
    "usage: morphview --html OUT.html [--format 3dv|template|obj] [--mark-bad] [--title T] FILE...\n"
    "       morphview --html OUT.html [--format F] [--title T] --series FILE...|SERIES.pvd\n"
    "       morphview --html OUT.html [--title T] --manifest MANIFEST\n"
    "  one FILE: that mesh; several: a grid of labelled tiles, in the order given\n"
    "  --series     the files are snapshots of one embryo, in time order: a slider and a play button\n"
    "  --manifest   the results of a sweep manifest, one tile per line; a missing or unreadable\n"
    "               result is shown as failed (run from the folder the manifest was run in)\n"
    "  --mark-bad   show an unreadable file as a failed tile instead of refusing the report\n"
    "  --title T    the page's title (default: OUT.html's name)\n";

[[noreturn]] void refuse(const std::string& problem) {
  std::fprintf(stderr, "morphview: %s\n%s", problem.c_str(), usage);
  std::exit(exitBadCommandLine);
}

struct Options {
  std::string output, title, manifest;
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
      std::fputs(usage, stdout);
      std::exit(0);
    } else if (word == "--series") {
      o.series = true;
    } else if (word == "--mark-bad") {
      o.markBad = true;
    } else if (word == "--html" || word == "--title" || word == "--manifest" || word == "--format") {
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
  if (!o.titleGiven) {
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

// The folder morphview runs from, to find morphsweep-plan in the build tree beside it.
std::string ownFolder() {
  std::vector<char> path(4096);
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size() - 1);
  if (length <= 0) return {};
  std::string self(path.data(), static_cast<std::size_t>(length));
  const std::size_t slash = self.find_last_of('/');
  return slash == std::string::npos ? std::string() : self.substr(0, slash);
}

// The result names of a manifest, one per line, from `morphsweep-plan --results`, which
// knows morphsweep's names; its own message tells what is wrong with a bad manifest.
std::vector<std::string> manifestResults(const std::string& manifest) {
  std::string plan = ownFolder() + "/../morphsweep/morphsweep-plan";
  if (access(plan.c_str(), X_OK) != 0) plan = "morphsweep-plan";  // an installed one, from PATH
  // "--" ends the planner's options, so a manifest named "-x" or "--help" is a file.
  run::Child planner;
  const std::string problem = planner.start({{plan, "--results", "--", manifest}, {}, {run::Stream::pipe}, {}});
  if (!problem.empty() && !planner.notFound()) fail(exitBadFile, problem);
  const std::string text = problem.empty() ? planner.readAll() : std::string();
  const run::ChildStatus status = planner.wait();
  if (!problem.empty()) std::fprintf(stderr, "morphview: %s\n", problem.c_str());
  if (!problem.empty() || !status.exited || status.code == 127) {
    fail(exitBadCommandLine, "morphsweep-plan is needed for --manifest; it was not found beside morphview or on PATH");
  }
  if (status.code != 0) fail(exitBadFile, manifest + ": the results of this manifest cannot be listed");
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find('\n', start);
    names.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (names.empty()) fail(exitBadFile, manifest + ": holds no point");
  return names;
}

}  // namespace

bool wantsReport(int argc, char** argv) {
  // The word after an option that takes a value is that value, never a mode: "-o --html"
  // names a picture "--html", as it always did.
  const std::set<std::string> takesValue = {"-o",     "--view",    "--size",  "--format",
                                            "--tile", "--columns", "--title", "--manifest"};
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
  if (!o.manifest.empty()) inputs.push_back(o.manifest);
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
    for (const std::string& name : manifestResults(o.manifest)) {
      const MeshLoad load = loadMesh(name, MeshFormat::threeDV);
      report.items.push_back(load.ok() ? reportItem(load.mesh, name, report.kind)
                                       : failedItem(name, load.error, report.kind));
      if (!load.ok()) std::fprintf(stderr, "morphview: %s (shown as failed)\n", load.error.c_str());
    }
  } else if (o.series || (o.files.size() == 1 && endsWith(o.files[0], ".pvd"))) {
    report.kind = ReportKind::series;
    std::vector<std::pair<std::optional<long long>, std::string>> steps;
    if (o.files.size() == 1 && endsWith(o.files[0], ".pvd")) {
      for (auto& [cycle, file] : seriesSteps(o.files[0])) steps.emplace_back(cycle, std::move(file));
    } else {
      for (const std::string& file : o.files) steps.emplace_back(std::nullopt, file);
    }
    for (const auto& [cycle, file] : steps) {
      const MeshLoad load = loadMesh(file, formatOf(file));
      if (!load.ok()) fail(exitBadFile, load.error);
      ReportItem item = reportItem(load.mesh, file, report.kind);
      if (item.meshJson.empty()) fail(exitBadFile, item.problem);
      if (!item.cycle) item.cycle = cycle;
      report.items.push_back(std::move(item));
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
  OutputFile out(o.output);
  std::fwrite(page.data(), 1, page.size(), out.stream());
  out.commit();  // a short write leaves the stream in error, which commit reports
  return 0;
}

}  // namespace view
