// One die's tally and tests, printed for people and written as CSV for plotting.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "stats.h"

namespace fairness {

// Below this p-value a test calls the die suspicious: a fair die trips each test once in a
// thousand reports.
inline constexpr double SuspiciousBelow = 0.001;

struct DieReport {
  int Sides = 0;
  std::vector<std::uint64_t> Counts;
  ChiSquare Spread;
  SerialCorrelation Serial;
  ChiSquare Pairs;
  bool PairsTested = false;  // too few rolls fill too few of the sides * sides cells
  bool Suspicious = false;
};

DieReport Analyse(const std::vector<int>& rolls, int sides);

void Print(std::FILE* out, const DieReport& report);

// "size,face,count,expected" rows, one per face.
void WriteCsvRows(std::FILE* out, const DieReport& report);

}  // namespace fairness
