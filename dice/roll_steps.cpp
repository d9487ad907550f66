#include "dice/roll_steps.h"

#include "dice/cooldown.h"
#include "dice/delivery.h"
#include "dice/roll_line.h"
#include "dice/settings.h"
#include "log/log.h"

bool WaitingForCooldown(const AShooterPlayerController* player, CooldownRoller& roller) {
  roller.reset();
  if (Settings.CooldownSeconds <= 0) return false;
  FWeakObjectPtr element;
  switch (FindListElement(player, element)) {
    case ListSearch::Found:
      break;
    case ListSearch::NotListed:
      return false;
    case ListSearch::NoList:
      return true;
  }
  roller = element;
  const std::int32_t left = CooldownSecondsLeft(element, CooldownNow());
  if (left == 0) return false;
  Line line;
  BuildWaitLine(line, left);
  TellRoller(player, line.data());
  return true;
}

void StartRollerCooldown(const CooldownRoller& roller) {
  if (Settings.CooldownSeconds > 0 && roller) {
    StartCooldown(*roller, CooldownNow(), Settings.CooldownSeconds);
  }
}

bool GetCharacterName(AShooterPlayerController* player, FString& name) {
  auto* getName = reinterpret_cast<GetPlayerCharacterNameFn>(
      GetAddress("AShooterPlayerController.GetPlayerCharacterName()"));
  if (getName == nullptr) return false;
  getName(player, &name);
  return true;
}

void SendRollLine(const AShooterPlayerController* player, const WideChar* line, Audience audience) {
  const FString text(line);
  // The host had no memory for the line: better no line than an empty one to everybody.
  if (text.Num == 0) return;
  const bool sent =
      audience == Audience::Everyone ? DeliverToEveryone(text) != 0 : DeliverToPlayer(player, text);
  if (sent && Settings.LogRolls) LogRollLine(text, audience);
}

void RecordRoll(bool named, const FString& name, std::span<const AuditGroup> groups) {
  // An empty name is still the name the host gave, as the line shows it: "" rather than null.
  // A /roll of numbers alone draws no dice: there is nothing to record.
  if (Settings.AuditRolls && !groups.empty()) RecordAuditedRoll(named ? *name : nullptr, groups);
}

void TellRoller(const AShooterPlayerController* player, const WideChar* line) {
  const FString text(line);
  if (text.Num != 0) DeliverToPlayer(player, text);
}

void RefuseWithoutSource(const AShooterPlayerController* player) {
  if (Settings.AuditRolls) {
    LogAuditFailure();
  } else {
    WriteLog(spdlog::level::err, "Rollmoot: Secure rolls: the system random source failed");
  }
  Line line;
  BuildNoSecureSourceLine(line);
  TellRoller(player, line.data());
}
