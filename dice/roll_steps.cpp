#include "dice/roll_steps.h"

#include "dice/cooldown.h"
#include "dice/delivery.h"
#include "dice/settings.h"

bool WaitingForCooldown(const AShooterPlayerController* player) {
  if (Settings.CooldownSeconds <= 0) return false;
  const std::int32_t left = CooldownSecondsLeft(player, CooldownClock::now());
  if (left == 0) return false;
  Line line;
  line.resize(64);
  WideChar* out = Put(line.data(), "Wait ");
  out = PutNumber(out, left);
  out = Put(out, " s before rolling again");
  *out = 0;
  TellRoller(player, line.data());
  return true;
}

void StartRollerCooldown(const AShooterPlayerController* player) {
  if (Settings.CooldownSeconds > 0) {
    StartCooldown(player, CooldownClock::now(), Settings.CooldownSeconds);
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

void TellRoller(const AShooterPlayerController* player, const WideChar* line) {
  const FString text(line);
  if (text.Num != 0) DeliverToPlayer(player, text);
}
