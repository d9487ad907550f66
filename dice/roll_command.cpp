#include "dice/roll_command.h"

#include <algorithm>

#include "dice/engine.h"
#include "dice/roll_line.h"
#include "dice/roll_steps.h"
#include "dice/secure_feed.h"
#include "dice/settings.h"

namespace {

void Roll(AShooterPlayerController* player, FString* message, int sides, Audience audience) {
  if (player == nullptr) return;
  CooldownRoller roller;
  if (WaitingForCooldown(player, roller)) return;

  const std::int32_t count = std::min(ReadDiceCount(message), Settings.MaxDice);
  std::int32_t results[MaxDiceCount];
  std::int64_t total = 0;  // wide enough for any number of sides
  const bool drawn = WithRollFeed([&](auto& feed) {
    for (std::int32_t i = 0; i < count; ++i) {
      results[i] = RollDieFrom(feed, static_cast<std::uint32_t>(sides));
      total += results[i];
    }
    return feed.Ok();
  });
  if (!drawn) {
    RefuseWithoutSource(player);
    return;
  }
  StartRollerCooldown(roller);

  FString name;
  const bool named = GetCharacterName(player, name);
  const AuditGroup dice{sides, results, count};
  RecordRoll(named, name, {&dice, 1});
  if (!named) return;
  Line line;
  BuildLine(line, name, count, sides, results, total, audience == Audience::Roller);
  SendRollLine(player, line.data(), audience);
}

}  // namespace

void RollCommand(AShooterPlayerController* player, FString* message, int sides) {
  Roll(player, message, sides, Audience::Everyone);
}

void PrivateRollCommand(AShooterPlayerController* player, FString* message, int sides) {
  Roll(player, message, sides, Audience::Roller);
}
