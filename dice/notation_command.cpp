#include "dice/notation_command.h"

#include <algorithm>
#include <span>

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

// One group per dice term: every value it drew, in the order drawn, rerolled-away ones
// included, as the die drawn gives it (dF's as a d3).
std::span<const AuditGroup> DiceGroups(const Notation& notation, const NotationDraw& draw,
                                       AuditGroup (&groups)[MaxNotationTerms]) {
  std::size_t used = 0;
  std::int32_t drawn = 0;
  for (std::int32_t t = 0; t < notation.TermCount && t < MaxNotationTerms; ++t) {
    const NotationTerm& term = notation.Terms[t];
    if (!term.Dice) continue;
    const std::int32_t count = std::min(draw.TermDrawn[t], draw.DrawnCount - drawn);
    groups[used++] = {term.Sides, draw.Drawn + drawn, count};
    drawn += count;
  }
  return {groups, used};
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
  const bool named = GetCharacterName(player, name);
  AuditGroup groups[MaxNotationTerms];
  RecordRoll(named, name, DiceGroups(notation, draw, groups));
  if (!named) return;
  WriteNotationLine(line, *name, notation, draw);
  SendRollLine(player, line.data(), Audience::Everyone);
}
