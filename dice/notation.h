// Dice notation ("2d20kh1+5"): reading the text a player typed, drawing its dice and writing
// the line. No host calls, and no heap of its own for anything the grammar accepts.
//
//   expression := term { ("+" | "-") term }
//   term       := dice | number
//   dice       := [count] "d" (sides | "%") [ ("kh" | "kl") [keep] ]
//
// Letters in any case; spaces and tabs at both ends and around the signs, nowhere else.
#pragma once

#include <fmt/format.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

#include "dice/engine.h"
#include "host/platform.h"

inline constexpr std::int32_t MaxNotationTerms = 20;
inline constexpr std::int32_t MaxNotationDice = 100;  // also the most any one term may ask for
inline constexpr std::int32_t MinNotationSides = 2;
inline constexpr std::int32_t MaxNotationSides = 1000;
inline constexpr std::int32_t MaxNotationNumber = 100000;

enum class KeepKind : std::uint8_t { None, High, Low };

struct NotationTerm {
  bool Negative = false;  // joined by "-"; never the first term
  bool Dice = false;      // dice, or else a plain number
  KeepKind Keep = KeepKind::None;
  std::int32_t Count = 0;      // dice: 1..MaxNotationDice
  std::int32_t Sides = 0;      // dice: MinNotationSides..MaxNotationSides
  std::int32_t KeepCount = 0;  // dice: how many count, 1..Count (Count without kh/kl)
  std::int32_t Value = 0;      // number: 0..MaxNotationNumber

  bool operator==(const NotationTerm&) const = default;
};

// One kind per reason an expression is refused; the order is not meaningful.
enum class NotationError : std::uint8_t {
  None,
  ExpectedTerm,         // at Position: no digit and no "d" where a term must start
  ExpectedSides,        // at Position: "d" followed by neither digits nor "%"
  ExpectedKeep,         // at Position: a "k" not followed by "h" or "l"
  SpaceInsideTerm,      // at Position: the first space or tab of a gap that splits a term
  UnexpectedCharacter,  // at Position: something after a whole term that is no sign
  CountRange,           // a count outside 1..MaxNotationDice
  SidesRange,           // sides outside MinNotationSides..MaxNotationSides
  KeepRange,            // keep outside 1..Limit (the term's count)
  NumberRange,          // a number above MaxNotationNumber
  TooManyTerms,         // more than MaxNotationTerms terms
  TooManyDice,          // more than Limit (the caller's maxDice) dice in all
};

struct Notation {
  NotationError Error = NotationError::None;
  // 1-based, in the text trimmed of spaces and tabs: where the refused part starts. One past
  // the end when the text stops where more was needed. Everything before it is ASCII, so
  // units and characters count alike.
  std::size_t Position = 0;
  std::int32_t Limit = 0;      // KeepRange: the count; TooManyDice: the dice allowed
  std::int32_t TermCount = 0;  // terms in use, 1..MaxNotationTerms when Error is None
  std::int32_t DiceCount = 0;  // dice of all terms together
  NotationTerm Terms[MaxNotationTerms];
};

// Reads what followed the command. Blank text (nothing, spaces, tabs) is 1d20. `maxDice` is
// the operator's limit on the dice of all terms together, taken as 1 below 1 and
// MaxNotationDice above it. Units above 127 never belong to the grammar. Parsing stops at the
// first problem from the left; the terms are meaningful only when Error is None.
Notation ParseNotation(WideStringView text, std::int32_t maxDice);

struct NotationDraw {
  std::int32_t Values[MaxNotationDice];  // in the order drawn: term by term, left to right
  bool Dropped[MaxNotationDice];         // left out of the total by kh or kl
  std::int32_t Count = 0;
  std::int64_t Total = 0;  // kept dice and numbers with their signs; may be negative
};

// Marks in `dropped` the dice of `values` (one term's, `count` of them) that kh or kl leaves out.
void MarkDropped(const NotationTerm& term, std::int32_t count, const std::int32_t* values,
                 bool* dropped);

// Draws every die of an expression ParseNotation accepted, from `feed` (dice/engine.h); a
// refused one draws nothing. kh keeps the greatest values, kl the least; among equal values
// the earlier drawn are kept first.
template <class Feed>
void DrawNotation(const Notation& notation, NotationDraw& draw, Feed& feed) {
  draw.Count = 0;
  draw.Total = 0;
  if (notation.Error != NotationError::None) return;
  const std::int32_t terms = std::clamp(notation.TermCount, 0, MaxNotationTerms);
  for (std::int32_t t = 0; t < terms; ++t) {
    const NotationTerm& term = notation.Terms[t];
    std::int64_t part = term.Value;
    if (term.Dice) {
      // Never past the room, whatever made the terms.
      const std::int32_t count = std::clamp(term.Count, 0, MaxNotationDice - draw.Count);
      std::int32_t* values = draw.Values + draw.Count;
      bool* dropped = draw.Dropped + draw.Count;
      for (std::int32_t i = 0; i < count; ++i) {
        values[i] = RollDieFrom(feed, static_cast<std::uint32_t>(term.Sides));
      }
      MarkDropped(term, count, values, dropped);
      part = 0;
      for (std::int32_t i = 0; i < count; ++i) part += dropped[i] ? 0 : values[i];
      draw.Count += count;
    }
    draw.Total += term.Negative ? -part : part;
  }
}

// The same, from the engine.
void DrawNotation(const Notation& notation, NotationDraw& draw);

// Room for the longest line: a 64-character name, the longest template and the longest
// expression and roll the grammar allows (see notation.cpp for the sum), plus a terminating
// zero. Longer names still fit, from the heap.
inline constexpr std::size_t NotationLineUnits = 1586;
using NotationLine = fmt::basic_memory_buffer<WideChar, NotationLineUnits>;

// The Notation template, "NAME rolled EXPR and got: PARTS (Total: T)" by default, EXPR in
// canonical form ("2d20kh1+5").
// The name is taken up to its first zero unit. The line replaces what `line` held; it is
// zero-terminated, and line.size() does not count the zero.
void WriteNotationLine(NotationLine& line, WideStringView name, const Notation& notation,
                       const NotationDraw& draw);

// The CannotRoll template, "Cannot roll "TEXT": REASON" by default, for a refused expression.
// `text` is the one given to ParseNotation; it is shown trimmed of spaces and tabs and cut to its
// first 40 characters and "..." when longer (a surrogate pair is one character). A zero unit in it
// is shown as U+FFFD, so it cannot end the line early. Terminated as WriteNotationLine's line.
void WriteNotationError(NotationLine& line, WideStringView text, const Notation& notation);
