// Arbitrary bytes as a dice expression, read, drawn and written as the roll command will,
// with every promise checked after: either an error line that shows the text and a reason,
// or a roll line whose dice are the engine's, in range, kept as kh/kl say, summed right, and
// whose expression reads back to the same terms. Then the same text is typed as "/roll" on a
// simulated server (see notation_server.h) and must come out as the module said. Shared by
// the fuzz target and the corpus replay test.
//
// Input layout (missing bytes read as zero):
//   byte 0  bits 0-6: the dice limit, 100 - bits % 100 (zero: the default 100)
//           bit 7: AuditRolls on
//   byte 1  bits 0-2: the roller, an index into RollerNames() (7 wraps to 0)
//           bit 3: a tab after "/roll" instead of a space
//           bit 4: the roll log on
//           bit 5: a cooldown on
//           bit 6: SecureRolls on
//           bit 7: the rest is UTF-8 instead of raw UTF-16LE code units
//   rest    the text after the command
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "dice/notation.h"

namespace fuzz {

// A roll line judged on its own: the name, the expression written back so that it reads as
// `notation`, the label, every die within its faces and marked as its term says, kept as keep
// or drop says, the total recomputed from what is shown, at most 200 dice. With `draw`, also
// that the line shows exactly it. Empty when all holds.
std::string CheckRollLine(WideStringView line, WideStringView name, WideStringView text,
                          const Notation& notation, const NotationDraw* draw, std::int32_t maxDice);

// Empty when every check held; otherwise a description of the first broken promise.
std::string CheckNotation(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
