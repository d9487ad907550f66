// rollmoot_roll_count IMPLEMENTATION SCENARIO N (or notation EXPRESSION N, a /roll):
// N rolls inside rollmoot_measured_rolls,
// so that `valgrind --tool=callgrind --collect-atstart=no
// --toggle-collect=rollmoot_measured_rolls` counts the instructions of the rolls alone.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/bench_server.h"
#include "dice/notation_command.h"
#include "dice/settings.h"
#include "simhost/simhost.h"

extern "C" __attribute__((noinline)) void rollmoot_measured_rolls(bench::RollFn roll,
                                                                  bench::BenchServer& server,
                                                                  int sides, long rolls) {
  for (long i = 0; i < rolls; ++i) roll(server.Roller(), server.Message(), sides);
}

namespace {

void RollNotation(AShooterPlayerController* player, FString* message, int) {
  NotationRollCommand(player, message);
}

// "notation EXPRESSION N": "/roll EXPRESSION" to 100 players, /roll on and nothing else.
int CountNotation(const char* expression, long rolls) {
  const std::string text = std::string("/roll ") + expression;
  const bench::Scenario scenario{"notation", std::u16string(text.begin(), text.end()), 0, 100};
  RollSettings options;
  options.RollCommand = true;
  bench::BenchServer server(scenario, options);
  RollNotation(server.Roller(), server.Message(), 0);
  rollmoot_measured_rolls(&RollNotation, server, 0, rolls);
  std::printf("%llu deliveries\n", static_cast<unsigned long long>(simhost::DeliveryCount()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "notation") {
    const long rolls = std::strtol(argv[3], nullptr, 10);
    return rolls < 1 ? 2 : CountNotation(argv[2], rolls);
  }
  const bench::Implementation* implementation =
      argc == 4 ? bench::FindImplementation(argv[1]) : nullptr;
  const bench::Scenario* scenario = argc == 4 ? bench::FindScenario(argv[2]) : nullptr;
  const long rolls = argc == 4 ? std::strtol(argv[3], nullptr, 10) : 0;
  if (implementation == nullptr || scenario == nullptr || rolls < 1) {
    std::fprintf(stderr,
                 "usage: %s ours|floor|conventional|all_on|all_on_private|refused|secure|messages|"
                 "audit|audit_file|cooldown|cooldown_last "
                 "d6_1p|d20x100_100p|msg500_1p N\n"
                 "       %s notation EXPRESSION N\n",
                 argv[0], argv[0]);
    return 2;
  }
  bench::BenchServer server(*scenario, implementation->Options, implementation->EveryMessage,
                            implementation->RollerLast);
  // Warm-up; with a cooldown, it starts it, so the measured rolls are refused.
  implementation->Roll(server.Roller(), server.Message(), scenario->Sides);
  rollmoot_measured_rolls(implementation->Roll, server, scenario->Sides, rolls);
  std::printf("%llu deliveries\n", static_cast<unsigned long long>(simhost::DeliveryCount()));
  return 0;
}
