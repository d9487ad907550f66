// The fairness report is only as trustworthy as its p-values: check them against textbook
// critical values and closed forms, and check that each test catches the fault it is for.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "dice/engine.h"
#include "report.h"
#include "stats.h"

namespace {

using namespace fairness;

TEST(ChiSquareSurvival, MatchesTabulatedCriticalValues) {
  struct Row {
    double Chi2, Df, P;
  };
  // Critical values from standard chi-square tables.
  const Row rows[] = {
      {3.841459, 1, 0.05},   {6.634897, 1, 0.01},   {5.991465, 2, 0.05},   {11.070498, 5, 0.05},
      {18.307038, 10, 0.05}, {30.143527, 19, 0.05}, {36.190869, 19, 0.01}, {124.342113, 100, 0.05},
  };
  for (const Row& row : rows) {
    EXPECT_NEAR(ChiSquareSurvival(row.Chi2, row.Df), row.P, 1e-6)
        << "chi2 " << row.Chi2 << " df " << row.Df;
  }
}

// Closed forms: df 1 is erfc(sqrt(x / 2)); an even df 2k is e^(-x/2) * sum_{j<k} (x/2)^j / j!.
// Together they cover both ways the function computes, up to the 399 df of d20 pairs.
TEST(ChiSquareSurvival, MatchesClosedFormsAcrossTheRange) {
  for (double x : {0.01, 0.5, 1.0, 3.0, 10.0, 40.0}) {
    EXPECT_NEAR(ChiSquareSurvival(x, 1), std::erfc(std::sqrt(x / 2)), 1e-12) << x;
  }
  for (int k : {1, 2, 3, 18, 50, 200}) {
    for (double scale : {0.5, 0.9, 1.0, 1.1, 1.5}) {
      const double x = 2.0 * k * scale, half = x / 2;
      double term = 1, sum = 1;
      for (int j = 1; j < k; ++j) sum += term *= half / j;
      const double expected = std::exp(-half + std::log(sum));
      EXPECT_NEAR(ChiSquareSurvival(x, 2.0 * k), expected, 1e-10 + 1e-9 * expected)
          << "df " << 2 * k << " chi2 " << x;
    }
  }
  EXPECT_EQ(ChiSquareSurvival(0, 5), 1.0);
  EXPECT_LT(ChiSquareSurvival(1000, 5), 1e-200);
}

TEST(UniformChiSquare, ComputesStatisticAndDegreesOfFreedom) {
  const ChiSquare even = UniformChiSquare({100, 100, 100, 100});
  EXPECT_EQ(even.Statistic, 0);
  EXPECT_EQ(even.DegreesOfFreedom, 3);
  EXPECT_EQ(even.P, 1);
  const ChiSquare skewed = UniformChiSquare({110, 90, 100, 100});  // (100 + 100) / 100
  EXPECT_DOUBLE_EQ(skewed.Statistic, 2.0);
  EXPECT_NEAR(skewed.P, 0.5724067, 1e-6);
}

std::vector<int> Rolls(std::size_t n, int sides, std::uint32_t seed) {
  DiceEngine = SeededEngine(seed);
  std::vector<int> rolls;
  for (std::size_t i = 0; i < n; ++i) rolls.push_back(RollDie(static_cast<std::uint32_t>(sides)));
  return rolls;
}

TEST(FairnessReport, ThePluginsDrawPassesEveryTest) {
  for (int sides : {3, 4, 6, 8, 10, 12, 20}) {
    const DieReport report = Analyse(Rolls(200000, sides, 20240601u), sides);
    EXPECT_TRUE(report.PairsTested);
    EXPECT_FALSE(report.Suspicious)
        << "d" << sides << " spread p " << report.Spread.P << " serial p " << report.Serial.P
        << " pairs p " << report.Pairs.P;
  }
}

// Each way a die can be rigged is caught by the test meant for it.
TEST(FairnessReport, CatchesLoadedAndPatternedDice) {
  // Loaded: a six comes up about a twelfth more often than it should.
  std::vector<int> loaded = Rolls(200000, 6, 7);
  for (std::size_t i = 0; i < loaded.size(); i += 60) loaded[i] = 6;
  EXPECT_LT(Analyse(loaded, 6).Spread.P, SuspiciousBelow);

  // Even spread, but each roll follows from the last: 1, 2, ..., 6, 1, 2, ...
  std::vector<int> cycle;
  for (int i = 0; i < 60000; ++i) cycle.push_back(i % 6 + 1);
  const DieReport cyclic = Analyse(cycle, 6);
  EXPECT_GT(cyclic.Spread.P, 0.5);
  EXPECT_LT(cyclic.Pairs.P, SuspiciousBelow);
  EXPECT_TRUE(cyclic.Suspicious);

  // Sticky: a roll repeats the one before a fifth of the time.
  std::vector<int> sticky = Rolls(200000, 20, 11);
  std::mt19937 coin(3);
  for (std::size_t i = 1; i < sticky.size(); ++i) {
    if (coin() % 5 == 0) sticky[i] = sticky[i - 1];
  }
  EXPECT_LT(Analyse(sticky, 20).Serial.P, SuspiciousBelow);
}

TEST(FairnessReport, TooFewRollsForPairsAreNotTested) {
  const DieReport report = Analyse(Rolls(1000, 20, 1), 20);  // 500 pairs over 400 cells
  EXPECT_FALSE(report.PairsTested);
}

}  // namespace
