#include "bench/bench_server.h"

#include <spdlog/sinks/null_sink.h>

#include "bench/conventional_roll.h"
#include "bench/floor_roll.h"
#include "dice/cooldown.h"
#include "dice/roll_command.h"
#include "host/utf.h"
#include "log/log.h"
#include "simhost/simhost.h"

namespace bench {
namespace {

std::u16string ChatLine500() {
  std::u16string text = u"/d6 3 ";
  const std::u16string chatter = u"good luck everyone, may the dice be kind tonight! ";
  while (text.size() < 500) text += chatter;
  text.resize(500);
  return text;
}

}  // namespace

const std::vector<Scenario>& Scenarios() {
  static const std::vector<Scenario> scenarios{
      {"d6_1p", u"/d6", 6, 1},
      {"d20x100_100p", u"/d20 100", 20, 100},
      {"msg500_1p", ChatLine500(), 6, 1},
  };
  return scenarios;
}

const Scenario* FindScenario(const std::string& name) {
  for (const Scenario& scenario : Scenarios()) {
    if (scenario.Name == name) return &scenario;
  }
  return nullptr;
}

namespace {

// A roll with the cooldown on that always rolls: after each, its cooldown is let run out
// (without freeing the table), as if the next roll came CooldownSeconds later.
void RollThenCooldownRunsOut(AShooterPlayerController* player, FString* message, int sides) {
  RollCommand(player, message, sides);
  CooldownSecondsLeft(FWeakObjectPtr{}, CooldownClock::time_point::max());
}

}  // namespace

const std::vector<Implementation>& Implementations() {
  static constexpr RollSettings CooldownOnly{MaxCooldownSeconds};
  static constexpr RollSettings AllOn{0, true, true, MaxDiceCount, true};
  static constexpr RollSettings AllOnWithCooldown{MaxCooldownSeconds, true, true, MaxDiceCount,
                                                  true};
  static constexpr RollSettings SecureOnly{0, false, false, MaxDiceCount, false, true};
  static const std::vector<Implementation> implementations{
      {"ours", &RollCommand},
      {"floor", &FloorRoll},
      {"conventional", &ConventionalRoll},
      {"all_on", &RollCommand, AllOn},
      {"all_on_private", &PrivateRollCommand, AllOn},
      {"refused", &RollCommand, AllOnWithCooldown},
      {"cooldown", &RollThenCooldownRunsOut, CooldownOnly},
      {"secure", &RollCommand, SecureOnly},
  };
  return implementations;
}

const Implementation* FindImplementation(const std::string& name) {
  for (const Implementation& implementation : Implementations()) {
    if (name == implementation.Name) return &implementation;
  }
  return nullptr;
}

BenchServer::BenchServer(const Scenario& scenario, const RollSettings& options) {
  Settings = options;
  ClearCooldowns();
  if (options.LogRolls) {
    GetLogSinks().assign({std::make_shared<spdlog::sinks::null_sink_mt>()});
    CreatePluginLog(PluginLogHolder(), "Rollmoot");
    GetLogSinks().clear();
  }
  simhost::Reset();
  simhost::SetLeanRelay(true);
  for (int i = 1; i <= scenario.Players; ++i) {
    // A roller with a long but ordinary name; the others are plain.
    const std::u16string name = i == 1 ? u"Ser Rodrick of the Long Road"
                                       : u"Survivor " + utf::Utf8ToWide(std::to_string(i));
    simhost::Join(name);
  }
  roller_ = simhost::Controller(1);
  message_.emplace(scenario.Message.c_str());
}

BenchServer::~BenchServer() {
  message_.reset();
  simhost::Reset();
  PluginLogHolder().reset();
  ClearCooldowns();
  Settings = {};
}

}  // namespace bench
