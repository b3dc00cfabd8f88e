#include "plot.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "outfile.h"
#include "process.h"

namespace stats {
namespace {

std::string number(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string readWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A private folder for the script, the picture and gnuplot's messages; gone when done.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "morphstats.XXXXXX").string();
    if (mkdtemp(pattern.data())) path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ignored;
    if (!path_.empty()) std::filesystem::remove_all(path_, ignored);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// viridis (matplotlib's map, CC0) at nine even steps, from dark violet to yellow.
constexpr int viridisStops[9][3] = {{0x44, 0x01, 0x54}, {0x47, 0x2d, 0x7b}, {0x3b, 0x52, 0x8b},
                                    {0x2c, 0x72, 0x8e}, {0x21, 0x91, 0x8c}, {0x28, 0xae, 0x80},
                                    {0x5e, 0xc9, 0x62}, {0xad, 0xdc, 0x30}, {0xfd, 0xe7, 0x25}};

// Markers told apart by shape as well as fill: filled circle, square, triangles, diamond,
// pentagon, then open ones and crosses.
constexpr int pointTypes[] = {7, 5, 9, 11, 13, 15, 6, 4, 8, 10, 12, 1, 2, 3};
constexpr int dashTypes = 5;  // solid, dashed, dotted, dash-dot, dash-dot-dot

// A round step (1, 2 or 5 times a power of ten, at least 1) giving about eight tics.
double wholeStep(double span) {
  const double rough = span / 8;
  if (!(rough > 1)) return 1;
  const double decade = std::pow(10.0, std::floor(std::log10(rough)));
  for (const double m : {1.0, 2.0, 5.0, 10.0}) {
    if (m * decade >= rough) return m * decade;
  }
  return 10 * decade;
}

// gnuplot cannot span an axis over one value ("empty range") and warns instead of drawing;
// a measure that does not vary (or one snapshot) gets a range around its value.
void fixedRangeIfFlat(std::ostringstream& s, const char* axis, double lo, double hi) {
  if (lo != hi) return;
  const double pad = lo == 0 ? 1 : std::abs(lo) * 0.05;
  s << "set " << axis << "range [" << number(lo - pad) << ":" << number(hi + pad) << "]\n";
}

}  // namespace

std::string gnuplotString(const std::string& text) {
  std::string quoted = "'";
  for (const char c : text) {
    if (static_cast<unsigned char>(c) < 32 || c == 127) continue;
    if (c == '\'') quoted += '\'';  // doubled inside single quotes
    quoted += c;
  }
  return quoted + "'";
}

std::string viridisHex(double t) {
  const double at = std::clamp(std::isfinite(t) ? t : 0.0, 0.0, 1.0) * 8;
  const int below = std::min(7, static_cast<int>(at));
  const double f = at - below;
  char text[8];
  int c[3];
  for (int k = 0; k < 3; ++k) {
    c[k] = static_cast<int>(std::lround(viridisStops[below][k] + (viridisStops[below + 1][k] - viridisStops[below][k]) * f));
  }
  std::snprintf(text, sizeof text, "#%02x%02x%02x", c[0], c[1], c[2]);
  return text;
}

bool parsePlotFormat(const std::string& name, PlotFormat& format) {
  if (name == "png") format = PlotFormat::png;
  else if (name == "svg") format = PlotFormat::svg;
  else if (name == "pdf") format = PlotFormat::pdf;
  else return false;
  return true;
}

std::string curveScript(const std::string& title, const std::string& xLabel, const std::string& yLabel,
                        const std::string& keyTitle, const std::vector<Curve>& curves, bool countY) {
  std::ostringstream s;
  s << "set title " << gnuplotString(title) << "\n"
    << "set xlabel " << gnuplotString(xLabel) << "\n"
    << "set ylabel " << gnuplotString(yLabel) << "\n"
    << "set grid\nset offsets 0, 0, graph 0.05, graph 0.05\n"
    << "set format x '%.0f'\nset format y '" << (countY ? "%.0f" : "%.4g") << "'\n"
    << "set autoscale yfix\n";
  if (curves.size() > 1) {
    s << "set key outside right title " << gnuplotString(keyTitle) << "\n";
  } else {
    s << "unset key\n";
  }
  bool any = false;
  double xLo = 0, xHi = 0, yLo = 0, yHi = 0;
  for (const Curve& c : curves) {
    for (const auto& [x, y] : c.points) {
      xLo = any ? std::min(xLo, x) : x;
      xHi = any ? std::max(xHi, x) : x;
      yLo = any ? std::min(yLo, y) : y;
      yHi = any ? std::max(yHi, y) : y;
      any = true;
    }
  }
  if (any) {
    // The x axis spans the data exactly, with whole-number tics; a lone x gets one step
    // on either side.
    if (xLo < xHi) {
      s << "set xrange [" << number(xLo) << ":" << number(xHi) << "]\n";
    } else {
      s << "set xrange [" << number(xLo - 1) << ":" << number(xHi + 1) << "]\n";
    }
    s << "set xtics " << number(wholeStep(xHi - xLo)) << "\nset mxtics 1\n";
    if (countY) s << "set ytics " << number(wholeStep(yHi - yLo)) << "\n";
    fixedRangeIfFlat(s, "y", yLo, yHi);
  }
  for (std::size_t k = 0; k < curves.size(); ++k) {
    s << "$d" << k << " << EOD\n";
    for (const auto& [x, y] : curves[k].points) s << number(x) << ' ' << number(y) << '\n';
    s << "EOD\n";
  }
  // Line k: a viridis colour (its dark end for a single line, the yellow end left out as
  // too light on white), a dash pattern and a marker of its own.
  const std::size_t n = curves.size();
  for (std::size_t k = 0; k < n; ++k) {
    const double t = n > 1 ? 0.85 * static_cast<double>(k) / static_cast<double>(n - 1) : 0.25;
    s << "set linetype " << k + 1 << " linecolor rgb '" << viridisHex(t) << "' linewidth 1.5 dashtype "
      << k % dashTypes + 1 << " pointtype " << pointTypes[k % std::size(pointTypes)] << "\n";
  }
  s << "plot ";
  for (std::size_t k = 0; k < n; ++k) {
    if (k) s << ", \\\n     ";
    s << "$d" << k << " using 1:2 smooth unique with linespoints linetype " << k + 1 << " pointsize 1.2 title "
      << gnuplotString(curves[k].label) << ", $d" << k << " using 1:2 with points linetype " << k + 1
      << " pointsize 0.7 notitle";
  }
  s << "\n";
  return s.str();
}

std::string heatmapScript(const std::string& title, const std::string& xLabel, const std::string& yLabel,
                          const std::string& valueLabel, const std::vector<std::string>& xValues,
                          const std::vector<std::string>& yValues, const std::vector<HeatCell>& cells) {
  const auto tics = [](const std::vector<std::string>& values) {
    std::string t = "(";
    for (std::size_t k = 0; k < values.size(); ++k) {
      if (k) t += ", ";
      t += gnuplotString(values[k]) + " " + std::to_string(k);
    }
    return t + ")";
  };
  std::ostringstream s;
  s << "set title " << gnuplotString(title) << "\n"
    << "set xlabel " << gnuplotString(xLabel) << "\n"
    << "set ylabel " << gnuplotString(yLabel) << "\n"
    << "set cblabel " << gnuplotString(valueLabel) << "\n"
    << "set xtics " << tics(xValues) << "\n"
    << "set ytics " << tics(yValues) << "\n"
    << "set xrange [-0.5:" << xValues.size() - 0.5 << "]\n"
    << "set yrange [-0.5:" << yValues.size() - 0.5 << "]\n"
    << "unset key\nset colorbox\nset format cb '%.4g'\nset palette defined (";
  for (int k = 0; k < 9; ++k) s << (k ? ", " : "") << k << " '" << viridisHex(k / 8.0) << "'";
  s << ")\n";
  double lo = 0, hi = 0;
  if (!cells.empty()) {
    lo = hi = cells.front().value;
    for (const HeatCell& c : cells) {
      lo = std::min(lo, c.value);
      hi = std::max(hi, c.value);
    }
    fixedRangeIfFlat(s, "cb", lo, hi);
  }
  s << "$cells << EOD\n";
  for (const HeatCell& c : cells) {
    // Values on the dark half of the map are written in white, the rest in black.
    const double t = hi > lo ? (c.value - lo) / (hi - lo) : 0.5;
    s << c.x << ' ' << c.y << ' ' << number(c.value) << ' ' << (t < 0.55 ? "0xffffff" : "0x000000") << '\n';
  }
  s << "EOD\n"
    << "plot $cells using 1:2:(0.5):(0.5):3 with boxxyerror fillstyle solid 1.0 noborder fillcolor palette, \\\n"
    << "     $cells using 1:2:(sprintf('%.4g', $3)):4 with labels textcolor rgb variable\n";
  return s.str();
}

std::optional<std::string> drawWithGnuplot(const std::string& script, const std::string& png, PlotFormat format) {
  const ScratchFolder scratch;
  if (scratch.path().empty()) return std::string("cannot make a scratch folder for gnuplot: ") + std::strerror(errno);
  const auto scriptPath = scratch.path() / "plot.gp";
  const auto picture = scratch.path() / "plot.out";
  const auto messages = scratch.path() / "gnuplot.err";
  {
    std::ofstream out(scriptPath);
    out << (format == PlotFormat::svg   ? "set terminal svg size 800,600 noenhanced font 'sans,10' background 'white'\n"
            : format == PlotFormat::pdf ? "set terminal pdfcairo size 8in,6in noenhanced font 'sans,10'\n"
                                        : "set terminal pngcairo size 800,600 noenhanced font 'sans,10'\n")
        << "set output " << gnuplotString(picture.string()) << "\n"
        << script << "unset output\n";
    if (!out.flush()) return "cannot write the gnuplot script in " + scratch.path().string();
  }
  // Quiet and without a terminal: gnuplot reads only the script, its messages go to a file.
  const int messageFile = open(messages.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
  if (messageFile < 0) return "cannot make a file for gnuplot's messages: " + std::string(std::strerror(errno));
  run::Child gnuplot;
  std::string problem = gnuplot.start({{"gnuplot", scriptPath.string()}, {run::Stream::null}, {run::Stream::null},
                                       run::Stream::toFd(messageFile)});
  close(messageFile);
  if (!problem.empty()) {
    if (gnuplot.notFound()) return "gnuplot is not installed (scripts/install-deps.sh installs it)";
    return problem;
  }
  const run::ChildStatus status = gnuplot.wait();
  std::string complaint = readWhole(messages);
  while (!complaint.empty() && (complaint.back() == '\n' || complaint.back() == ' ')) complaint.pop_back();
  if (!status.ok()) {
    return "gnuplot failed" + (complaint.empty() ? std::string() : ":\n" + complaint);
  }
  // A warning means the picture may not show what was asked for.
  if (!complaint.empty()) return "gnuplot reported:\n" + complaint;
  const std::string bytes = readWhole(picture);
  const bool made = format == PlotFormat::svg   ? bytes.find("<svg") != std::string::npos
                    : format == PlotFormat::pdf ? bytes.rfind("%PDF", 0) == 0
                                                : bytes.size() >= 8 && bytes.compare(1, 3, "PNG") == 0;
  if (!made) {
    return std::string("gnuplot wrote no ") + (format == PlotFormat::svg ? "SVG" : format == PlotFormat::pdf ? "PDF" : "PNG") +
           " picture";
  }
  OutputFile out(png, TemporarySweep::thisFile, ExistingName::kept);
  std::fwrite(bytes.data(), 1, bytes.size(), out.stream());
  out.commit();
  return std::nullopt;
}

}  // namespace stats
