// morphstats: shape measures of result files as a CSV table, per file, along a growth series
// or over a sweep's points, and plots of one measure against cycle or the swept parameters.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <map>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "fail.h"
#include "growthpoints.h"
#include "io/filehint.h"
#include "io/meshread.h"
#include "io/outputcheck.h"
#include "outfile.h"
#include "parameters.h"
#include "plot.h"
#include "provenance.h"
#include "signalsetup.h"
#include "growthseries.h"
#include "seriesorder.h"
#include "sweepeffects.h"
#include "sweeptable.h"
#include "measure/compare.h"
#include "measure/table.h"
#include "version.h"

namespace {

// The short usage refusals print, kept as it was: --help tells every mode.
constexpr const char* usage =
    "usage: morphstats [--format 3dv|template|obj] [-o TABLE.csv] FILE...\n"
    "       morphstats --series [--format F] [-o TABLE.csv | --plot METRIC -o OUT.png] [CYCLE:]FILE...\n"
    "       morphstats --manifest MANIFEST [--joblog FILE] [-o TABLE.csv]\n"
    "       morphstats --manifest MANIFEST [--joblog FILE] --plot METRIC --by PARAM[,PARAM2] -o OUT.png\n"
    "       morphstats --manifest MANIFEST [--joblog FILE] --heatmap METRIC --by PARAM1,PARAM2 -o OUT.png\n"
    "  --format F      read every file as F instead of choosing by its name\n"
    "  --series        one row per snapshot, its cycle first; CYCLE:FILE gives a file's cycle\n"
    "  --manifest M    one row per line of a sweep manifest, with the swept parameters\n"
    "  --joblog FILE   the sweep's job log (default MANIFEST.joblog), which tells failed points\n"
    "  --plot METRIC   draw METRIC against cycle, or against PARAM (one line per value of PARAM2)\n"
    "  --heatmap METRIC  draw METRIC over PARAM1 and PARAM2\n"
    "  --by P[,P2]     the swept parameters of a plot; --by2 P2 gives the second alone\n"
    "  -o FILE         write the table or the picture to FILE (replaced only when complete)\n";

// --help: every mode and option, and an example; refusals keep the usage above.
constexpr const char* helpText =
    "usage: morphstats [--format 3dv|template|obj] [--provenance RUN.json] [-o TABLE.csv] FILE...\n"
    "       morphstats --series [--format F] [--provenance RUN.json] [-o TABLE.csv | --plot METRIC -o OUT.png]\n"
    "                  [CYCLE:]FILE...\n"
    "       morphstats --manifest MANIFEST [--joblog FILE] [--provenance RUN.json] [-o TABLE.csv]\n"
    "       morphstats --manifest MANIFEST [--joblog FILE] --plot METRIC --by PARAM[,PARAM2] -o OUT.png\n"
    "       morphstats --manifest MANIFEST [--joblog FILE] --heatmap METRIC --by PARAM1,PARAM2 -o OUT.png\n"
    "       (a plot or heat map also takes [--plot-format png|svg|pdf])\n"
    "       morphstats --compare [--register none|rigid|similarity] [--format F] [-o TABLE.csv] A B...\n"
    "       morphstats --effects MANIFEST [--joblog FILE] [-o TABLE.csv]\n"
    "       morphstats --help | --version\n"
    "\n"
    "Shape measures (area, volume, sphericity, principal lengths, angle defect, morphogen\n"
    "coverage) of result files as a CSV table, and plots of one measure by gnuplot; distances\n"
    "between shapes, and each swept parameter's share of the variation across a sweep.\n"
    "  --format F        read every file as F instead of choosing by its name\n"
    "  --series          one row per snapshot, its cycle first; CYCLE:FILE gives a file's cycle\n"
    "  --manifest M      one row per line of a sweep manifest, with the swept parameters\n"
    "  --joblog FILE     the sweep's job log (default MANIFEST.joblog), which tells failed points\n"
    "  --plot METRIC     draw METRIC against cycle, or against PARAM (one line per value of PARAM2)\n"
    "  --heatmap METRIC  draw METRIC over PARAM1 and PARAM2\n"
    "  --by P[,P2]       the swept parameters of a plot\n"
    "  --by2 P2          the second of them, given alone\n"
    "  --plot-format F   png (default), svg or pdf: the picture's format (vector for print)\n"
    "  --compare         one row per file after the first, A: the distances between the two\n"
    "                    surfaces (hausdorff, meanDistance, rmsDistance, from every vertex of\n"
    "                    each to the other's triangles), volume and area of B minus A's, and the\n"
    "                    transform that placed B on A\n"
    "  --register R      none, rigid (default: principal axes, then iterative closest point) or\n"
    "                    similarity (rigid and one scale)\n"
    "  --effects M       for every measure, and for medoidDistance (each point's rmsDistance to\n"
    "                    the sweep's medoid shape after rigid registration), each swept\n"
    "                    parameter's first-order and total share of the variance over the full\n"
    "                    grid of M, with a 95% bootstrap interval over seeds where points repeat,\n"
    "                    'no effect' where the measure does not vary, and a sentence per row\n"
    "  --provenance RUN.json  add a sweep's run record (MANIFEST.run.json, by sweep-run.sh) as\n"
    "                    columns: release, commit, processor, unit, threads, host, runStart,\n"
    "                    runEnd, and on the row of a point's result or snapshot pointCommand and\n"
    "                    pointStatus\n"
    "  -o FILE           write the table or the picture to FILE (replaced only when complete)\n"
    "  --help            this text\n"
    "  --version         the release and the commit built\n"
    "  --                every word after it is a file, even one beginning with '-'\n"
    "\n"
    "Example: the table of a sweep, then the sphericity of a growth series against cycle:\n"
    "  morphstats --manifest day/manifest -o day/manifest.csv\n"
    "  morphstats --series --plot sphericity -o growth.png embryo.1000.pvd\n"
    "and how far embryo 1001 is from embryo 1000, and what each parameter of a sweep does:\n"
    "  morphstats --compare embryo.1000.3dv embryo.1001.3dv\n"
    "  morphstats --effects day/manifest -o day/effects.csv\n"
    "\n"
    "Exit status: 0 written; 1 command line refused; 2 an input is missing or malformed, or\n"
    "the output cannot be written; 3 gnuplot missing or failed, or out of memory.\n";

constexpr int exitPlotFailed = 3;

[[noreturn]] void refuse(const std::string& problem) {
  std::fprintf(stderr, "morphstats: %s\n%s", problem.c_str(), usage);
  std::exit(exitBadCommandLine);
}

struct Options {
  bool series = false;
  bool compare = false;
  std::string registerName;
  stats::Registration registration = stats::Registration::rigid;
  std::string manifest, joblog, provenance;
  std::string effects;  // the manifest of --effects
  std::optional<view::MeshFormat> format;
  std::string output;
  std::string plot, heatmap;  // the metric
  std::string plotFormatName;
  stats::PlotFormat plotFormat = stats::PlotFormat::png;
  std::vector<std::string> by;
  std::vector<std::string> files;
};

std::string metricNames() {
  std::string names;
  for (const std::string& c : stats::measureColumns()) names += (names.empty() ? "" : ", ") + c;
  return names;
}

Options parseCommandLine(int argc, char** argv) {
  Options o;
  std::string by, by2;
  const auto value = [&](int& i) -> std::string {
    if (i + 1 >= argc) refuse(std::string(argv[i]) + " needs a value");
    return argv[++i];
  };
  const auto once = [](std::string& slot, const std::string& flag, std::string v) {
    if (!slot.empty()) refuse(flag + " is given twice");
    if (v.empty()) refuse(flag + " needs a value");
    slot = std::move(v);
  };
  bool filesOnly = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (filesOnly || a.empty() || a[0] != '-' || a == "-") {
      o.files.push_back(a);
    } else if (a == "--") {
      filesOnly = true;
    } else if (a == "-h" || a == "--help") {
      std::exit(printInfo(helpText));
    } else if (a == "--version") {
      std::exit(printInfo(versionText("morphstats")));
    } else if (a == "--series") {
      o.series = true;
    } else if (a == "--compare") {
      o.compare = true;
    } else if (a == "--register") {
      once(o.registerName, a, value(i));
      const auto r = stats::parseRegistration(o.registerName);
      if (!r) refuse("--register needs none, rigid or similarity, not '" + o.registerName + "'");
      o.registration = *r;
    } else if (a == "--effects") {
      once(o.effects, a, value(i));
    } else if (a == "--manifest") {
      once(o.manifest, a, value(i));
    } else if (a == "--joblog") {
      once(o.joblog, a, value(i));
    } else if (a == "--provenance") {
      once(o.provenance, a, value(i));
    } else if (a == "-o") {
      once(o.output, a, value(i));
    } else if (a == "--plot") {
      once(o.plot, a, value(i));
    } else if (a == "--heatmap") {
      once(o.heatmap, a, value(i));
    } else if (a == "--by") {
      once(by, a, value(i));
    } else if (a == "--by2") {
      once(by2, a, value(i));
    } else if (a == "--plot-format") {
      once(o.plotFormatName, a, value(i));
      if (!stats::parsePlotFormat(o.plotFormatName, o.plotFormat))
        refuse("--plot-format needs png, svg or pdf, not '" + o.plotFormatName + "'");
    } else if (a == "--format") {
      view::MeshFormat f;
      const std::string name = value(i);
      if (!view::parseFormatName(name, f)) refuse("--format needs 3dv, template or obj, not '" + name + "'");
      o.format = f;
    } else {
      refuse("unknown option '" + a + "'");
    }
  }

  if (!by2.empty() && by.empty()) refuse("--by2 needs --by");
  if (!by.empty()) {
    std::size_t start = 0;
    for (std::size_t comma; (comma = by.find(',', start)) != std::string::npos; start = comma + 1) {
      o.by.push_back(by.substr(start, comma - start));
    }
    o.by.push_back(by.substr(start));
    if (!by2.empty()) o.by.push_back(by2);
  }
  if (o.series && !o.manifest.empty()) refuse("--series and --manifest do not go together");
  if (o.compare) {
    if (o.series || !o.manifest.empty()) refuse(std::string("--compare and ") + (o.series ? "--series" : "--manifest") + " do not go together");
    if (!o.plot.empty() || !o.heatmap.empty()) refuse("--compare writes a table, not a picture");
    if (!o.provenance.empty()) refuse("--provenance does not go with --compare");
    if (o.files.size() < 2) refuse("--compare needs two files or more: A B...");
  }
  if (!o.registerName.empty() && !o.compare) refuse("--register needs --compare");
  if (!o.effects.empty()) {
    if (o.compare || o.series || !o.manifest.empty())
      refuse(std::string("--effects and ") + (o.compare ? "--compare" : o.series ? "--series" : "--manifest") +
             " do not go together");
    if (!o.files.empty()) refuse("--effects takes no files ('" + o.files.front() + "')");
    if (o.format) refuse("--format does not go with --effects: results are 3DV files");
    if (!o.plot.empty() || !o.heatmap.empty()) refuse("--effects writes a table, not a picture");
    if (!o.provenance.empty()) refuse("--provenance does not go with --effects");
    if (!by.empty() || !by2.empty()) refuse("--by needs --plot or --heatmap");
    if (!o.plotFormatName.empty()) refuse("--plot-format needs --plot or --heatmap");
    if (o.joblog.empty()) o.joblog = o.effects + ".joblog";
    return o;
  }
  if (!o.plot.empty() && !o.heatmap.empty()) refuse("--plot and --heatmap do not go together");
  const std::string metric = o.plot.empty() ? o.heatmap : o.plot;
  const bool picture = !metric.empty();
  if (picture && !stats::metricColumn(metric)) refuse("unknown metric '" + metric + "' (known: " + metricNames() + ")");
  if (!o.manifest.empty()) {
    if (!o.files.empty()) refuse("--manifest takes no files ('" + o.files.front() + "')");
    if (o.format) refuse("--format does not go with --manifest: results are 3DV files");
    if (picture && o.by.empty()) refuse("--" + std::string(o.plot.empty() ? "heatmap" : "plot") + " needs --by PARAM");
  } else {
    if (o.files.empty()) refuse("no file given");
    if (!o.heatmap.empty()) refuse("--heatmap needs --manifest");
    if (!o.plot.empty() && !o.series) refuse("--plot needs --series or --manifest");
    if (!o.joblog.empty()) refuse("--joblog needs --manifest");
    if (!by.empty() || !by2.empty()) refuse("--by needs --manifest: a series is drawn against cycle");
  }
  if (!o.by.empty() && !picture) refuse("--by needs --plot or --heatmap");
  for (const std::string& p : o.by) {
    if (!stats::knownParameter(p)) refuse("unknown parameter '" + p + "' (known: " + stats::parameterNames() + ")");
  }
  if (!o.plot.empty() && o.by.size() > 2) refuse("--plot takes at most two parameters");
  if (!o.heatmap.empty() && o.by.size() != 2) refuse("--heatmap needs two parameters: --by PARAM1,PARAM2");
  if (o.by.size() == 2 && o.by[0] == o.by[1]) refuse("--by names " + o.by[0] + " twice");
  if (picture && o.output.empty()) refuse("a picture needs -o OUT.png");
  if (picture && !o.provenance.empty()) refuse("--provenance adds columns to a table, not to a picture");
  if (!picture && !o.plotFormatName.empty()) refuse("--plot-format needs --plot or --heatmap");
  if (o.joblog.empty()) o.joblog = o.manifest + ".joblog";
  return o;
}

// "3 degenerate triangles", "1 coincident point": the kinds of fault a surface has.
std::string faultKinds(const stats::SurfaceFaults& f) {
  std::string kinds;
  for (const auto& [count, one, many] :
       {std::tuple{f.degenerateTriangles, "degenerate triangle", "degenerate triangles"},
        {f.nonManifoldEdges, "non-manifold edge", "non-manifold edges"},
        {f.coincidentPoints, "coincident point", "coincident points"},
        {f.nonManifoldPoints, "non-manifold point", "non-manifold points"}}) {
    if (count) kinds += (kinds.empty() ? "" : ", ") + std::to_string(count) + " " + (count == 1 ? one : many);
  }
  return kinds;
}

void warnAboutSurface(const std::string& file, const stats::Measures& m) {
  if (m.volume < 0) {
    std::fprintf(stderr, "morphstats: %s: warning: the enclosed volume %s is negative: the triangles wind inwards\n",
                 file.c_str(), stats::formatReal(m.volume).c_str());
  }
  if (m.surfaceFaults > 0) {
    std::fprintf(stderr, "morphstats: %s: warning: %lld surface %s (%s): angleDefect is over the rest of the surface\n",
                 file.c_str(), m.surfaceFaults, m.surfaceFaults == 1 ? "fault" : "faults",
                 faultKinds(m.faults).c_str());
  }
}

stats::Measures measureFile(const std::string& file, const std::optional<view::MeshFormat>& format, view::Mesh* keep) {
  view::MeshLoad load = view::loadMesh(file, format.value_or(view::formatForName(file)));
  if (!load.ok()) fail(exitBadFile, load.error);
  if (load.mesh.faces.empty()) fail(exitBadFile, file + ": holds no triangle");
  const stats::Measures m = stats::measure(load.mesh);
  warnAboutSurface(file, m);
  if (keep) *keep = std::move(load.mesh);
  return m;
}

// The table goes out whole or not at all: to -o's file atomically, or to standard output.
int writeTable(const std::string& csv, const std::string& output) {
  if (!output.empty()) {
    OutputFile out(output, TemporarySweep::thisFile, ExistingName::kept);
    std::fwrite(csv.data(), 1, csv.size(), out.stream());
    out.commit();
    return 0;
  }
  if (std::fwrite(csv.data(), 1, csv.size(), stdout) != csv.size() || std::fflush(stdout) != 0) {
    fail(exitBadFile, "cannot write to standard output");
  }
  return 0;
}

stats::PlotFormat plotFormat = stats::PlotFormat::png;

int draw(const std::string& script, const std::string& png) {
  if (const auto problem = stats::drawWithGnuplot(script, png, plotFormat)) fail(exitPlotFailed, png + ": " + *problem);
  return 0;
}

// Measures that count things get whole-number tics.
bool isCount(const std::string& metric) {
  return metric == "vertices" || metric == "triangles" || metric == "tJunctions" || metric == "farVertices";
}

std::string header(const std::vector<std::string>& first, const std::optional<stats::Provenance>& provenance) {
  std::vector<std::string> names = first;
  names.insert(names.end(), stats::measureColumns().begin(), stats::measureColumns().end());
  if (provenance) names.insert(names.end(), stats::Provenance::columns().begin(), stats::Provenance::columns().end());
  return stats::csvLine(names);
}

void addProvenance(std::vector<std::string>& row, const std::string& file,
                   const std::optional<stats::Provenance>& provenance) {
  if (!provenance) return;
  const std::vector<std::string> fields = provenance->fields(file);
  row.insert(row.end(), fields.begin(), fields.end());
}

// The run record of --provenance, read before anything is measured; a record that cannot
// be read ends the run with nothing written.
std::optional<stats::Provenance> readProvenance(const Options& o) {
  if (o.provenance.empty()) return std::nullopt;
  io::RunRecord record;
  if (const auto problem = io::readRunRecord(o.provenance, record)) fail(exitBadFile, *problem);
  return stats::Provenance(record);
}

int files(const Options& o, const std::optional<stats::Provenance>& provenance) {
  std::string csv = header({"file"}, provenance);
  for (const std::string& file : o.files) {
    std::vector<std::string> row{file};
    const std::vector<std::string> fields = stats::measureFields(measureFile(file, o.format, nullptr));
    row.insert(row.end(), fields.begin(), fields.end());
    addProvenance(row, file, provenance);
    csv += stats::csvLine(row);
  }
  return writeTable(csv, o.output);
}

// A with each other file: one row per pair, A read once.
int compare(const Options& o) {
  view::Mesh a;
  measureFile(o.files.front(), o.format, &a);
  std::vector<std::string> names{"a", "b"};
  names.insert(names.end(), stats::comparisonColumns().begin(), stats::comparisonColumns().end());
  std::string csv = stats::csvLine(names);
  for (std::size_t k = 1; k < o.files.size(); ++k) {
    view::Mesh b;
    measureFile(o.files[k], o.format, &b);
    std::vector<std::string> row{o.files.front(), o.files[k]};
    const std::vector<std::string> fields = stats::comparisonFields(stats::compare(a, b, o.registration));
    row.insert(row.end(), fields.begin(), fields.end());
    csv += stats::csvLine(row);
  }
  return writeTable(csv, o.output);
}

int series(const Options& o, const std::optional<stats::Provenance>& provenance) {
  std::vector<stats::Snapshot> snapshots;
  for (const std::string& item : o.files) {
    if (const auto problem = stats::addSeriesItem(item, snapshots)) fail(exitBadFile, *problem);
  }
  struct Row {
    long long cycle;
    std::string file;
    stats::Measures measures;
  };
  std::vector<Row> rows;
  for (const stats::Snapshot& s : snapshots) {
    view::Mesh mesh;
    const stats::Measures m = measureFile(s.file, o.format, &mesh);
    const std::optional<long long> cycle = s.cycle ? s.cycle : mesh.cycle;
    if (!cycle) fail(exitBadFile, s.file + ": the file carries no cycle; give it as CYCLE:" + s.file);
    rows.push_back({*cycle, s.file, m});
  }
  {
    std::vector<view::SeriesEntry> entries;
    for (const Row& r : rows) entries.push_back({r.cycle, r.file});
    std::string problem;
    const std::vector<std::size_t> order = view::cycleOrder(entries, problem);
    if (!problem.empty()) fail(exitBadFile, problem);
    std::vector<Row> ordered;
    for (const std::size_t k : order) ordered.push_back(std::move(rows[k]));
    rows = std::move(ordered);
  }
  if (o.plot.empty()) {
    std::string csv = header({"cycle", "file"}, provenance);
    for (const Row& r : rows) {
      std::vector<std::string> row{std::to_string(r.cycle), r.file};
      const std::vector<std::string> fields = stats::measureFields(r.measures);
      row.insert(row.end(), fields.begin(), fields.end());
      addProvenance(row, r.file, provenance);
      csv += stats::csvLine(row);
    }
    return writeTable(csv, o.output);
  }
  const std::size_t column = *stats::metricColumn(o.plot);
  stats::Curve curve;
  for (const Row& r : rows) {
    const double v = stats::measureValues(r.measures)[column];
    if (std::isfinite(v)) curve.points.emplace_back(double(r.cycle), v);
  }
  if (curve.points.empty()) fail(exitBadFile, "no snapshot has a value of " + o.plot + " to plot");
  return draw(stats::curveScript(o.plot + " over growth", "cycle", o.plot, "", {curve}, isCount(o.plot)), o.output);
}

// Warns of inverted or faulty results and says how many points have no measures.
void reportPoints(const stats::SweepTable& table) {
  int notOk = 0;
  for (const stats::SweepPoint& p : table.points) {
    if (p.measures) warnAboutSurface(p.result, *p.measures);
    notOk += p.status != "ok";
  }
  if (notOk) {
    std::fprintf(stderr, "morphstats: %d of %zu points have no measures; see the status column\n", notOk,
                 table.points.size());
  }
}

// The shares of the swept parameters; the shapes of the ok points are read again for their
// distances to the medoid.
int effects(const Options& o) {
  stats::SweepTable table;
  if (const auto problem = stats::readSweep(o.effects, o.joblog, table)) fail(exitBadFile, *problem);
  reportPoints(table);
  std::vector<view::Mesh> meshes;
  std::vector<std::size_t> okPoints;
  for (std::size_t p = 0; p < table.points.size(); ++p) {
    if (!table.points[p].measures) continue;
    view::MeshLoad load = view::loadMesh(table.points[p].result, view::MeshFormat::threeDV);
    if (!load.ok()) fail(exitBadFile, load.error);
    meshes.push_back(std::move(load.mesh));
    okPoints.push_back(p);
  }
  std::vector<const view::Mesh*> shapes;
  for (const view::Mesh& m : meshes) shapes.push_back(&m);
  const std::vector<double> toMedoid =
      stats::medoidDistances(shapes, std::clamp<std::size_t>(std::thread::hardware_concurrency(), 1, 8));
  std::vector<double> distance(table.points.size(), std::numeric_limits<double>::quiet_NaN());
  for (std::size_t k = 0; k < okPoints.size(); ++k) distance[okPoints[k]] = toMedoid[k];
  stats::SweepEffects e;
  if (const auto problem = stats::sweepEffects(table, distance, e)) fail(exitBadFile, o.effects + ": " + *problem);
  return writeTable(stats::effectsCsv(e), o.output);
}

// The value of a swept parameter as a number for an axis; the manifest's words are whole
// numbers, read as morphsweep reads them.
double axisValue(const std::string& word) { return std::strtod(word.c_str(), nullptr); }

int manifest(const Options& o, const std::optional<stats::Provenance>& provenance) {
  stats::SweepTable table;
  if (const auto problem = stats::readSweep(o.manifest, o.joblog, table)) fail(exitBadFile, *problem);
  // The plot's parameters are checked before anything is reported about the points.
  std::vector<std::size_t> slots;  // columns of table.values
  for (const std::string& p : o.by) {
    const auto at = std::find(table.swept.begin(), table.swept.end(), p);
    if (at == table.swept.end()) {
      const auto given = stats::lineValue(plan::lineParameters(table.points.front().words), p);
      const bool growth = plan::isGrowthLine(table.points.front().words);
      if (!given)
        refuse(p + " is not a parameter of the " + (growth ? "morphseed" : "morphsweep") + " points in " + o.manifest);
      const std::string one = *given;
      std::string swept;
      for (const std::string& s : table.swept) swept += (swept.empty() ? "" : ", ") + s;
      refuse(p + " is not swept in " + o.manifest + " (every point has " + p + " = " + one +
             "); swept: " + (swept.empty() ? "none" : swept));
    }
    if (p == inputTemplateName) refuse(p + " has no numeric axis; plot against a numeric parameter");
    slots.push_back(static_cast<std::size_t>(at - table.swept.begin()));
  }
  reportPoints(table);
  if (o.plot.empty() && o.heatmap.empty()) {
    if (!provenance) return writeTable(stats::sweepCsv(table), o.output);
    return writeTable(stats::sweepCsv(table, stats::Provenance::columns(),
                                      [&](const stats::SweepPoint& p) { return provenance->fields(p.result); }),
                      o.output);
  }
  const std::string metric = o.plot.empty() ? o.heatmap : o.plot;
  const std::size_t column = *stats::metricColumn(metric);
  const std::string title = metric + " over " + o.manifest;

  // The ok points with a value, keyed by their words of the plot's parameters.
  struct Value {
    std::vector<std::string> words;
    double value;
  };
  std::vector<Value> values;
  for (std::size_t k = 0; k < table.points.size(); ++k) {
    if (!table.points[k].measures) continue;
    const double v = stats::measureValues(*table.points[k].measures)[column];
    if (!std::isfinite(v)) continue;
    Value entry{{}, v};
    for (const std::size_t s : slots) entry.words.push_back(table.values[k][s]);
    values.push_back(std::move(entry));
  }
  if (values.empty()) fail(exitBadFile, o.manifest + ": no point has a value of " + metric + " to plot");
  const auto byNumber = [](const std::string& a, const std::string& b) { return axisValue(a) < axisValue(b); };
  const auto distinct = [&](std::size_t which) {
    std::vector<std::string> words;
    for (const Value& v : values) words.push_back(v.words[which]);
    std::stable_sort(words.begin(), words.end(), byNumber);
    words.erase(std::unique(words.begin(), words.end()), words.end());
    return words;
  };

  if (!o.plot.empty()) {
    std::vector<stats::Curve> curves;
    const std::vector<std::string> groups = slots.size() == 2 ? distinct(1) : std::vector<std::string>{""};
    for (const std::string& g : groups) {
      stats::Curve c;
      c.label = g;
      for (const Value& v : values) {
        if (slots.size() == 1 || v.words[1] == g) c.points.emplace_back(axisValue(v.words[0]), v.value);
      }
      curves.push_back(std::move(c));
    }
    return draw(stats::curveScript(title, o.by[0], metric, slots.size() == 2 ? o.by[1] : "", curves, isCount(metric)),
                o.output);
  }

  const std::vector<std::string> xs = distinct(0), ys = distinct(1);
  std::map<std::pair<std::size_t, std::size_t>, std::pair<double, int>> sums;
  for (const Value& v : values) {
    const auto x = static_cast<std::size_t>(std::find(xs.begin(), xs.end(), v.words[0]) - xs.begin());
    const auto y = static_cast<std::size_t>(std::find(ys.begin(), ys.end(), v.words[1]) - ys.begin());
    auto& [sum, count] = sums[{x, y}];
    sum += v.value;
    ++count;
  }
  std::vector<stats::HeatCell> cells;
  for (const auto& [xy, sc] : sums) cells.push_back({xy.first, xy.second, sc.first / sc.second});
  return draw(stats::heatmapScript(title, o.by[0], o.by[1], metric, xs, ys, cells), o.output);
}

// The files a run reads, for the output guard: the files as given, and the file of a
// CYCLE:FILE item.
std::vector<std::string> inputsOf(const Options& o) {
  std::vector<std::string> inputs = o.files;
  for (const std::string& item : o.files) {
    if (const std::size_t colon = item.find(':'); colon != std::string::npos) inputs.push_back(item.substr(colon + 1));
  }
  if (!o.manifest.empty()) inputs.insert(inputs.end(), {o.manifest, o.joblog});
  if (!o.effects.empty()) inputs.insert(inputs.end(), {o.effects, o.joblog});
  if (!o.provenance.empty()) inputs.push_back(o.provenance);
  return inputs;
}

int run(int argc, char** argv) {
  const Options o = parseCommandLine(argc, argv);
  plotFormat = o.plotFormat;
  // The output never replaces an input, nor takes a mesh or series name (a forgotten -o
  // name before a glob would).
  const bool picture = !o.plot.empty() || !o.heatmap.empty();
  if (!o.output.empty()) {
    if (const auto problem = view::outputProblem(o.output, inputsOf(o), picture ? "the picture OUT.png" : "the table TABLE.csv"))
      refuse(*problem);
  }
  installTemporaryCleanup();
  try {
    const std::optional<stats::Provenance> provenance = readProvenance(o);
    if (!o.manifest.empty()) return manifest(o, provenance);
    if (o.series) return series(o, provenance);
    if (o.compare) return compare(o);
    if (!o.effects.empty()) return effects(o);
    return files(o, provenance);
  } catch (const runError& error) {
    return reportRunError(error);
  }
}

}  // namespace

int main(int argc, char** argv) {
  setProgramName("morphstats");
  // A file named as a snapshot or series that is no XML at all is named for what it is.
  setFailureHint(io::notVtkXmlHint);
  try {
    return run(argc, argv);
  } catch (const std::bad_alloc&) {
    fail(exitStoreOverflow, "out of memory");
  }
}
