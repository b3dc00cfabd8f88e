// The shares of variance: a synthetic grid whose shares are known exactly, replicates and
// their bootstrap, what stands in for shares, and morphstats --effects on real sweeps.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "measure/effects.h"
#include "work_folder.h"

namespace fs = std::filesystem;

namespace {

// y = x1 + 2 x2 + x1 x2 over x1 in {-1, 0, 1}, x2 in {-1, 1}, and a third factor that does
// nothing: variances 2/3, 4 and 2/3 (the product's means are 0 along either factor), so
// first-order shares 1/8, 3/4, 0 and totals 1/4, 7/8, 0. Each row is given `copies` times,
// displaced by +-`noise`; the levels come as words, out of order.
stats::FactorGrid synthetic(int copies, double noise) {
  stats::FactorGrid g;
  std::vector<std::string> first, second;
  std::vector<std::size_t> third;
  for (int copy = 0; copy < copies; ++copy) {
    for (int z = 1; z >= 0; --z) {
      for (const int x2 : {1, -1}) {
        for (const int x1 : {1, -1, 0}) {
          first.push_back(std::to_string(10 * (x1 + 1)));  // "0", "10", "20": numeric order
          second.push_back(x2 < 0 ? "low" : "high");
          third.push_back(std::size_t(z));
          g.values.push_back(x1 + 2 * x2 + x1 * x2 + (copy % 2 ? noise : -noise) * (copy + 1));
        }
      }
    }
  }
  std::size_t n1 = 0, n2 = 0;
  const auto l1 = stats::levelIndices(first, n1), l2 = stats::levelIndices(second, n2);
  g.levelCounts = {n1, n2, 2};
  for (std::size_t r = 0; r < g.values.size(); ++r) g.levels.push_back({l1[r], l2[r], third[r]});
  return g;
}

}  // namespace

TEST(Effects, SyntheticGridGivesExactSharesAndReplicatesTheirInterval) {
  const std::vector<std::array<double, 2>> expected{{1.0 / 8, 1.0 / 4}, {3.0 / 4, 7.0 / 8}, {0, 0}};
  // Alone, twice without noise (an interval of width 0), four times with noise.
  for (const auto& [copies, noise] : {std::pair{1, 0.0}, {2, 0.0}, {4, 0.3}}) {
    const stats::Effects e = stats::factorEffects(synthetic(copies, noise));
    ASSERT_EQ(e.outcome, stats::Effects::Outcome::shares);
    ASSERT_EQ(e.shares.size(), 3u);
    for (std::size_t f = 0; f < 3; ++f) {
      const stats::Share& s = e.shares[f];
      EXPECT_NEAR(s.firstOrder, expected[f][0], 1e-12) << f << " of " << copies;
      EXPECT_NEAR(s.total, expected[f][1], 1e-12) << f << " of " << copies;
      EXPECT_EQ(s.firstOrderInterval.has_value(), copies > 1);
      if (!s.firstOrderInterval) continue;
      const auto [lo, hi] = *s.firstOrderInterval;
      if (noise == 0) {
        EXPECT_NEAR(lo, expected[f][0], 1e-12);
        EXPECT_NEAR(hi, expected[f][0], 1e-12);
      } else if (f < 2) {
        EXPECT_LT(lo, hi);
        EXPECT_LT(lo, s.firstOrder + 0.05);
        EXPECT_GT(hi, s.firstOrder - 0.05);
      }
    }
  }
  EXPECT_EQ(stats::effectSentence("x2", "y", stats::factorEffects(synthetic(1, 0)), 1),
            "x2 explains 75% of the variance of y (88% with its interactions)");
}

TEST(Effects, FlatOrHoledGridsHaveNoShares) {
  stats::FactorGrid g = synthetic(1, 0);
  std::fill(g.values.begin(), g.values.end(), 0.1 + 0.2);
  const stats::Effects flat = stats::factorEffects(g);
  EXPECT_EQ(flat.outcome, stats::Effects::Outcome::noEffect);
  EXPECT_EQ(stats::effectSentence("x1", "y", flat, 0), "y is the same at every point: no effect of x1");
  g = synthetic(1, 0);
  g.values[3] = g.values[7] = std::nan("");
  const stats::Effects holed = stats::factorEffects(g);
  EXPECT_EQ(holed.outcome, stats::Effects::Outcome::incomplete);
  EXPECT_EQ(holed.emptyCells, 2u);
  EXPECT_EQ(stats::effectSentence("x1", "y", holed, 0), "no shares for y: 2 points of the grid have no value");
}

// ---- The program on sweeps that morphsweep grew ----

namespace {

int runQuietly(const std::string& command) { return std::system((command + " >/dev/null 2>run.err").c_str()); }

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The rows of the effects table by measure, then parameter: outcome and sentence.
std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> effectRows(const std::string& csv) {
  std::map<std::pair<std::string, std::string>, std::pair<std::string, std::string>> rows;
  std::istringstream lines(csv);
  std::string line;
  std::getline(lines, line);
  while (std::getline(lines, line)) {
    std::vector<std::string> f;
    std::istringstream cells(line);
    for (std::string cell; f.size() < 9 && std::getline(cells, cell, ',');) f.push_back(cell);
    std::string sentence;
    std::getline(cells, sentence);
    rows[{f.at(0), f.at(1)}] = {f.at(2), sentence};
  }
  return rows;
}

// A definition of the README's example point with `swept` lines in place of their defaults.
void plan(const std::string& manifest, const std::map<std::string, std::string>& swept) {
  std::map<std::string, std::string> lines{
      {"inputTemplate", "start.3dv"}, {"growthCycles", "3"},   {"modificationCount", "1"}, {"templateSwitch", "0"},
      {"redLifespan", "40"},          {"redThreshold", "120"}, {"redSecretor", "5"},       {"greenLifespan", "40"},
      {"greenThreshold", "120"},      {"greenSecretor", "17"}, {"blueLifespan", "40"},     {"blueThreshold", "120"},
      {"blueSecretor", "33"},         {"repulsion", "2"},      {"attraction", "3"}};
  for (const auto& [name, values] : swept) lines[name] = values;
  std::ofstream definition(manifest + ".sweep");
  for (const auto& [name, values] : lines) definition << name << " = " << values << '\n';
  definition.close();
  const std::string command =
      std::string(PLAN_BINARY) + " --program " + MORPHSWEEP_BINARY + " " + manifest + ".sweep >" + manifest + " 2>run.err";
  ASSERT_EQ(std::system(command.c_str()), 0) << slurp("run.err");
  ASSERT_EQ(runQuietly("sh " + manifest), 0) << slurp("run.err");
}

class Program : public FreshFolderTest {};

}  // namespace

TEST_F(Program, MorphogenValuesHaveNoEffectOnShapeAndForcesShareIt) {
  fs::copy_file(BUNDLED_EXAMPLE, "start.3dv");
  plan("levels", {{"redThreshold", "100, 120"}, {"blueSecretor", "10, 33"}, {"greenLifespan", "30, 40"}});
  ASSERT_EQ(runQuietly(std::string(MORPHSTATS_BINARY) + " --effects levels -o levels.csv"), 0) << slurp("run.err");
  const auto levels = effectRows(slurp("levels.csv"));
  for (const char* shape : {"vertices", "triangles", "area", "volume", "sphericity", "majorLength", "middleLength",
                            "minorLength", "elongation", "meanRadius", "radiusSpread", "minX", "maxZ", "angleDefect",
                            "tJunctions", "surfaceFaults", "farVertices", "medoidDistance"}) {
    for (const char* parameter : {"redThreshold", "blueSecretor", "greenLifespan"}) {
      const auto row = levels.find({shape, parameter});
      ASSERT_NE(row, levels.end()) << shape << " by " << parameter;
      EXPECT_EQ(row->second.first, "no effect") << shape << " by " << parameter << ": " << row->second.second;
    }
  }

  plan("forces", {{"repulsion", "1, 4, 16"}, {"attraction", "2, 3"}});
  ASSERT_EQ(runQuietly(std::string(MORPHSTATS_BINARY) + " --effects forces -o forces.csv"), 0) << slurp("run.err");
  const auto forces = effectRows(slurp("forces.csv"));
  EXPECT_EQ(forces.at({"sphericity", "repulsion"}).first, "shares");
  EXPECT_EQ(forces.at({"medoidDistance", "attraction"}).second.rfind("attraction explains ", 0), 0u)
      << forces.at({"medoidDistance", "attraction"}).second;

  // A grid with a hole is refused, and nothing is written.
  std::string manifest = slurp("forces");
  manifest.erase(0, manifest.find('\n') + 1);
  std::ofstream("holed") << manifest;
  EXPECT_EQ(WEXITSTATUS(runQuietly(std::string(MORPHSTATS_BINARY) + " --effects holed -o holed.csv")), 2);
  EXPECT_NE(slurp("run.err").find("holed: the points are no full grid of the swept parameters: 5 of 6"),
            std::string::npos)
      << slurp("run.err");
  EXPECT_FALSE(fs::exists("holed.csv"));
}
