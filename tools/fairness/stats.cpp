#include "stats.h"

#include <cmath>
#include <limits>

namespace fairness {
namespace {

constexpr int MaxIterations = 100000;
constexpr double Epsilon = 1e-15;

// P(a, x) by its power series; converges quickly for x < a + 1.
double LowerSeries(double a, double x) {
  double term = 1.0 / a, sum = term;
  for (int n = 1; n < MaxIterations; ++n) {
    term *= x / (a + n);
    sum += term;
    if (std::fabs(term) < std::fabs(sum) * Epsilon) break;
  }
  return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

// Q(a, x) by its continued fraction (modified Lentz); converges quickly for x >= a + 1.
double UpperFraction(double a, double x) {
  constexpr double Tiny = std::numeric_limits<double>::min() / Epsilon;
  double b = x + 1.0 - a, c = 1.0 / Tiny, d = 1.0 / b, h = d;
  for (int i = 1; i < MaxIterations; ++i) {
    const double an = -i * (i - a);
    b += 2.0;
    d = an * d + b;
    if (std::fabs(d) < Tiny) d = Tiny;
    c = b + an / c;
    if (std::fabs(c) < Tiny) c = Tiny;
    d = 1.0 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1.0) < Epsilon) break;
  }
  return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

}  // namespace

double UpperGammaQ(double a, double x) {
  if (!(a > 0) || !(x >= 0)) return std::numeric_limits<double>::quiet_NaN();
  if (x == 0) return 1.0;
  return x < a + 1.0 ? 1.0 - LowerSeries(a, x) : UpperFraction(a, x);
}

double ChiSquareSurvival(double chi2, double df) {
  return UpperGammaQ(df / 2.0, chi2 / 2.0);
}

ChiSquare UniformChiSquare(const std::vector<std::uint64_t>& counts) {
  ChiSquare result;
  if (counts.size() < 2) return result;
  double total = 0;
  for (std::uint64_t count : counts) total += static_cast<double>(count);
  if (total == 0) return result;
  const double expected = total / static_cast<double>(counts.size());
  for (std::uint64_t count : counts) {
    const double diff = static_cast<double>(count) - expected;
    result.Statistic += diff * diff / expected;
  }
  result.DegreesOfFreedom = static_cast<double>(counts.size() - 1);
  result.P = ChiSquareSurvival(result.Statistic, result.DegreesOfFreedom);
  return result;
}

std::vector<std::uint64_t> FaceCounts(const std::vector<int>& rolls, int sides) {
  std::vector<std::uint64_t> counts(static_cast<std::size_t>(sides), 0);
  for (int roll : rolls) {
    if (roll >= 1 && roll <= sides) ++counts[static_cast<std::size_t>(roll - 1)];
  }
  return counts;
}

SerialCorrelation LagOneCorrelation(const std::vector<int>& rolls) {
  SerialCorrelation result;
  const std::size_t n = rolls.size();
  if (n < 3) return result;
  double mean = 0;
  for (int roll : rolls) mean += roll;
  mean /= static_cast<double>(n);
  double numerator = 0, denominator = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const double d = rolls[i] - mean;
    denominator += d * d;
    if (i + 1 < n) numerator += d * (rolls[i + 1] - mean);
  }
  if (denominator == 0) return result;  // every roll the same: no variation to correlate
  const double count = static_cast<double>(n);
  result.R = numerator / denominator;
  result.Z = (result.R + 1.0 / count) * std::sqrt(count);
  result.P = std::erfc(std::fabs(result.Z) / std::sqrt(2.0));
  return result;
}

ChiSquare PairChiSquare(const std::vector<int>& rolls, int sides) {
  const auto cells = static_cast<std::size_t>(sides);
  std::vector<std::uint64_t> counts(cells * cells, 0);
  for (std::size_t i = 0; i + 1 < rolls.size(); i += 2) {
    const int first = rolls[i], second = rolls[i + 1];
    if (first < 1 || first > sides || second < 1 || second > sides) continue;
    ++counts[static_cast<std::size_t>(first - 1) * cells + static_cast<std::size_t>(second - 1)];
  }
  return UniformChiSquare(counts);
}

}  // namespace fairness
