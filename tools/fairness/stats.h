// The statistics behind the fairness report: how likely a fair die is to stray as far from
// an even spread, or from independence between consecutive rolls, as the observed rolls do.
#pragma once

#include <cstdint>
#include <vector>

namespace fairness {

// Q(a, x), the regularised upper incomplete gamma function, for a > 0 and x >= 0.
double UpperGammaQ(double a, double x);

// P(X >= chi2) for X chi-square distributed with `df` degrees of freedom.
double ChiSquareSurvival(double chi2, double df);

struct ChiSquare {
  double Statistic = 0;
  double DegreesOfFreedom = 0;
  double P = 1;
};

// Observed counts against a uniform expectation over all cells.
ChiSquare UniformChiSquare(const std::vector<std::uint64_t>& counts);

// Faces 1..sides: counts[face - 1].
std::vector<std::uint64_t> FaceCounts(const std::vector<int>& rolls, int sides);

// Lag-1 serial correlation of the rolls. Under independence r is about -1/n with variance
// about 1/n, so z = (r + 1/n) * sqrt(n) is close to standard normal; P is two-sided.
struct SerialCorrelation {
  double R = 0;
  double Z = 0;
  double P = 1;
};
SerialCorrelation LagOneCorrelation(const std::vector<int>& rolls);

// Consecutive rolls taken as non-overlapping pairs (first, second): sides * sides cells,
// uniform when each roll is independent of the one before.
ChiSquare PairChiSquare(const std::vector<int>& rolls, int sides);

}  // namespace fairness
