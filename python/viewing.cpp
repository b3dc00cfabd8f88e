// morph._morph's viewing helpers: morphview's pictures, HTML report pages and movies, and its
// reading of snapshot series, for the package's display and Series code (morph/display.py,
// morph/series.py). A mesh is taken from any object with an Embryo's attributes, so a grown
// embryo and a loaded file draw alike.
#include <Python.h>
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "io/seriesread.h"
#include "movie.h"
#include "outputcheck.h"
#include "pngwrite.h"
#include "render.h"
#include "report.h"
#include "seriesorder.h"

namespace py = pybind11;

void defineViewing(py::module_& m);

namespace {

// An exception of `kind` with the tools' message; file names in it that are not UTF-8 come
// back as os.fsdecode gives them.
[[noreturn]] void refuse(PyObject* kind, const std::string& message) {
  PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "surrogateescape");
  if (text) {
    PyErr_SetObject(kind, text);
    Py_DECREF(text);
  }
  throw py::error_already_set();
}

// morphview's limits on --size.
constexpr int maxPictureSide = 16384;
constexpr long long maxPicturePixels = 1LL << 26;

// `values` as rows of three, each row copied as the array holds it.
template <class T>
std::vector<std::array<T, 3>> rowsOf(const py::handle& values, const char* name) {
  const auto a = py::array_t<T, py::array::c_style | py::array::forcecast>::ensure(values);
  if (!a || a.ndim() != 2 || a.shape(1) != 3) throw py::value_error(std::string(name) + " must be an (n, 3) array");
  std::vector<std::array<T, 3>> rows(static_cast<std::size_t>(a.shape(0)));
  const T* data = a.data();
  for (std::size_t i = 0; i < rows.size(); ++i) rows[i] = {data[3 * i], data[3 * i + 1], data[3 * i + 2]};
  return rows;
}

// The mesh morphview would read from the embryo's snapshot: positions, corners, levels,
// the thresholds in force and the cycle. Corners that name no point are refused.
view::Mesh meshOf(const py::handle& embryo) {
  view::Mesh mesh;
  mesh.points = rowsOf<float>(embryo.attr("positions"), "positions");
  mesh.faces = rowsOf<int>(embryo.attr("triangles"), "triangles");
  const py::object levels = embryo.attr("levels");
  if (!levels.is_none()) mesh.levels = rowsOf<unsigned char>(levels, "levels");
  if (!mesh.levels.empty() && mesh.levels.size() != mesh.points.size()) {
    throw py::value_error("levels must have one row per vertex");
  }
  for (const auto& face : mesh.faces) {
    for (const int corner : face) {
      if (corner < 0 || static_cast<std::size_t>(corner) >= mesh.points.size()) {
        throw py::value_error("a triangle names a vertex that does not exist");
      }
    }
  }
  const py::object episodes = embryo.attr("episodes");
  if (!episodes.is_none()) {
    std::array<int, 3> thresholds{};
    const char* colours[] = {"red", "green", "blue"};
    for (std::size_t k = 0; k < 3; ++k) thresholds[k] = episodes[colours[k]]["threshold"].cast<int>();
    mesh.thresholds = thresholds;
  }
  const py::object cycle = embryo.attr("cycle");
  if (!cycle.is_none()) mesh.cycle = cycle.cast<long long>();
  const py::object seed = embryo.attr("seed");
  if (!seed.is_none()) mesh.seed = seed.cast<long long>();
  return mesh;
}

view::Direction directionOf(const std::vector<double>& given) {
  if (given.size() != 3) throw py::value_error("view must be three numbers X, Y, Z");
  const view::Direction d{given[0], given[1], given[2]};
  if (!view::usableDirection(d)) throw py::value_error("view must be finite and not all zero");
  return d;
}

std::pair<int, int> sizeOf(const std::pair<long long, long long>& size) {
  const auto [w, h] = size;
  if (w < 1 || h < 1 || w > maxPictureSide || h > maxPictureSide || w * h > maxPicturePixels) {
    throw py::value_error("size needs (width, height), each 1.." + std::to_string(maxPictureSide) +
                          " and at most " + std::to_string(maxPicturePixels) + " pixels in all");
  }
  return {static_cast<int>(w), static_cast<int>(h)};
}

view::ColourMode colourOf(const std::string& name) {
  view::ColourMode mode;
  if (!view::parseColourName(name, mode)) {
    throw py::value_error("colour must be plain, red, green, blue or rgb, not '" + name + "'");
  }
  return mode;
}

bool frameAllOf(const std::string& frame) {
  if (frame != "body" && frame != "all") throw py::value_error("frame must be body or all, not '" + frame + "'");
  return frame == "all";
}

// The PNG bytes of an image, encoded as morphview writes its files.
py::bytes pngBytes(const view::Image& image) {
  char* buffer = nullptr;
  std::size_t length = 0;
  std::FILE* out = open_memstream(&buffer, &length);
  if (!out) throw std::bad_alloc();
  std::string problem;
  const bool ok = view::encodePng(image, out, problem);
  const bool closed = std::fclose(out) == 0;
  const std::unique_ptr<char, decltype(&std::free)> owned(buffer, &std::free);
  if (!ok || !closed) throw std::runtime_error("the picture could not be encoded: " + problem);
  return py::bytes(buffer, length);
}

// (PNG bytes, the warning of vertices framed out or None): morphview's picture of the
// mesh, titled `title` (None: the name, seed and cycle, as morphview titles a file).
py::tuple picture(const py::handle& embryo, const std::string& name, const std::vector<double>& toCamera,
                  const std::pair<long long, long long>& size, const std::string& colour, const std::string& frame,
                  bool scaleBar, const std::optional<std::string>& title) {
  const view::Direction direction = directionOf(toCamera);
  const auto [width, height] = sizeOf(size);
  view::RenderStyle style;
  style.colour = colourOf(colour);
  style.frameAll = frameAllOf(frame);
  style.scaleBar = scaleBar;
  const view::Mesh mesh = meshOf(embryo);
  if (const std::string problem = view::cannotColour(mesh, style.colour, name); !problem.empty()) {
    refuse(PyExc_ValueError, problem);
  }
  std::string warning;
  view::Image image;
  {
    py::gil_scoped_release unlocked;
    if (!style.frameAll) {
      stats::FarPoints far;
      stats::BodyBox body;
      style.framing = view::bodyFraming(mesh.points, &far, &body);
      warning = view::farWarning(name, far, body);
    }
    style.title = title ? *title : view::pictureTitle(name, mesh.seed, mesh.cycle);
    image = view::renderPicture(mesh, direction, width, height, style);
  }
  return py::make_tuple(pngBytes(image), warning.empty() ? py::object(py::none()) : py::bytes(warning));
}

// The report page of one mesh ("single") or of a series' frames ("series", measured, by
// the order given), each frame an (embryo, name) pair.
std::string reportPage(const std::string& kind, const std::string& title,
                       const std::vector<std::pair<py::object, std::string>>& frames) {
  if (!view::reportAvailable()) {
    throw std::runtime_error("this build has no three.js for the 3D view (run scripts/install-deps.sh, then build again)");
  }
  if (kind != "single" && kind != "series") throw py::value_error("kind must be single or series");
  view::Report report;
  report.kind = kind == "single" ? view::ReportKind::single : view::ReportKind::series;
  report.measured = report.kind == view::ReportKind::series;
  report.title = title;
  std::vector<view::Mesh> meshes;
  for (const auto& [embryo, name] : frames) meshes.push_back(meshOf(embryo));
  py::gil_scoped_release unlocked;
  for (std::size_t k = 0; k < meshes.size(); ++k) {
    const std::string& name = frames[k].second;
    view::ReportItem item = report.measured ? view::measuredItem(meshes[k], name, report.kind)
                                            : view::reportItem(meshes[k], name, report.kind);
    report.items.push_back(std::move(item));
  }
  return view::reportPage(report);
}

// A .pvd's snapshots as (cycle, file) pairs, as the tools read the index.
py::list seriesSteps(const std::string& pvd) {
  view::SeriesLoad series = view::loadSeries(pvd);
  const std::vector<long long> cycles = view::wholeCycles(series, pvd);
  if (!series.ok()) refuse(PyExc_ValueError, series.error);
  py::list steps;
  for (std::size_t i = 0; i < cycles.size() && i < series.steps.size(); ++i) {
    steps.append(py::make_tuple(cycles[i], py::bytes(series.steps[i].file)));
  }
  return steps;
}

// The order the tools show snapshots in: by cycle, or as given when one names no cycle.
std::vector<std::size_t> cycleOrder(const std::vector<std::pair<std::optional<long long>, std::string>>& given) {
  std::vector<view::SeriesEntry> entries;
  for (const auto& [cycle, name] : given) entries.push_back({cycle, name});
  std::string problem;
  std::vector<std::size_t> order = view::cycleOrder(entries, problem);
  if (!problem.empty()) refuse(PyExc_ValueError, problem);
  return order;
}

// morphview --movie: the warning of vertices framed out, or None; a failure (a bad
// snapshot, ffmpeg missing or failing, an output that would replace an input) is an OSError.
py::object movie(const std::string& series, const std::vector<std::string>& snapshots, const std::string& output,
                 const std::pair<long long, long long>& size, int fps, const std::vector<double>& toCamera,
                 const std::string& colour, const std::string& frame, bool scaleBar) {
  view::MovieOptions options;
  options.series = series;
  options.snapshots = snapshots;
  options.output = output;
  std::tie(options.width, options.height) = sizeOf(size);
  if (options.width % 2 || options.height % 2) throw py::value_error("a movie's width and height must be even");
  if (fps < 1 || fps > 120) throw py::value_error("fps must be from 1 to 120");
  options.framesPerSecond = fps;
  options.toCamera = directionOf(toCamera);
  options.colour = colourOf(colour);
  options.frameAll = frameAllOf(frame);
  options.scaleBar = scaleBar;
  std::vector<std::string> inputs = snapshots;
  if (snapshots.empty()) inputs.push_back(series);
  if (const auto problem = view::outputProblem(output, inputs, "the movie OUT.mp4")) refuse(PyExc_ValueError, *problem);
  std::string warning, problem;
  {
    py::gil_scoped_release unlocked;
    problem = view::makeMovie(options, &warning);
  }
  if (!problem.empty()) refuse(PyExc_OSError, problem);
  return warning.empty() ? py::object(py::none()) : py::bytes(warning);
}

}  // namespace

void defineViewing(py::module_& m) {
  m.def("_picture", &picture, py::arg("embryo"), py::arg("name"), py::arg("view"), py::arg("size"),
        py::arg("colour"), py::arg("frame"), py::arg("scale_bar"), py::arg("title"));
  m.def("_report_page", &reportPage, py::arg("kind"), py::arg("title"), py::arg("frames"));
  m.def("_series_steps", &seriesSteps, py::arg("pvd"));
  m.def("_cycle_order", &cycleOrder, py::arg("entries"));
  m.def("_movie", &movie, py::arg("series"), py::arg("snapshots"), py::arg("output"), py::arg("size"),
        py::arg("fps"), py::arg("view"), py::arg("colour"), py::arg("frame"), py::arg("scale_bar"));
}
