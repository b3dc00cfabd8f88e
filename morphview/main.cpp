// morphview: pictures of 3DV, 3DV template, OBJ and snapshot files, one at a time or as a
// contact sheet, and movies of snapshot series.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "fail.h"
#include "helptext.h"
#include "io/filehint.h"
#include "io/meshread.h"
#include "movie.h"
#include "io/outputcheck.h"
#include "pngwrite.h"
#include "render.h"
#include "reportcli.h"
#include "sheet.h"
#include "signalsetup.h"
#include "version.h"
#include "wholenumber.h"

namespace {

constexpr const char* usage =
    "usage: morphview [--view X,Y,Z] [--size WxH] [--format 3dv|template|obj|vtp] [--colour C] -o OUT.png FILE\n"
    "       morphview --sheet [--view X,Y,Z] [--tile S] [--columns N] [--format 3dv|template|obj|vtp]\n"
    "                 [--colour C] [--mark-bad] -o OUT.png FILE...\n"
    "       morphview --sheet [--view X,Y,Z] [--tile S] [--mark-bad] -o OUT.png --manifest MANIFEST\n"
    "       morphview --movie OUT.mp4 [--view X,Y,Z] [--size WxH] [--fps N] [--colour C] SERIES.pvd|SNAPSHOT...\n"
    "  --view X,Y,Z  side the camera looks from, towards the mesh (default 0,0,1: +x right, +y up)\n"
    "  --size WxH    picture size in pixels (default 512x512)\n"
    "  --format F    read every file as F instead of choosing by its name\n"
    "  --sheet       one labelled tile per file, in a grid\n"
    "  --manifest M  the results of a sweep manifest, in grids by the swept parameters, each tile\n"
    "                labelled with its values (run from the folder the manifest was run in)\n"
    "  --tile S      tile side in pixels (default 256)\n"
    "  --columns N   tiles per row (default: as square a grid as possible)\n"
    "  --mark-bad    draw an unreadable file as a crossed-out tile instead of refusing the sheet\n"
    "  --colour C    plain (default), red, green or blue (one morphogen, with a legend), or rgb\n"
    "  --movie OUT   encode every snapshot of the series with ffmpeg, one fixed camera, by cycle\n"
    "  --fps N       movie frames per second (default 10)\n";

constexpr int maxPictureSide = 16384;
constexpr long long maxPicturePixels = 1LL << 26;

[[noreturn]] void refuse(const std::string& problem) {
  std::fprintf(stderr, "morphview: %s\n%s", problem.c_str(), usage);
  std::exit(exitBadCommandLine);
}

// A whole decimal integer in [lo, hi]. Words longer than 18 characters have always been
// refused, leading zeros or not.
std::optional<long long> wholeInteger(const std::string& text, long long lo, long long hi) {
  if (text.size() > 18) return std::nullopt;
  const auto value = parseWholeNumber(text, hi);
  if (!value || *value < lo) return std::nullopt;
  return value;
}

std::optional<double> wholeReal(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || text.find_first_of("xXpP \t") != std::string::npos) return std::nullopt;
  return value;
}

view::Direction parseView(const std::string& text) {
  view::Direction d{};
  std::size_t start = 0;
  for (int k = 0; k < 3; ++k) {
    const std::size_t comma = text.find(',', start);
    if ((k < 2) == (comma == std::string::npos)) refuse("--view needs X,Y,Z, got '" + text + "'");
    const auto value = wholeReal(text.substr(start, k < 2 ? comma - start : std::string::npos));
    if (!value) refuse("--view needs three numbers X,Y,Z, got '" + text + "'");
    d[k] = *value;
    start = comma + 1;
  }
  if (!view::usableDirection(d)) refuse("--view direction '" + text + "' must be finite and not zero");
  return d;
}

struct Options {
  bool sheet = false;
  bool markBad = false;
  view::Direction toCamera = view::defaultToCamera;
  int width = 512, height = 512;
  bool sizeGiven = false;
  std::optional<int> tile, columns;
  std::optional<view::MeshFormat> format;
  view::ColourMode colour = view::ColourMode::plain;
  bool frameAll = false;
  bool scaleBar = false;
  std::string movie;
  std::optional<int> fps;
  std::string output;
  std::string manifest;
  std::vector<std::string> files;
};

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
      continue;
    }
    if (word == "-h" || word == "--help") std::exit(printInfo(view::helpText));
    if (word == "--version") std::exit(printInfo(versionText("morphview")));
    if (word == "--sheet") {
      o.sheet = true;
      continue;
    }
    if (word == "--mark-bad") {
      o.markBad = true;
      continue;
    }
    if (word == "--scale-bar") {
      o.scaleBar = true;
      continue;
    }
    if (word != "-o" && word != "--view" && word != "--size" && word != "--format" && word != "--tile" &&
        word != "--columns" && word != "--colour" && word != "--movie" && word != "--fps" && word != "--manifest" && word != "--frame") {
      refuse("unknown option '" + word + "'");
    }
    if (i + 1 >= argc) refuse(word + " needs a value");
    const std::string value = argv[++i];
    if (word == "-o") {
      if (value.empty()) refuse("-o needs a file name");
      o.output = value;
    } else if (word == "--manifest") {
      if (value.empty()) refuse("--manifest needs a file name");
      o.manifest = value;
    } else if (word == "--view") {
      o.toCamera = parseView(value);
    } else if (word == "--size") {
      const std::size_t x = value.find('x');
      const auto w = wholeInteger(value.substr(0, x), 1, maxPictureSide);
      const auto h = x == std::string::npos ? std::nullopt : wholeInteger(value.substr(x + 1), 1, maxPictureSide);
      if (!w || !h || *w * *h > maxPicturePixels) {
        refuse("--size needs WxH, each 1.." + std::to_string(maxPictureSide) + " and at most " +
               std::to_string(maxPicturePixels) + " pixels in all, got '" + value + "'");
      }
      o.width = static_cast<int>(*w);
      o.height = static_cast<int>(*h);
      o.sizeGiven = true;
    } else if (word == "--format") {
      view::MeshFormat format;
      if (!view::parseFormatName(value, format))
        refuse("--format must be 3dv, template, obj or vtp, got '" + value + "'");
      o.format = format;
    } else if (word == "--colour") {
      if (!view::parseColourName(value, o.colour))
        refuse("--colour must be plain, red, green, blue or rgb, got '" + value + "'");
    } else if (word == "--frame") {
      if (value != "body" && value != "all") refuse("--frame must be body or all, got '" + value + "'");
      o.frameAll = value == "all";
    } else if (word == "--movie") {
      if (value.empty()) refuse("--movie needs a file name");
      o.movie = value;
    } else if (word == "--fps") {
      const auto fps = wholeInteger(value, 1, 120);
      if (!fps) refuse("--fps needs a whole number 1..120, got '" + value + "'");
      o.fps = static_cast<int>(*fps);
    } else if (word == "--tile") {
      const auto tile = wholeInteger(value, view::minTile, view::maxTile);
      if (!tile) {
        refuse("--tile needs a whole number " + std::to_string(view::minTile) + ".." + std::to_string(view::maxTile) +
               ", got '" + value + "'");
      }
      o.tile = static_cast<int>(*tile);
    } else {
      const auto columns = wholeInteger(value, 1, 1000000);
      if (!columns) refuse("--columns needs a whole number 1..1000000, got '" + value + "'");
      o.columns = static_cast<int>(*columns);
    }
  }
  if (!o.manifest.empty()) {
    if (!o.sheet) refuse("--manifest draws a contact sheet; give --sheet (or --html for a report)");
    if (!o.files.empty()) refuse("--manifest takes no further files");
    if (o.columns) refuse("--columns does not apply to --manifest: the swept parameters lay out the grid");
    if (o.format) refuse("--format does not apply to --manifest: its results are 3DV files");
  }
  if (!o.movie.empty()) {
    if (!o.output.empty() || o.sheet) refuse("--movie writes a movie; it takes no -o and no --sheet");
    if (o.files.empty()) refuse("--movie needs one series file (.pvd)");
    const auto isIndex = [](const std::string& f) { return f.size() > 4 && f.compare(f.size() - 4, 4, ".pvd") == 0; };
    if (o.files.size() > 1 && std::any_of(o.files.begin(), o.files.end(), isIndex))
      refuse("--movie takes one series file (.pvd) or a list of snapshots, not both");
    if (o.tile || o.columns || o.markBad) refuse("--tile, --columns and --mark-bad apply only with --sheet");
    if (o.width % 2 || o.height % 2)
      refuse("--movie needs an even width and height, got " + std::to_string(o.width) + "x" + std::to_string(o.height));
    return o;
  }
  if (o.fps) refuse("--fps applies only with --movie");
  if (o.output.empty()) refuse("no output file (-o OUT.png)");
  if (o.files.empty() && o.manifest.empty()) refuse("no input file");
  if (o.sheet) {
    if (o.sizeGiven) refuse("--size does not apply to a sheet; use --tile");
  } else {
    if (o.files.size() > 1) refuse("one input file at a time; use --sheet for several");
    if (o.tile || o.columns || o.markBad) refuse("--tile, --columns and --mark-bad apply only with --sheet");
  }
  return o;
}

// A snapshot's seed, for the picture's title; unknown for other files, or where the
// snapshot's other arrays do not read.
std::optional<long long> seedOf(const std::string& file, const view::Mesh& mesh,
                                const std::optional<view::MeshFormat>& format) {
  if (mesh.seed) return mesh.seed;
  if (format.value_or(view::formatForName(file)) != view::MeshFormat::vtp) return std::nullopt;
  const view::MeshLoad whole = view::loadMesh(file, view::MeshFormat::vtp, true);
  return whole.ok() ? whole.mesh.seed : std::nullopt;
}

int run(int argc, char** argv) {
  if (view::wantsReport(argc, argv)) return view::reportMain(argc, argv);
  const Options o = parse(argc, argv);
  std::vector<std::string> inputs = o.files;
  if (!o.manifest.empty()) inputs.push_back(o.manifest);
  if (const auto problem = view::outputProblem(o.movie.empty() ? o.output : o.movie, inputs)) refuse(*problem);
  if (!o.movie.empty()) {
    view::MovieOptions movie;
    movie.series = o.files.front();
    // Several files are the snapshots themselves, in any order; one is the series index.
    if (o.files.size() > 1) movie.snapshots = o.files;
    movie.output = o.movie;
    movie.width = o.width;
    movie.height = o.height;
    movie.framesPerSecond = o.fps.value_or(movie.framesPerSecond);
    movie.toCamera = o.toCamera;
    movie.colour = o.colour;
    movie.format = o.format;
    movie.frameAll = o.frameAll;
    movie.scaleBar = o.scaleBar;
    std::string warning;
    if (const std::string problem = view::makeMovie(movie, &warning); !problem.empty()) fail(exitBadFile, problem);
    if (!warning.empty()) std::fprintf(stderr, "morphview: %s\n", warning.c_str());
    return 0;
  }
  if (!o.sheet) {
    const std::string& file = o.files.front();
    if (!o.format && file.size() > 4 && file.compare(file.size() - 4, 4, ".pvd") == 0) {
      fail(exitBadFile, file + ": is a series of snapshots; make a movie of it with --movie OUT.mp4");
    }
    const view::MeshLoad load = view::loadMesh(file, o.format.value_or(view::formatForName(file)));
    if (!load.ok()) fail(exitBadFile, load.error);
    if (const std::string problem = view::cannotColour(load.mesh, o.colour, file); !problem.empty())
      fail(exitBadFile, problem);
    view::RenderStyle style;
    style.colour = o.colour;
    style.scaleBar = o.scaleBar;
    style.frameAll = o.frameAll;
    if (!o.frameAll) {
      stats::FarPoints far;
      stats::BodyBox body;
      style.framing = view::bodyFraming(load.mesh.points, &far, &body);
      if (const std::string warning = view::farWarning(file, far, body); !warning.empty())
        std::fprintf(stderr, "morphview: %s\n", warning.c_str());
    }
    style.title = view::pictureTitle(file, seedOf(file, load.mesh, o.format), load.mesh.cycle);
    view::writePng(view::renderPicture(load.mesh, o.toCamera, o.width, o.height, style), o.output);
    return 0;
  }

  view::SheetOptions sheet;
  sheet.columns = o.columns.value_or(0);
  sheet.tile = o.tile.value_or(sheet.tile);
  sheet.toCamera = o.toCamera;
  sheet.format = o.format;
  sheet.markBad = o.markBad;
  sheet.colour = o.colour;
  sheet.frameAll = o.frameAll;
  sheet.scaleBar = o.scaleBar;
  std::string problem;
  if (!o.manifest.empty()) {
    const view::SweepPoints points = view::manifestPoints(o.manifest);
    sheet.title = view::sweepSheetTitle(o.manifest, points.results.size());
    const auto layout = view::layoutSweepSheet(points, sheet, problem);
    if (!layout) refuse(problem);
    const view::SheetResult result = view::renderSweepSheet(points, sheet, *layout);
    if (!result.complete)
      fail(exitBadFile, result.problems.empty() ? "cannot draw the sheet" : result.problems.front());
    for (const std::string& p : result.problems)
      std::fprintf(stderr, "morphview: %s (drawn as a crossed-out tile)\n", p.c_str());
    for (const std::string& w : result.warnings) std::fprintf(stderr, "morphview: %s\n", w.c_str());
    view::writePng(result.image, o.output);
    return 0;
  }
  sheet.title = view::sheetTitle(o.files);
  const auto layout = view::layoutSheet(o.files, sheet, problem);
  if (!layout) refuse(problem);
  const view::SheetResult result = view::renderSheet(o.files, sheet, *layout);
  if (!result.complete) fail(exitBadFile, result.problems.empty() ? "cannot draw the sheet" : result.problems.front());
  for (const std::string& p : result.problems)
    std::fprintf(stderr, "morphview: %s (drawn as a crossed-out tile)\n", p.c_str());
  for (const std::string& w : result.warnings) std::fprintf(stderr, "morphview: %s\n", w.c_str());
  view::writePng(result.image, o.output);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  setProgramName("morphview");
  // A file named as a snapshot or series that is no XML at all is named for what it is.
  setFailureHint(io::notVtkXmlHint);
  installTemporaryCleanup();
  // A large sheet may not fit in memory; that is a status of its own, not a crash.
  try {
    return run(argc, argv);
  } catch (const runError& error) {
    return reportRunError(error);
  } catch (const std::bad_alloc&) {
    fail(exitStoreOverflow, "out of memory; a smaller picture (--size, --tile) or fewer files need less");
  }
}
