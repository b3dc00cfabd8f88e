// How much of a measure's variation over a full factorial grid each factor causes: the
// analysis of variance of the grid's cell means, whose first-order and total shares equal
// the Sobol indices there, with a bootstrap interval where cells hold several replicates
// (seeds).
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

namespace stats {

// The grid: per row, its level of each factor (0-based, below the factor's count) and its
// value; rows of one cell are replicates. NaN is a row without a value.
struct FactorGrid {
  std::vector<std::size_t> levelCounts;
  std::vector<std::vector<std::size_t>> levels;
  std::vector<double> values;
};

struct Share {
  double firstOrder = 0;  // the factor alone
  double total = 0;       // the factor with all its interactions
  std::optional<std::array<double, 2>> firstOrderInterval, totalInterval;  // 95%, over replicates
};

struct Effects {
  enum class Outcome { shares, noEffect, incomplete };
  Outcome outcome = Outcome::incomplete;
  std::vector<Share> shares;  // per factor, for Outcome::shares
  std::size_t emptyCells = 0;  // cells without a value, for Outcome::incomplete
};

inline constexpr int bootstrapRounds = 1000;

// The shares of each factor. Every cell needs a value; when every cell's mean is the same
// there is no variance to share: no effect. The bootstrap resamples each cell's replicates
// with a fixed seed, so the interval is the same on every run.
Effects factorEffects(const FactorGrid& grid);

// Level indices for words: numbers in numeric order, anything else in text order.
std::vector<std::size_t> levelIndices(const std::vector<std::string>& words, std::size_t& count);

// "repulsion explains 3.2% of the variance of sphericity (8.1% with its interactions)", or
// what stands in for shares.
std::string effectSentence(const std::string& factor, const std::string& measure, const Effects& e,
                           std::size_t factorIndex);

}  // namespace stats
