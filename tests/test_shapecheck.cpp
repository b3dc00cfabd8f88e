// morphstats' shape check on grown embryos: twenty of them, each measured from its 3DV
// result (positions rounded to six decimals) and from its exact snapshot. The T-junctions
// found must be the model's own pending mid-points, and angleDefect 2 exactly when no
// surface fault is reported (the programs' surfaces can only have flat triangles, each of
// which leaves its half out).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "io/meshread.h"
#include "measure/measures.h"
#include "work_folder.h"

namespace fs = std::filesystem;

namespace {

class ShapeCheck : public FreshFolderTest {};

// The table's rows by column name; the files here need no CSV quoting.
std::vector<std::vector<std::string>> rowsOf(const std::string& csv) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream lines(csv);
  for (std::string line; std::getline(lines, line);) {
    std::vector<std::string> fields;
    std::istringstream cells(line);
    for (std::string field; std::getline(cells, field, ',');) fields.push_back(field);
    rows.push_back(fields);
  }
  return rows;
}

}  // namespace

TEST_F(ShapeCheck, TwentyEmbryosFromResultsAndSnapshotsAlike) {
  constexpr int first = 3000, embryos = 20;
  fs::copy_file(SEED_FILE, "indexed_icosa");
  const ChildRun grown =
      runChild({MORPHSEED_BINARY, "-s", std::to_string(first), "-b", std::to_string(embryos), "40", "-v", "40"});
  ASSERT_EQ(grown.status, 0) << grown.err;
  std::vector<std::string> words{MORPHSTATS_BINARY};
  for (int seed = first; seed < first + embryos; ++seed) {
    for (const char* kind : {".3dv", ".c40.vtp"}) words.push_back("embryo." + std::to_string(seed) + kind);
  }
  const ChildRun table = runChild(words);
  ASSERT_EQ(table.status, 0) << table.err;
  const auto rows = rowsOf(table.out);
  ASSERT_EQ(rows.size(), words.size());
  const auto column = [&](const std::string& name) {
    return std::size_t(std::find(rows[0].begin(), rows[0].end(), name) - rows[0].begin());
  };
  const std::size_t file = column("file"), defect = column("angleDefect"), junctions = column("tJunctions"),
                    faults = column("surfaceFaults");
  ASSERT_LT(faults, rows[0].size());

  int faulty = 0;
  for (std::size_t r = 1; r < rows.size(); ++r) {
    const std::string& name = rows[r].at(file);
    SCOPED_TRACE(name);
    const std::string snapshot = name.substr(0, name.find('.', 7)) + ".c40.vtp";
    const view::MeshLoad model = view::loadMesh(snapshot, view::MeshFormat::vtp, true);
    ASSERT_TRUE(model.ok()) << model.error;
    const auto pending = std::count(model.mesh.pending.begin(), model.mesh.pending.end(), 1);
    ASSERT_GT(pending, 100);
    EXPECT_EQ(rows[r].at(junctions), std::to_string(pending));

    const view::MeshLoad load = view::loadMesh(name, view::formatForName(name));
    ASSERT_TRUE(load.ok()) << load.error;
    const stats::Measures m = stats::measure(load.mesh);
    EXPECT_EQ(rows[r].at(faults), std::to_string(m.surfaceFaults));
    EXPECT_EQ(m.faults.nonManifoldEdges + m.faults.nonManifoldPoints, 0);
    EXPECT_EQ(std::stod(rows[r].at(defect)), 2 + m.faults.degenerateTriangles / 2.0);
    EXPECT_EQ(m.surfaceFaults == 0, rows[r].at(defect) == "2");
    const bool warned = table.err.find("morphstats: " + name + ": warning: ") != std::string::npos;
    EXPECT_EQ(warned, m.surfaceFaults > 0);
    faulty += m.surfaceFaults > 0;
  }
  // These seeds give sound files and, among the rounded results, faulty ones.
  EXPECT_GT(faulty, 0);
  EXPECT_LT(faulty, embryos);
}
