// Reading what a player typed after "/roll" into a Notation. No host calls, no heap.
//
//   expression := term { ("+" | "-") term } [ "#" label ]
//   term       := dice | number
//   dice       := [count] "d" (sides | "%" | "F") { modifier }
//   modifier   := "!" ["!" | "p"] [point] | "r" ["o"] [point] | ("kh"|"kl"|"k"|"dh"|"dl"|"d") [n]
//               | compare | "f" point
//   point      := compare | number          compare := ("=" | "<" | ">" | "<=" | ">=") number
//
// Letters in any case; spaces and tabs at both ends and around the signs, nowhere else.
#pragma once

#include <cstdint>

#include "dice/notation/terms.h"
#include "host/platform.h"

// Blank text (nothing, spaces, tabs, or a label alone) is 1d20. `maxDice` is the operator's
// limit on the typed dice of all terms together, taken as 1 below 1 and MaxNotationDice above
// it. Units above 127 never belong to the grammar (the label aside). Reading stops at the
// first problem from the left; the terms are meaningful only when Error is None.
Notation ParseNotation(WideStringView text, std::int32_t maxDice);
