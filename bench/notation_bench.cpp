// /roll on its own: a few expressions typed to 100 players with the command switched on and
// every other setting off, so that expressions can be compared with each other and across
// versions of the notation code.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/bench_server.h"
#include "dice/notation_command.h"
#include "simhost/simhost.h"

namespace {

void RollNotation(AShooterPlayerController* player, FString* message, int) {
  NotationRollCommand(player, message);
}

void BM_Notation(benchmark::State& state, const bench::Scenario& scenario) {
  RollSettings options;
  options.RollCommand = true;
  bench::BenchServer server(scenario, options);
  RollNotation(server.Roller(), server.Message(), 0);
  const std::uint64_t before = simhost::DeliveryCount();
  for (auto _ : state) RollNotation(server.Roller(), server.Message(), 0);
  state.counters["deliveries"] = benchmark::Counter(
      static_cast<double>(simhost::DeliveryCount() - before), benchmark::Counter::kAvgIterations);
}

// Registered before main runs, beside the whole-roll benchmarks.
const bool Registered = [] {
  static const bench::Scenario scenarios[] = {
      {"2d20kh1+5", u"/roll 2d20kh1+5", 0, 100}, {"10d10", u"/roll 10d10", 0, 100},
      {"10d10>=8", u"/roll 10d10>=8", 0, 100},   {"5d6", u"/roll 5d6", 0, 100},
      {"4d6!", u"/roll 4d6!", 0, 100},
  };
  for (const bench::Scenario& scenario : scenarios) {
    const std::string name = "notation/" + scenario.Name + "/100p";
    benchmark::RegisterBenchmark(name.c_str(), &BM_Notation, scenario);
  }
  return true;
}();

}  // namespace
