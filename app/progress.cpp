#include "progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

namespace {

constexpr int cyclesPerDot = 10;
// A terminal need not be redrawn more often than the eye follows.
constexpr std::chrono::milliseconds redrawEvery{100};

std::string duration(double seconds) {
  const long long s = static_cast<long long>(seconds + 0.5);
  char text[48];
  if (s >= 3600) {
    std::snprintf(text, sizeof text, "%lld h %02lld min", s / 3600, s % 3600 / 60);
  } else if (s >= 60) {
    std::snprintf(text, sizeof text, "%lld min %02lld s", s / 60, s % 60);
  } else {
    std::snprintf(text, sizeof text, "%lld s", s);
  }
  return text;
}

std::size_t terminalWidth() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 1) return size.ws_col;
  return 80;
}

}  // namespace

CycleProgress::CycleProgress(Embryo& e, int cycles)
    : embryo_(e), cycles_(cycles), live_(isatty(STDERR_FILENO) == 1) {
  if (!live_) return;
  sink_ = e.sink;
  outputSink_ = e.outputSink;
  e.sink = [this](const std::string& text) {
    clear();
    sink_(text);
  };
  e.outputSink = [this](const std::string& text) {
    clear();
    std::fflush(stderr);
    outputSink_(text);
    std::fflush(stdout);
  };
}

CycleProgress::~CycleProgress() {
  if (!live_) return;
  clear();
  embryo_.sink = sink_;
  embryo_.outputSink = outputSink_;
}

std::string CycleProgress::line(int j, int cycles, int vertices, int triangles, double lastCycle) {
  std::string text = "cycle " + std::to_string(j + 1) + " of " + std::to_string(cycles) + ": " +
                     std::to_string(vertices) + " vertices, " + std::to_string(triangles) + " triangles";
  if (j > 0 && lastCycle >= 0) {
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.3g", lastCycle);
    // Cycles grow slower as the surface grows, so the time left is at least this.
    text += std::string(", ") + rate + " s/cycle, " + duration(lastCycle * (cycles - j)) + " left";
  }
  return text;
}

void CycleProgress::beforeCycle(int j) {
  if (!live_) {
    if (j % cyclesPerDot == 0) std::fputc('.', stderr);
    return;
  }
  const auto now = std::chrono::steady_clock::now();
  // A resumed run's first cycle is not its run's first: no cycle of this process has been
  // timed yet, so none is shown (the clock's start is not a cycle's).
  const double lastCycle = timed_ ? std::chrono::duration<double>(now - cycleStart_).count() : -1;
  const bool first = !timed_;
  timed_ = true;
  cycleStart_ = now;
  if (!first && now - lastDrawn_ < redrawEvery) return;
  lastDrawn_ = now;
  std::string text = line(j, cycles_, embryo_.numVertices, embryo_.numTriangles, lastCycle);
  // Longer than the terminal is wide, the line would wrap and \r no longer reach its start.
  const std::size_t width = terminalWidth() - 1;
  if (text.size() > width) text.resize(width);
  const std::size_t written = text.size();
  if (written < shown_) text.append(shown_ - written, ' ');
  std::fprintf(stderr, "\r%s", text.c_str());
  std::fflush(stderr);
  shown_ = written;
}

void CycleProgress::clear() {
  if (shown_ == 0) return;
  std::fprintf(stderr, "\r%s\r", std::string(shown_, ' ').c_str());
  std::fflush(stderr);
  shown_ = 0;
}
