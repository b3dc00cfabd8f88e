// morph._morph's shape comparison and shares of variance: the numbers morphstats --compare
// and --effects give, for morph.distance and morph.effects (morph/__init__.py).
#include "comparebindings.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <cmath>
#include <string>
#include <vector>

#include "measure/compare.h"
#include "measure/effects.h"

namespace py = pybind11;

namespace {

using points = py::array_t<float, py::array::c_style | py::array::forcecast>;
using triangles = py::array_t<int, py::array::c_style | py::array::forcecast>;

view::Mesh meshOf(const points& p, const triangles& t) {
  if (p.ndim() != 2 || p.shape(1) != 3) throw py::value_error("positions must be an (n, 3) array");
  if (t.ndim() != 2 || t.shape(1) != 3) throw py::value_error("triangles must be an (m, 3) array");
  view::Mesh m;
  const auto pr = p.unchecked<2>();
  for (py::ssize_t i = 0; i < pr.shape(0); ++i) m.points.push_back({pr(i, 0), pr(i, 1), pr(i, 2)});
  const auto tr = t.unchecked<2>();
  for (py::ssize_t i = 0; i < tr.shape(0); ++i) {
    const std::array<int, 3> f{tr(i, 0), tr(i, 1), tr(i, 2)};
    for (const int c : f) {
      if (c < 0 || c >= static_cast<long long>(m.points.size()))
        throw py::value_error("triangle " + std::to_string(i) + " names point " + std::to_string(c) + ", which does not exist");
    }
    m.faces.push_back(f);
  }
  if (m.faces.empty()) throw py::value_error("a surface without triangles has no distance");
  return m;
}

py::dict distance(const points& ap, const triangles& at, const points& bp, const triangles& bt,
                  const std::string& registration) {
  const auto r = stats::parseRegistration(registration);
  if (!r) throw py::value_error("register must be 'none', 'rigid' or 'similarity', not '" + registration + "'");
  const view::Mesh a = meshOf(ap, at), b = meshOf(bp, bt);
  stats::Comparison c;
  {
    py::gil_scoped_release free;
    c = stats::compare(a, b, *r);
  }
  py::dict d;
  d["registration"] = registration;
  d["hausdorff"] = c.distances.hausdorff;
  d["meanDistance"] = c.distances.mean;
  d["rmsDistance"] = c.distances.rms;
  d["volumeDifference"] = c.volumeDifference;
  d["areaDifference"] = c.areaDifference;
  d["scale"] = c.transform.scale;
  d["rotation"] = py::array_t<double>({3, 3}, &c.transform.rotation[0][0]);
  d["translation"] = py::array_t<double>(3, c.transform.translation.data());
  return d;
}

std::vector<double> medoidDistances(const std::vector<std::pair<points, triangles>>& surfaces) {
  std::vector<view::Mesh> meshes;
  for (const auto& [p, t] : surfaces) meshes.push_back(meshOf(p, t));
  std::vector<const view::Mesh*> shapes;
  for (const view::Mesh& m : meshes) shapes.push_back(&m);
  py::gil_scoped_release free;
  return stats::medoidDistances(shapes, 1);
}

// One measure's shares: per factor (outcome, firstOrder, total, the four bounds, sentence),
// NaN where there is no number.
std::vector<py::tuple> effects(const std::vector<std::string>& factors, const std::vector<std::vector<std::string>>& words,
                               const std::string& measure, const std::vector<double>& values) {
  if (words.size() != factors.size()) throw py::value_error("one column of words per factor");
  stats::FactorGrid grid;
  grid.values = values;
  grid.levels.assign(values.size(), {});
  for (const auto& column : words) {
    if (column.size() != values.size()) throw py::value_error("every factor needs a word per value");
    std::size_t count = 0;
    const std::vector<std::size_t> index = stats::levelIndices(column, count);
    for (std::size_t r = 0; r < index.size(); ++r) grid.levels[r].push_back(index[r]);
    grid.levelCounts.push_back(count);
  }
  const stats::Effects e = stats::factorEffects(grid);
  const double none = std::nan("");
  std::vector<py::tuple> rows;
  for (std::size_t f = 0; f < factors.size(); ++f) {
    const char* outcome = e.outcome == stats::Effects::Outcome::shares     ? "shares"
                          : e.outcome == stats::Effects::Outcome::noEffect ? "no effect"
                                                                           : "incomplete";
    const bool shares = e.outcome == stats::Effects::Outcome::shares;
    const auto bound = [&](const std::optional<std::array<double, 2>>& i, std::size_t k) {
      return shares && i ? (*i)[k] : none;
    };
    const stats::Share s = shares ? e.shares[f] : stats::Share{};
    rows.push_back(py::make_tuple(outcome, shares ? s.firstOrder : none, shares ? s.total : none,
                                  bound(s.firstOrderInterval, 0), bound(s.firstOrderInterval, 1),
                                  bound(s.totalInterval, 0), bound(s.totalInterval, 1),
                                  stats::effectSentence(factors[f], measure, e, f)));
  }
  return rows;
}

}  // namespace

void addCompare(py::module_& m) {
  m.def("_distance", &distance, "morph.distance's numbers for two surfaces as arrays.");
  m.def("_medoid_distances", &medoidDistances, "Each surface's rmsDistance to the medoid of them all.");
  m.def("_effects", &effects, "One measure's shares of variance per factor.");
}
