#include "movie.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "font.h"
#include "io/seriesread.h"
#include "outfile.h"
#include "process.h"
#include "seriesorder.h"
#include "signals.h"

namespace view {

namespace {

namespace fs = std::filesystem;

// Ignores SIGPIPE while frames go to ffmpeg, so that an encoder that dies reports as a
// failed write instead of ending morphview; restores the old action afterwards.
class PipeSignalGuard {
 public:
  PipeSignalGuard() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous_);
  }
  ~PipeSignalGuard() { sigaction(SIGPIPE, &previous_, nullptr); }
  PipeSignalGuard(const PipeSignalGuard&) = delete;
  PipeSignalGuard& operator=(const PipeSignalGuard&) = delete;

 private:
  struct sigaction previous_ {};
};

// The encoder as a child process reading frames on its standard input; its messages go
// to an unnamed file, read back only when it fails.
class Encoder {
 public:
  ~Encoder() {
    if (log_) std::fclose(log_);
  }

  std::string start(const std::vector<std::string>& words, const std::string& folder) {
    log_ = std::tmpfile();
    if (!log_) return std::string("cannot make a file for ffmpeg's messages: ") + std::strerror(errno);
    const std::string problem =
        child_.start({words, {run::Stream::pipe}, {run::Stream::null}, run::Stream::toFd(fileno(log_)), folder});
    if (problem.empty()) return {};
    return problem + (child_.notFound() ? " (install ffmpeg, e.g. with scripts/install-deps.sh)" : "");
  }

  // False when the encoder stopped reading.
  bool write(const std::uint8_t* data, std::size_t size) { return child_.write(data, size); }

  // Closes the frames' pipe and waits; empty when the encoder succeeded.
  std::string finish(const std::string& program) {
    const run::ChildStatus status = child_.wait();
    if (status.ok()) return {};
    std::string said;
    if (log_ && std::fseek(log_, 0, SEEK_SET) == 0) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, log_)) > 0;) said.append(buffer, n);
    }
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    if (const std::size_t cut = said.rfind('\n'); cut != std::string::npos) said = said.substr(cut + 1);
    return program + " failed (" + status.describe() + ")" + (said.empty() ? "" : ": " + said);
  }

 private:
  std::FILE* log_ = nullptr;
  run::Child child_;  // destroyed first: a child still running is killed before its log closes
};

// The temporary the movie is encoded to: in the target's folder, where ffmpeg runs, and
// with the target's extension, which is how ffmpeg chooses the container. No other part of
// the user's name reaches ffmpeg, so none can read as an option, a protocol or a frame
// number pattern.
struct Temporary {
  std::string folder;  // where ffmpeg runs
  std::string name;    // as ffmpeg is given it, in that folder
  std::string path;    // as this process reaches it
};

// A movie written through a kept name (a named pipe, a device, a link) is encoded in the
// system's temporary folder: a device's folder (/dev) takes no file of a user's.
Temporary temporaryFor(const std::string& output, bool writtenThrough) {
  const fs::path target(output);
  Temporary t;
  std::error_code ec;
  t.folder = target.has_parent_path() ? target.parent_path().string() : ".";
  if (writtenThrough) t.folder = fs::temp_directory_path(ec).string();
  t.name = "movie.tmp" + std::to_string(getpid()) + target.extension().string();
  t.path = (fs::path(t.folder) / t.name).string();
  return t;
}

// Copies the encoded movie into `to`; a failed write stays on its stream for its commit.
std::string copyInto(const std::string& from, OutputFile& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) return "cannot read the encoded movie '" + from + "': " + std::strerror(errno);
  std::vector<char> buffer(1 << 16);
  for (std::size_t n; (n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0;) {
    if (std::fwrite(buffer.data(), 1, n, to.stream()) != n) break;
  }
  const bool readFailed = std::ferror(in) != 0;
  std::fclose(in);
  return readFailed ? "cannot read the encoded movie '" + from + "'" : "";
}

std::string formatTimestep(double t) {
  char text[64];
  std::snprintf(text, sizeof text, "%g", t);
  return text;
}

}  // namespace

std::string cycleLabel(const Mesh& mesh, double timestep) {
  return "cycle " + (mesh.cycle ? std::to_string(*mesh.cycle) : formatTimestep(timestep));
}

std::string makeMovie(const MovieOptions& options, std::string* warning) {
  std::error_code ec;
  // An existing name that is not a regular file or a folder is kept, as every tool's output
  // keeps it (core/run/outfile.h): the movie is written through it once encoded. Refused
  // kinds are refused here, before any work.
  std::optional<OutputFile> through;
  struct stat name {};
  if (lstat(options.output.c_str(), &name) == 0 && !S_ISREG(name.st_mode) && !S_ISDIR(name.st_mode))
    through.emplace(options.output, TemporarySweep::thisFile, ExistingName::kept);
  const Temporary temporary = temporaryFor(options.output, through.has_value());
  if (!fs::is_directory(temporary.folder, ec)) {
    return "cannot write '" + options.output + "': its folder '" + temporary.folder + "' does not exist";
  }
  SeriesLoad series;
  if (options.snapshots.empty()) {
    series = loadSeries(options.series);
    if (!series.ok()) return series.error;
  } else {
    // Loose snapshots have no timesteps; a frame without a cycle is labelled by its place.
    for (std::size_t k = 0; k < options.snapshots.size(); ++k)
      series.steps.push_back({static_cast<double>(k), options.snapshots[k]});
  }

  // First pass: every snapshot must read and colour before anything is encoded, and the
  // camera is fitted to the body of all of them together.
  stats::Points points;
  std::vector<SeriesEntry> entries;
  std::optional<long long> seed;
  for (const SeriesStep& step : series.steps) {
    MeshLoad load = loadMesh(step.file, options.format.value_or(formatForName(step.file)));
    if (!load.ok()) return load.error;
    if (std::string problem = cannotColour(load.mesh, options.colour, step.file); !problem.empty()) return problem;
    entries.push_back({load.mesh.cycle, step.file});
    if (entries.size() == 1 && options.format.value_or(formatForName(step.file)) == MeshFormat::vtp) {
      const MeshLoad whole = loadMesh(step.file, MeshFormat::vtp, true);
      if (whole.ok()) seed = whole.mesh.seed;
    }
    points.insert(points.end(), load.mesh.points.begin(), load.mesh.points.end());
  }
  Framing framing;
  if (options.frameAll) {
    Mesh all;
    all.points = std::move(points);
    framing = framingOf(all);
  } else {
    stats::FarPoints far;
    stats::BodyBox body;
    framing = bodyFraming(points, &far, &body);
    const std::string name = options.snapshots.empty() ? options.series : "the snapshots";
    if (warning) *warning = farWarning(name, far, body);
  }
  points.clear();
  points.shrink_to_fit();
  // Listed snapshots run by the cycle each carries, whatever order they came in; a series
  // index keeps the order of its timesteps.
  if (!options.snapshots.empty()) {
    std::string problem;
    const std::vector<std::size_t> order = cycleOrder(entries, problem);
    if (!problem.empty()) return problem;
    std::vector<SeriesStep> ordered;
    for (const std::size_t k : order) ordered.push_back(series.steps[k]);
    series.steps = std::move(ordered);
  }

  const std::vector<std::string> words = {options.encoder,
                                          "-hide_banner",
                                          "-nostats",
                                          "-loglevel",
                                          "error",
                                          "-y",
                                          "-f",
                                          "rawvideo",
                                          "-pix_fmt",
                                          "rgb24",
                                          "-video_size",
                                          std::to_string(options.width) + "x" + std::to_string(options.height),
                                          "-framerate",
                                          std::to_string(options.framesPerSecond),
                                          "-i",
                                          "pipe:0",
                                          "-pix_fmt",
                                          "yuv420p",
                                          "--",
                                          "file:" + temporary.name};
  PipeSignalGuard guard;
  std::string problem;
  struct Release {
    int slot = -1;
    ~Release() { releaseTemporary(slot); }
  } releaseOnExit;
  {
    // A terminating signal stops ffmpeg and removes what it wrote so far (main installed
    // the handlers).
    int slot = -1;
    {
      TerminationSignalsHeld held;
      slot = registerTemporary(temporary.path.c_str());
    }
    releaseOnExit.slot = slot;
    Encoder encoder;
    problem = encoder.start(words, temporary.folder);
    if (!problem.empty()) return problem;
    RenderStyle style;
    style.colour = options.colour;
    style.framing = framing;
    style.scaleBar = options.scaleBar;
    bool written = true;
    for (const SeriesStep& step : series.steps) {
      const MeshLoad load = loadMesh(step.file, options.format.value_or(formatForName(step.file)));
      if (!load.ok()) {
        problem = load.error;
        break;
      }
      if (problem = cannotColour(load.mesh, options.colour, step.file); !problem.empty()) break;
      style.title = pictureTitle(step.file, seed, std::nullopt) + "  " + cycleLabel(load.mesh, step.timestep);
      const Image frame = renderPicture(load.mesh, options.toCamera, options.width, options.height, style);
      for (int y = 0; y < frame.height() && written; ++y) {
        written = encoder.write(frame.row(y), static_cast<std::size_t>(frame.width()) * 3);
      }
      if (!written) break;
    }
    // An encoder that stopped reading says why when it is waited for.
    if (problem.empty()) problem = encoder.finish(options.encoder);
  }
  if (problem.empty() && !fs::is_regular_file(temporary.path, ec)) problem = options.encoder + " wrote no movie";
  // Outside the held signals: a pipe's reader may take its time.
  if (problem.empty() && through) problem = copyInto(temporary.path, *through);
  {
    TerminationSignalsHeld held;  // renamed and released as one step
    if (problem.empty() && !through && std::rename(temporary.path.c_str(), options.output.c_str()) != 0) {
      problem = "cannot write '" + options.output + "': " + std::strerror(errno);
    }
    if (!problem.empty() || through) fs::remove(temporary.path, ec);
    releaseTemporary(releaseOnExit.slot);
    releaseOnExit.slot = -1;
  }
  if (problem.empty() && through) through->commit();
  return problem;
}

}  // namespace view
