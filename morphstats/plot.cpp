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

std::string curveScript(const std::string& title, const std::string& xLabel, const std::string& yLabel,
                        const std::string& keyTitle, const std::vector<Curve>& curves) {
  std::ostringstream s;
  s << "set title " << gnuplotString(title) << "\n"
    << "set xlabel " << gnuplotString(xLabel) << "\n"
    << "set ylabel " << gnuplotString(yLabel) << "\n"
    << "set grid\nset offsets graph 0.02, graph 0.02, graph 0.05, graph 0.05\n";
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
    fixedRangeIfFlat(s, "x", xLo, xHi);
    fixedRangeIfFlat(s, "y", yLo, yHi);
  }
  for (std::size_t k = 0; k < curves.size(); ++k) {
    s << "$d" << k << " << EOD\n";
    for (const auto& [x, y] : curves[k].points) s << number(x) << ' ' << number(y) << '\n';
    s << "EOD\n";
  }
  s << "plot ";
  for (std::size_t k = 0; k < curves.size(); ++k) {
    if (k) s << ", \\\n     ";
    s << "$d" << k << " using 1:2 smooth unique with lines linecolor " << k + 1 << " title "
      << gnuplotString(curves[k].label) << ", $d" << k << " using 1:2 with points pointtype 7 linecolor " << k + 1
      << " notitle";
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
    << "set palette rgbformulae 33,13,10\nunset key\n";
  if (!cells.empty()) {
    double lo = cells.front().value, hi = lo;
    for (const HeatCell& c : cells) {
      lo = std::min(lo, c.value);
      hi = std::max(hi, c.value);
    }
    fixedRangeIfFlat(s, "cb", lo, hi);
  }
  s
    << "$cells << EOD\n";
  for (const HeatCell& c : cells) s << c.x << ' ' << c.y << ' ' << number(c.value) << '\n';
  s << "EOD\n"
    << "plot $cells using 1:2:(0.5):(0.5):3 with boxxyerror fillstyle solid 1.0 noborder fillcolor palette, \\\n"
    << "     $cells using 1:2:(sprintf('%.4g', $3)) with labels textcolor 'black'\n";
  return s.str();
}

std::optional<std::string> drawWithGnuplot(const std::string& script, const std::string& png) {
  const ScratchFolder scratch;
  if (scratch.path().empty()) return std::string("cannot make a scratch folder for gnuplot: ") + std::strerror(errno);
  const auto scriptPath = scratch.path() / "plot.gp";
  const auto picture = scratch.path() / "plot.png";
  const auto messages = scratch.path() / "gnuplot.err";
  {
    std::ofstream out(scriptPath);
    out << "set terminal pngcairo size 800,600 noenhanced font 'sans,10'\n"
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
  if (bytes.size() < 8 || bytes.compare(1, 3, "PNG") != 0) return "gnuplot wrote no PNG picture";
  OutputFile out(png);
  std::fwrite(bytes.data(), 1, bytes.size(), out.stream());
  out.commit();
  return std::nullopt;
}

}  // namespace stats
