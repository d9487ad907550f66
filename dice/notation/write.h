// Writing a roll's line, or a refusal's, into room reserved up front. No heap for anything the
// grammar accepts, with a name of up to 64 characters and any templates the loader takes.
#pragma once

#include <fmt/format.h>

#include <cstddef>

#include "dice/notation/draw.h"
#include "dice/notation/terms.h"
#include "host/platform.h"

// Room for the longest line: a 64-character name, the longest template and the longest
// expression, roll and label the grammar allows (see write.cpp for the sum), plus a
// terminating zero. Longer names still fit, from the heap.
inline constexpr std::size_t NotationLineUnits = 4349;
using NotationLine = fmt::basic_memory_buffer<WideChar, NotationLineUnits>;

// The Notation template, "NAME rolled EXPR and got: PARTS (Total: T)" by default, or with a
// label NotationLabelled's, "NAME rolled EXPR for LABEL and got: ...". EXPR is canonical
// ("2d20kh1+5", "4d6!6"): each term's modifiers in the order they apply, each with its point.
// PARTS lists the dice in the order shown, each value followed by its markers ("!", "!!" or
// "!p"; "r" or "ro"; "*" or "_"), a dropped die in parentheses.
// The name is taken up to its first zero unit. The line replaces what `line` held; it is
// zero-terminated, and line.size() does not count the zero.
void WriteNotationLine(NotationLine& line, WideStringView name, const Notation& notation,
                       const NotationDraw& draw);

// The CannotRoll template, "Cannot roll "TEXT": REASON" by default, for a refused expression.
// `text` is the one given to ParseNotation; it is shown trimmed of spaces and tabs and cut to its
// first 40 characters and "..." when longer (a surrogate pair is one character). A zero unit in it
// is shown as U+FFFD, so it cannot end the line early. Terminated as WriteNotationLine's line.
void WriteNotationError(NotationLine& line, WideStringView text, const Notation& notation);
