#include "dice/roll_command.h"

#include <algorithm>

#include "dice/engine.h"
#include "dice/roll_line.h"
#include "dice/roll_steps.h"
#include "dice/settings.h"

namespace {

void Roll(AShooterPlayerController* player, FString* message, int sides, Audience audience) {
  if (player == nullptr) return;
  CooldownRoller roller;
  if (WaitingForCooldown(player, roller)) return;
  StartRollerCooldown(roller);

  const std::int32_t count = std::min(ReadDiceCount(message), Settings.MaxDice);
  std::int32_t results[MaxDiceCount];
  std::int64_t total = 0;  // wide enough for any number of sides
  for (std::int32_t i = 0; i < count; ++i) {
    results[i] = RollDie(static_cast<std::uint32_t>(sides));
    total += results[i];
  }

  FString name;
  if (!GetCharacterName(player, name)) return;
  Line line;
  BuildLine(line, name, count, sides, results, total);
  SendRollLine(player, line.data(), audience);
}

}  // namespace

void RollCommand(AShooterPlayerController* player, FString* message, int sides) {
  Roll(player, message, sides, Audience::Everyone);
}

void PrivateRollCommand(AShooterPlayerController* player, FString* message, int sides) {
  Roll(player, message, sides, Audience::Roller);
}
