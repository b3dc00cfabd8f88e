// Movies of a snapshot series: every snapshot of a .pvd (or a list of snapshots) drawn with one fixed camera,
// fitted to the body of all frames' points together (or to every point, frameAll), in cycle order, titled
// with the snapshot's name, its seed and its cycle, and encoded by the
// ffmpeg program from raw RGB frames piped to it. The movie is encoded to a temporary
// beside the target and renamed into place only when ffmpeg has succeeded; a named pipe, a
// device or a link under the movie's name is written through instead (core/run/outfile.h).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "render.h"

namespace view {

struct MovieOptions {
  std::string series;                  // the .pvd, when no snapshots are listed
  std::vector<std::string> snapshots;  // else the snapshot files, in any order
  std::string output;                  // its extension tells ffmpeg the container
  int width = 512, height = 512;       // even: the encoders' 4:2:0 sampling needs it
  int framesPerSecond = 10;
  Direction toCamera = defaultToCamera;
  ColourMode colour = ColourMode::plain;
  std::optional<MeshFormat> format;  // unset: chosen from each snapshot's name
  std::string encoder = "ffmpeg";    // looked up on PATH
  bool frameAll = false;
  bool scaleBar = false;
};

// The label drawn on every frame: its snapshot's cycle, or the series timestep when the
// snapshot names no cycle.
std::string cycleLabel(const Mesh& mesh, double timestep);

// Makes the movie; empty on success, else the message ("<file>: <what is wrong>", or what
// ffmpeg said). Every snapshot is read and checked before ffmpeg starts. `warning` (when
// given) gets the warning of vertices framed out far from the body (farWarning), if any.
std::string makeMovie(const MovieOptions& options, std::string* warning = nullptr);

}  // namespace view
