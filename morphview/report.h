// The HTML report: one self-contained page that shows meshes in 3D in any browser, offline.
// It holds a single mesh, a series of snapshots over time, or a grid of tiles (the results
// of a sweep or any list of files), each mesh in the compact form of reportmesh.h.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "io/meshread.h"
#include "io/runrecord.h"
#include "measure/effects.h"
#include "sweepgrid.h"

namespace view {

enum class ReportKind { single, series, grid };

// One mesh of the page: a tile of a grid, a snapshot of a series, or the single mesh.
struct ReportItem {
  std::string name;                 // the file it came from
  std::vector<std::string> label;   // label lines: a tile's shows the contact sheet's lines
  std::optional<long long> cycle;   // a snapshot's growth cycle, when known
  std::vector<std::string> values;  // a sweep point's value of each swept parameter
  std::vector<double> measures;     // morphstats' measures, in its column order; NaN where absent
  std::string meshJson;             // the packed mesh; empty when the item failed
  std::string problem;              // why it failed
};

struct Report {
  ReportKind kind = ReportKind::single;
  std::string title;
  std::vector<ReportItem> items;
  std::vector<std::string> parameters;  // a sweep's swept parameters, named as in a definition
  std::vector<SweepGrid> grids;         // a sweep's layout; empty: tiles in the order given
  bool measured = false;                // items carry measures: the page tables and plots them
  std::optional<io::RunRecord> run;     // a sweep's run record: the page's footer says where it came from
  // Per measure column, each swept parameter's share of its variance over a sweep's full
  // grid (sweepShares); empty when the points form no full grid. Drawn as bars beside it.
  std::vector<stats::Effects> shares;
};

// The shares of the report's swept parameters in each measure, from its items' values;
// nothing when the items do not form a full grid of them.
std::vector<stats::Effects> sweepShares(const Report& report);

// The item of a mesh read from `name`; a mesh that cannot be packed makes a failed item.
ReportItem reportItem(const Mesh& mesh, const std::string& name, ReportKind kind);
// The same with the mesh's measures, as morphstats computes them.
ReportItem measuredItem(const Mesh& mesh, const std::string& name, ReportKind kind);
// A point whose result could not be read: shown as failed, with its message.
ReportItem failedItem(const std::string& name, const std::string& problem, ReportKind kind);

// The footer of a page whose sweep has a run record: its build, machine, times and counts.
std::string runFooter(const io::RunRecord& run);

// The whole page. Empty when this morphview was built without three.js.
std::string reportPage(const Report& report);
bool reportAvailable();

}  // namespace view
