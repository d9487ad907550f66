#include "dice/roll_command.h"

#include "dice/delivery.h"
#include "dice/dice_count.h"
#include "dice/engine.h"
#include "dice/roll_line.h"

void RollCommand(AShooterPlayerController* player, FString* message, int sides) {
  if (player == nullptr) return;

  const std::int32_t count = ReadDiceCount(message);
  std::int32_t results[MaxDiceCount];
  std::int64_t total = 0;  // wide enough for any number of sides
  for (std::int32_t i = 0; i < count; ++i) {
    results[i] = RollDie(static_cast<std::uint32_t>(sides));
    total += results[i];
  }

  FString name;
  auto* getName = reinterpret_cast<GetPlayerCharacterNameFn>(
      GetAddress("AShooterPlayerController.GetPlayerCharacterName()"));
  if (getName == nullptr) return;
  getName(player, &name);

  Line line;
  BuildLine(line, name, count, sides, results, total);
  const FString lineText(line.data());
  // The host had no memory for the line: better no line than an empty one to everybody.
  if (lineText.Num == 0) return;
  DeliverToEveryone(lineText);
}
