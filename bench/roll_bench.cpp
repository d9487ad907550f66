#include "bench/roll_bench.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "bench/bench_server.h"
#include "bench/conventional_roll.h"
#include "dice/engine.h"
#include "dice/roll_command.h"
#include "host/utf.h"
#include "simhost/simhost.h"
#include "tests/support/alloc_count.h"

namespace bench {
namespace {

// The lines one roll sends, after a warm-up roll when the implementation has a cooldown
// (as the benchmark measures it).
std::vector<std::u16string> LinesSent(const Scenario& scenario, const Implementation& with) {
  BenchServer server(scenario, with.Options, with.EveryMessage, with.RollerLast);
  simhost::SetLeanRelay(false);
  if (with.Options.CooldownSeconds > 0) {
    with.Roll(server.Roller(), server.Message(), scenario.Sides);
    simhost::ClearInboxes();
  }
  with.Roll(server.Roller(), server.Message(), scenario.Sides);
  std::vector<std::u16string> lines;
  for (int player = 1; player <= scenario.Players; ++player) {
    for (const auto& line : simhost::Inbox(player)) lines.push_back(line.Text);
  }
  return lines;
}

void BM_Roll(benchmark::State& state, const Scenario& scenario, const Implementation& with) {
  BenchServer server(scenario, with.Options, with.EveryMessage, with.RollerLast);
  AShooterPlayerController* roller = server.Roller();
  FString* message = server.Message();
  const RollFn roll = with.Roll;
  // First-use statics and lazy binding, out of the count; with a cooldown, it starts it.
  roll(roller, message, scenario.Sides);

  const simhost::MemoryStats hostBefore = simhost::Memory();
  const std::uint64_t deliveriesBefore = simhost::DeliveryCount();
  alloc_count::Counts counts;
  for (auto _ : state) {
    const alloc_count::Window window(counts);
    roll(roller, message, scenario.Sides);
  }
  const simhost::MemoryStats hostAfter = simhost::Memory();

  const auto perRoll = [](double value) {
    return benchmark::Counter(value, benchmark::Counter::kAvgIterations);
  };
  const auto hostBlocks = static_cast<double>(hostAfter.Allocations - hostBefore.Allocations);
  state.counters["deliveries"] =
      perRoll(static_cast<double>(simhost::DeliveryCount() - deliveriesBefore));
  state.counters["host_blocks"] = perRoll(hostBlocks);
  state.counters["new"] = perRoll(static_cast<double>(counts.News));
  // Everything the process took from the heap during the rolls, less the host's own blocks:
  // the handler's own heap work. The host makes exactly one malloc per block.
  const double mallocs =
      alloc_count::CountsMallocs() ? static_cast<double>(counts.Mallocs) : hostBlocks;
  state.counters["own_heap"] = perRoll(static_cast<double>(counts.News) + mallocs - hostBlocks);
  if (hostAfter.Blocks != hostBefore.Blocks) state.SkipWithError("host blocks left outstanding");
}

}  // namespace

bool CheckSameWork() {
  bool same = true;
  const std::u16string refusal = u"Wait 3600 s before rolling again";
  for (const Scenario& scenario : Scenarios()) {
    DiceEngine = SeededEngine(2024u);
    const auto ours = LinesSent(scenario, *FindImplementation("ours"));
    ConventionalEngine.seed(2024u);
    const auto conventional = LinesSent(scenario, *FindImplementation("conventional"));
    const auto floor = LinesSent(scenario, *FindImplementation("floor"));
    // Every setting on: the same line to everyone, or to the roller alone, or a refusal.
    DiceEngine = SeededEngine(2024u);
    const auto allOn = LinesSent(scenario, *FindImplementation("all_on"));
    DiceEngine = SeededEngine(2024u);
    const auto allOnPrivate = LinesSent(scenario, *FindImplementation("all_on_private"));
    const auto refused = LinesSent(scenario, *FindImplementation("refused"));
    const auto cooldown = LinesSent(scenario, *FindImplementation("cooldown"));
    const auto cooldownLast = LinesSent(scenario, *FindImplementation("cooldown_last"));
    DiceEngine = SeededEngine(2024u);
    const auto translated = LinesSent(scenario, *FindImplementation("messages"));
    const EngineState engine = DiceEngine;
    const auto secure = LinesSent(scenario, *FindImplementation("secure"));
    const auto audit = LinesSent(scenario, *FindImplementation("audit"));
    const auto auditFile = LinesSent(scenario, *FindImplementation("audit_file"));
    const auto expected = static_cast<std::size_t>(scenario.Players);
    if (ours.size() != expected || conventional != ours || floor.size() != expected) {
      std::fprintf(stderr, "%s: the implementations do not do the same work\n",
                   scenario.Name.c_str());
      if (!ours.empty() && !conventional.empty()) {
        std::fprintf(stderr, "  ours:         %s\n  conventional: %s\n",
                     utf::WideToUtf8(ours.front()).c_str(),
                     utf::WideToUtf8(conventional.front()).c_str());
      }
      same = false;
    } else if (allOn != ours || allOnPrivate != std::vector<std::u16string>{ours.front()} ||
               refused != std::vector<std::u16string>{refusal}) {
      std::fprintf(stderr,
                   "%s: with every setting on, ours does not send the same line to everyone, "
                   "the same line to the roller alone, and a refusal to the roller alone\n",
                   scenario.Name.c_str());
      same = false;
    } else if (cooldown.size() != expected || cooldown.front() == refusal ||
               cooldown != std::vector<std::u16string>(expected, cooldown.front()) ||
               cooldownLast.size() != expected || cooldownLast.front() == refusal ||
               cooldownLast != std::vector<std::u16string>(expected, cooldownLast.front())) {
      std::fprintf(stderr, "%s: with a cooldown, the roll after one that ran out did not roll\n",
                   scenario.Name.c_str());
      same = false;
    } else if (secure.size() != expected ||
               std::count(secure.begin(), secure.end(), secure.front()) != scenario.Players ||
               audit.size() != expected ||
               std::count(audit.begin(), audit.end(), audit.front()) != scenario.Players ||
               auditFile.size() != expected ||
               std::memcmp(&engine, &DiceEngine, sizeof engine) != 0) {
      std::fprintf(stderr,
                   "%s: with secure rolls or the roll audit on, ours does not send one line to "
                   "everyone, or it moves the engine\n",
                   scenario.Name.c_str());
      same = false;
    } else if (translated.size() != expected ||
               utf::WideToUtf8(translated.front()).find(" w\xC3\xBCrfelt ") == std::string::npos) {
      std::fprintf(stderr, "%s: with every message set, ours does not send the German line\n",
                   scenario.Name.c_str());
      same = false;
    }
  }
  return same;
}

void RegisterRollBenchmarks() {
  for (const Scenario& scenario : Scenarios()) {
    for (const Implementation& implementation : Implementations()) {
      const std::string name = "roll/" + scenario.Name + "/" + implementation.Name;
      benchmark::RegisterBenchmark(name.c_str(), &BM_Roll, scenario, implementation);
    }
  }
}

}  // namespace bench
