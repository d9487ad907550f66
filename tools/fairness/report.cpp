#include "report.h"

#include <cinttypes>

namespace fairness {
namespace {

// A chi-square test is trusted only when every cell expects at least this many hits.
constexpr double MinExpectedPerCell = 5.0;

const char* Mark(double p) {
  return p < SuspiciousBelow ? "  <-- suspicious" : "";
}

}  // namespace

DieReport Analyse(const std::vector<int>& rolls, int sides) {
  DieReport report;
  report.Sides = sides;
  report.Counts = FaceCounts(rolls, sides);
  report.Spread = UniformChiSquare(report.Counts);
  report.Serial = LagOneCorrelation(rolls);
  const double pairs = static_cast<double>(rolls.size() / 2);
  report.PairsTested = pairs >= MinExpectedPerCell * sides * sides;
  if (report.PairsTested) report.Pairs = PairChiSquare(rolls, sides);
  report.Suspicious = report.Spread.P < SuspiciousBelow || report.Serial.P < SuspiciousBelow ||
                      (report.PairsTested && report.Pairs.P < SuspiciousBelow);
  return report;
}

void Print(std::FILE* out, const DieReport& report) {
  std::uint64_t total = 0;
  for (std::uint64_t count : report.Counts) total += count;
  const double expected = static_cast<double>(total) / report.Sides;
  std::fprintf(out, "d%d: %" PRIu64 " rolls\n", report.Sides, total);
  std::fprintf(out, "  face       count     expected  deviation\n");
  for (std::size_t face = 0; face < report.Counts.size(); ++face) {
    const double count = static_cast<double>(report.Counts[face]);
    std::fprintf(out, "  %4zu  %10" PRIu64 "  %11.1f  %+8.3f%%\n", face + 1, report.Counts[face],
                 expected, expected > 0 ? 100.0 * (count - expected) / expected : 0.0);
  }
  std::fprintf(out, "  even spread      chi-square %9.2f  (df %3.0f)     p = %.4f%s\n",
               report.Spread.Statistic, report.Spread.DegreesOfFreedom, report.Spread.P,
               Mark(report.Spread.P));
  std::fprintf(out, "  roll after roll  correlation %+8.5f  (z %+6.2f)   p = %.4f%s\n",
               report.Serial.R, report.Serial.Z, report.Serial.P, Mark(report.Serial.P));
  if (report.PairsTested) {
    std::fprintf(out, "  pairs of rolls   chi-square %9.2f  (df %3.0f)     p = %.4f%s\n",
                 report.Pairs.Statistic, report.Pairs.DegreesOfFreedom, report.Pairs.P,
                 Mark(report.Pairs.P));
  } else {
    std::fprintf(out, "  pairs of rolls   not tested: needs at least %d rolls\n",
                 static_cast<int>(2 * MinExpectedPerCell * report.Sides * report.Sides));
  }
  if (report.Suspicious) {
    std::fprintf(out,
                 "  verdict: SUSPICIOUS - a fair d%d does this less than once in %.0f reports\n\n",
                 report.Sides, 1.0 / SuspiciousBelow);
  } else {
    std::fprintf(out, "  verdict: FAIR - nothing here that a fair d%d would not do\n\n",
                 report.Sides);
  }
}

void WriteCsvRows(std::FILE* out, const DieReport& report) {
  std::uint64_t total = 0;
  for (std::uint64_t count : report.Counts) total += count;
  const double expected = static_cast<double>(total) / report.Sides;
  for (std::size_t face = 0; face < report.Counts.size(); ++face) {
    std::fprintf(out, "%d,%zu,%" PRIu64 ",%.3f\n", report.Sides, face + 1, report.Counts[face],
                 expected);
  }
}

}  // namespace fairness
