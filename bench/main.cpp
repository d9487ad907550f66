// The benchmark program: checks that the implementations compared do the same job, then
// runs every benchmark (Google Benchmark's flags apply).
#include <benchmark/benchmark.h>

#include "bench/roll_bench.h"

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  if (!bench::CheckSameWork()) return 1;
  bench::RegisterRollBenchmarks();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
