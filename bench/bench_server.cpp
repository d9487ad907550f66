#include "bench/bench_server.h"

#include <spdlog/sinks/null_sink.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <string_view>
#include <utility>

#include "bench/conventional_roll.h"
#include "bench/floor_roll.h"
#include "dice/audit.h"
#include "dice/audit_file.h"
#include "dice/cooldown.h"
#include "dice/messages.h"
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

// Every message replaced, as the German example file does.
void UseEveryMessage() {
  static const std::pair<MessageId, std::u32string_view> german[] = {
      {MessageId::Roll, U"{name} würfelt {count}d{sides}: {results}"},
      {MessageId::RollMany, U"{name} würfelt {count}d{sides}: {results} (Summe: {total})"},
      {MessageId::PrivateRoll, U"{name} würfelt {count}d{sides}: {results} (nur du siehst das)"},
      {MessageId::PrivateRollMany,
       U"{name} würfelt {count}d{sides}: {results} (Summe: {total}, nur du siehst das)"},
      {MessageId::Notation, U"{name} würfelt {expression}: {parts} (Summe: {total})"},
      {MessageId::Wait, U"Bitte noch {seconds} s warten"},
      {MessageId::CannotRoll, U"Kann „{text}“ nicht würfeln: {reason}"},
      {MessageId::NoSecureSource,
       U"Jetzt kann nicht gewürfelt werden: keine sichere Zufallsquelle"},
      {MessageId::ExpectedTerm, U"Zahl oder Würfel erwartet {where}"},
      {MessageId::ExpectedSides, U"Seitenzahl erwartet {where}"},
      {MessageId::ExpectedKeep, U"kh oder kl erwartet {where}"},
      {MessageId::SpaceInTerm, U"kein Leerzeichen innerhalb eines Terms {where}"},
      {MessageId::UnexpectedCharacter, U"unerwartetes Zeichen {where}"},
      {MessageId::CountRange, U"Anzahl muss 1 bis {max} sein"},
      {MessageId::SidesRange, U"Seiten müssen {min} bis {max} sein"},
      {MessageId::KeepRange, U"kh/kl muss 1 bis {max} sein"},
      {MessageId::NumberRange, U"Zahl muss 0 bis {max} sein"},
      {MessageId::TooManyTerms, U"höchstens {max} Terme"},
      {MessageId::TooManyDice, U"höchstens {max} Würfel pro Wurf"},
      {MessageId::OneDieOnly, U"höchstens {max} Würfel pro Wurf"},
      {MessageId::NotationLabelled,
       U"{name} würfelt {expression} für {label}: {parts} (Summe: {total})"},
      {MessageId::ExpectedNumber, U"Zahl erwartet {where}"},
      {MessageId::ExplodesEveryFace, U"explodiert auf jeder Seite"},
      {MessageId::RerollsEveryFace, U"würfelt jede Seite neu"},
      {MessageId::FailureWithoutSuccess, U"Fehlschläge brauchen zuerst eine Erfolgszahl"},
      {MessageId::RepeatedModifier, U"nur ein {modifier} pro Term"},
      {MessageId::DropRange, U"dh/dl muss 1 bis {max} sein"},
      {MessageId::CompareRange, U"Vergleichszahl muss 0 bis {max} sein"},
      {MessageId::LabelTooLong, U"Beschriftung höchstens {max} Zeichen"},
      {MessageId::AtCharacter, U"an Stelle {position}"},
      {MessageId::AtEnd, U"am Ende"},
  };
  for (const auto& [id, text] : german) {
    if (ParseMessage(id, text, Messages[static_cast<std::size_t>(id)]).Error !=
        TemplateError::None) {
      std::abort();  // a template of ours that the loader would refuse
    }
  }
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
  static constexpr RollSettings AuditOnly{0, false, false, MaxDiceCount, false, false, true};
  static constexpr RollSettings AuditWithFile{0,     false, false, MaxDiceCount,
                                              false, false, true,  true};
  static const std::vector<Implementation> implementations{
      {"ours", &RollCommand},
      {"floor", &FloorRoll},
      {"conventional", &ConventionalRoll},
      {"all_on", &RollCommand, AllOn},
      {"all_on_private", &PrivateRollCommand, AllOn},
      {"refused", &RollCommand, AllOnWithCooldown},
      {"cooldown", &RollThenCooldownRunsOut, CooldownOnly},
      {"secure", &RollCommand, SecureOnly},
      {"messages", &RollCommand, {}, true},
      {"audit", &RollCommand, AuditOnly},
      {"cooldown_last", &RollThenCooldownRunsOut, CooldownOnly, false, true},
      {"audit_file", &RollCommand, AuditWithFile},
  };
  return implementations;
}

const Implementation* FindImplementation(const std::string& name) {
  for (const Implementation& implementation : Implementations()) {
    if (name == implementation.Name) return &implementation;
  }
  return nullptr;
}

BenchServer::BenchServer(const Scenario& scenario, const RollSettings& options, bool everyMessage,
                         bool rollerLast) {
  Settings = options;
  if (everyMessage) UseEveryMessage();
  ClearCooldowns();
  if (options.LogRolls || options.AuditRolls) {
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
  roller_ = simhost::Controller(rollerLast ? scenario.Players : 1);
  message_.emplace(scenario.Message.c_str());
  if (options.AuditFile) {
    // A folder of its own in the system's temporary folder, gone with the server.
    std::random_device device;
    auditFolder_ = (std::filesystem::temp_directory_path() /
                    ("rollmoot-bench-" + std::to_string(device()) + std::to_string(device())))
                       .string();
    UseAuditFile(auditFolder_);
  }
  if (options.AuditRolls) StartAudit(AuditClock::now());
}

BenchServer::~BenchServer() {
  message_.reset();
  simhost::Reset();
  EndAudit();
  StopAuditFile();
  if (!auditFolder_.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(auditFolder_, ignored);
  }
  PluginLogHolder().reset();
  ClearCooldowns();
  Settings = {};
  Messages = DefaultMessages;
}

}  // namespace bench
