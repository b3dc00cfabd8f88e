#include "movie.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "font.h"
#include "io/seriesread.h"

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
    if (input_ >= 0) close(input_);
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (log_) std::fclose(log_);
  }

  std::string start(const std::vector<std::string>& words) {
    log_ = std::tmpfile();
    if (!log_) return std::string("cannot make a file for ffmpeg's messages: ") + std::strerror(errno);
    int frames[2], report[2];
    if (pipe(frames) != 0) return std::string("cannot make a pipe: ") + std::strerror(errno);
    if (pipe2(report, O_CLOEXEC) != 0) {
      close(frames[0]);
      close(frames[1]);
      return std::string("cannot make a pipe: ") + std::strerror(errno);
    }
    std::vector<char*> argv;
    std::vector<std::string> copy = words;
    for (std::string& w : copy) argv.push_back(w.data());
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid < 0) {
      for (int fd : {frames[0], frames[1], report[0], report[1]}) close(fd);
      return std::string("cannot start ") + words[0] + ": " + std::strerror(errno);
    }
    if (pid == 0) {
      const int null = open("/dev/null", O_WRONLY);
      if (dup2(frames[0], 0) < 0 || null < 0 || dup2(null, 1) < 0 || dup2(fileno(log_), 2) < 0) _exit(126);
      close(frames[1]);
      execvp(argv[0], argv.data());
      const int error = errno;
      ssize_t ignored = ::write(report[1], &error, sizeof error);
      (void)ignored;
      _exit(127);
    }
    close(frames[0]);
    close(report[1]);
    pid_ = pid;
    input_ = frames[1];
    int execError = 0;
    ssize_t n;
    do {
      n = read(report[0], &execError, sizeof execError);
    } while (n < 0 && errno == EINTR);
    close(report[0]);
    if (n == static_cast<ssize_t>(sizeof execError)) {
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
      return "cannot run " + words[0] + ": " + std::strerror(execError) +
             (execError == ENOENT ? " (install ffmpeg, e.g. with scripts/install-deps.sh)" : "");
    }
    return {};
  }

  // False when the encoder stopped reading.
  bool write(const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(input_, data, size);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  // Closes the frames' pipe and waits; empty when the encoder succeeded.
  std::string finish(const std::string& program) {
    close(input_);
    input_ = -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    std::string said;
    if (log_ && std::fseek(log_, 0, SEEK_SET) == 0) {
      char buffer[4096];
      for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, log_)) > 0;) said.append(buffer, n);
    }
    while (!said.empty() && (said.back() == '\n' || said.back() == '\r')) said.pop_back();
    if (const std::size_t cut = said.rfind('\n'); cut != std::string::npos) said = said.substr(cut + 1);
    const std::string how = WIFEXITED(status) ? "exit status " + std::to_string(WEXITSTATUS(status))
                                              : "signal " + std::to_string(WTERMSIG(status));
    return program + " failed (" + how + ")" + (said.empty() ? "" : ": " + said);
  }

 private:
  pid_t pid_ = -1;
  int input_ = -1;
  std::FILE* log_ = nullptr;
};

// The temporary the movie is encoded to: beside the target and with its extension, which
// is how ffmpeg chooses the container.
std::string temporaryFor(const std::string& output) {
  const fs::path target(output);
  fs::path temp = target;
  temp.replace_filename(target.stem().string() + ".tmp" + std::to_string(getpid()) + target.extension().string());
  return temp.string();
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

std::string makeMovie(const MovieOptions& options) {
  const SeriesLoad series = loadSeries(options.series);
  if (!series.ok()) return series.error;

  // First pass: every snapshot must read and colour before anything is encoded, and the
  // camera is fitted to the sphere around all of them.
  std::vector<std::vector<std::array<float, 3>>> shapes;
  std::array<double, 3> lo{0, 0, 0}, hi{0, 0, 0};
  bool first = true;
  for (const SeriesStep& step : series.steps) {
    MeshLoad load = loadMesh(step.file, options.format.value_or(formatForName(step.file)));
    if (!load.ok()) return load.error;
    if (std::string problem = cannotColour(load.mesh, options.colour, step.file); !problem.empty()) return problem;
    for (const auto& p : load.mesh.points) {
      for (int k = 0; k < 3; ++k) {
        lo[k] = first ? p[k] : std::min<double>(lo[k], p[k]);
        hi[k] = first ? p[k] : std::max<double>(hi[k], p[k]);
      }
      first = false;
    }
    shapes.push_back(std::move(load.mesh.points));
  }
  Framing framing;
  framing.centre = {(lo[0] + hi[0]) / 2, (lo[1] + hi[1]) / 2, (lo[2] + hi[2]) / 2};
  for (const auto& shape : shapes) {
    for (const auto& p : shape) {
      const double dx = p[0] - framing.centre[0], dy = p[1] - framing.centre[1], dz = p[2] - framing.centre[2];
      framing.radius = std::max(framing.radius, std::sqrt(dx * dx + dy * dy + dz * dz));
    }
  }
  shapes.clear();
  shapes.shrink_to_fit();

  const std::string temporary = temporaryFor(options.output);
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
                                          temporary};
  PipeSignalGuard guard;
  std::string problem;
  {
    Encoder encoder;
    problem = encoder.start(words);
    if (!problem.empty()) return problem;
    RenderStyle style;
    style.colour = options.colour;
    style.framing = framing;
    const int labelScale = std::max(1, std::min(options.width, options.height) / 256);
    const int margin = std::max(2, std::min(options.width, options.height) / 64);
    bool written = true;
    for (const SeriesStep& step : series.steps) {
      const MeshLoad load = loadMesh(step.file, options.format.value_or(formatForName(step.file)));
      if (!load.ok()) {
        problem = load.error;
        break;
      }
      if (problem = cannotColour(load.mesh, options.colour, step.file); !problem.empty()) break;
      Image frame = renderPicture(load.mesh, options.toCamera, options.width, options.height, style);
      drawText(frame, margin, margin, cycleLabel(load.mesh, step.timestep), legendMarkColour, labelScale);
      for (int y = 0; y < frame.height() && written; ++y) {
        written = encoder.write(frame.row(y), static_cast<std::size_t>(frame.width()) * 3);
      }
      if (!written) break;
    }
    // An encoder that stopped reading says why when it is waited for.
    if (problem.empty()) problem = encoder.finish(options.encoder);
  }
  std::error_code ec;
  if (problem.empty() && !fs::is_regular_file(temporary, ec)) problem = options.encoder + " wrote no movie";
  if (problem.empty() && std::rename(temporary.c_str(), options.output.c_str()) != 0) {
    problem = "cannot write '" + options.output + "': " + std::strerror(errno);
  }
  if (!problem.empty()) fs::remove(temporary, ec);
  return problem;
}

}  // namespace view
