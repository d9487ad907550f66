#include "dice/notation_command.h"

#include "dice/notation.h"
#include "dice/roll_steps.h"
#include "dice/secure_feed.h"
#include "dice/settings.h"

namespace {

// What follows the first space or tab; empty when there is none.
WideStringView Expression(const FString* message) {
  if (message == nullptr || message->Num <= 1) return {};
  const WideStringView text(**message);
  const std::size_t gap = text.find_first_of(HOST_TEXT(" \t"));
  return gap == WideStringView::npos ? WideStringView() : text.substr(gap + 1);
}

}  // namespace

void NotationRollCommand(AShooterPlayerController* player, FString* message) {
  if (player == nullptr) return;
  CooldownRoller roller;
  if (WaitingForCooldown(player, roller)) return;

  const WideStringView text = Expression(message);
  const Notation notation = ParseNotation(text, Settings.MaxDice);
  NotationLine line;
  if (notation.Error != NotationError::None) {
    WriteNotationError(line, text, notation);
    TellRoller(player, line.data());
    return;
  }

  NotationDraw draw;
  const bool drawn = WithRollFeed([&](auto& feed) {
    DrawNotation(notation, draw, feed);
    return feed.Ok();
  });
  if (!drawn) {
    RefuseWithoutSource(player);
    return;
  }
  StartRollerCooldown(roller);

  FString name;
  if (!GetCharacterName(player, name)) return;
  WriteNotationLine(line, *name, notation, draw);
  SendRollLine(player, line.data(), Audience::Everyone);
}
