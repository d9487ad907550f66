// Drawing the dice of a read expression and applying its modifiers, in this order: explode,
// reroll, keep or drop, success and failure. Every die comes through the one draw in
// dice/engine.h, from whatever feed the caller gives. No heap.
#pragma once

#include <algorithm>
#include <cstdint>

#include "dice/engine.h"
#include "dice/notation/terms.h"

// What the line shows of a die, beside its value.
enum DieMark : std::uint8_t {
  MarkExploded = 1,  // met its explode point (and drew another, while room was left)
  MarkRerolled = 2,  // met its reroll point
  MarkSuccess = 4,
  MarkFailure = 8,
};

struct NotationDraw {
  // The dice shown, term by term, left to right: a typed die, then the dice its explosions
  // added (a compounded die is one value).
  std::int32_t Values[MaxNotationValues];
  bool Dropped[MaxNotationValues];  // left out by keep or drop
  std::uint8_t Marks[MaxNotationValues];
  std::int32_t Count = 0;
  std::int32_t TermDice[MaxNotationTerms];  // of Values, per term (0 for a number)
  // Every value drawn, in the order drawn, rerolled-away ones included, as the die drawn
  // gives it (1..Sides, so dF's are 1..3): what the roll audit records.
  std::int32_t Drawn[MaxNotationValues];
  std::int32_t DrawnCount = 0;
  std::int32_t TermDrawn[MaxNotationTerms];  // of Drawn, per term
  std::int64_t Total = 0;                    // the terms' worths and numbers with their signs
};

// Marks in `dropped` the `count` dice of `values` that the term's keep or drop leaves out:
// kh n keeps the n greatest, kl n the n least, the earlier drawn first among equal values;
// dl n drops the n least and dh n the n greatest, the later drawn first among equal values.
void MarkDropped(const NotationTerm& term, std::int32_t count, const std::int32_t* values,
                 bool* dropped);

namespace notation_detail {

// One term's dice, appended to the draw; `room` is what explosions and rerolls may still
// draw in the whole roll, spent in drawing order.
template <class Feed>
void DrawTerm(const NotationTerm& term, NotationDraw& draw, Feed& feed, std::int32_t& room,
              std::int32_t count) {
  const auto sides = static_cast<std::uint32_t>(term.Sides);
  const std::int32_t offset = term.FaceOffset();
  const std::int32_t firstShown = draw.Count;
  // Each draw is recorded for the audit; the face is what points compare.
  const auto face = [&] {
    const std::int32_t value = RollDieFrom(feed, sides);
    draw.Drawn[draw.DrawnCount++] = value;
    return value + offset;
  };
  const auto show = [&](std::int32_t value) {
    draw.Values[draw.Count] = value;
    draw.Dropped[draw.Count] = false;
    draw.Marks[draw.Count] = 0;
    return draw.Count++;
  };
  if (term.Explode == ExplodeKind::None && term.Reroll == RerollKind::None) {
    for (std::int32_t i = 0; i < count; ++i) show(face());
  } else {
    const bool penetrate = term.Explode == ExplodeKind::Penetrate;
    for (std::int32_t i = 0; i < count; ++i) {
      // The chain of one typed die: the die, then each die its explosions added. `last` is
      // the face the chain's value came from last (for a compounded die, its last draw).
      std::int32_t rolled = face();
      const std::int32_t chain = show(rolled);
      std::int32_t last = rolled;
      if (term.Explode != ExplodeKind::None) {
        std::int32_t die = chain;
        while (term.ExplodeAt.Matches(rolled)) {
          draw.Marks[die] |= MarkExploded;
          if (room == 0) break;
          --room;
          rolled = face();
          if (term.Explode == ExplodeKind::Compound) {
            draw.Values[chain] += rolled;
            last = rolled;
          } else {
            die = show(penetrate ? rolled - 1 : rolled);
          }
        }
      }
      if (term.Reroll == RerollKind::None) continue;
      for (std::int32_t die = chain; die < draw.Count; ++die) {
        // A penetrating extra die shows one less than it rolled.
        const std::int32_t reduced = penetrate && die != chain ? 1 : 0;
        const std::int32_t before =
            term.Explode == ExplodeKind::Compound ? last : draw.Values[die] + reduced;
        std::int32_t now = before;
        if (!term.RerollAt.Matches(now)) continue;
        draw.Marks[die] |= MarkRerolled;
        do {
          if (room == 0) break;
          --room;
          now = face();
        } while (term.Reroll == RerollKind::Reroll && term.RerollAt.Matches(now));
        draw.Values[die] += now - before;
      }
    }
  }
  const std::int32_t shown = draw.Count - firstShown;
  MarkDropped(term, shown, draw.Values + firstShown, draw.Dropped + firstShown);
  if (term.Success.Kind == CompareKind::None) return;
  for (std::int32_t die = firstShown; die < draw.Count; ++die) {
    if (draw.Dropped[die]) continue;
    if (term.Success.Matches(draw.Values[die])) {
      draw.Marks[die] |= MarkSuccess;
    } else if (term.Failure.Matches(draw.Values[die])) {
      draw.Marks[die] |= MarkFailure;
    }
  }
}

}  // namespace notation_detail

// Draws every die of an expression ParseNotation accepted, from `feed` (dice/engine.h); a
// refused one draws nothing. Terms are drawn left to right; within a term, each typed die,
// then its explosions, then its rerolls. Explosions and rerolls together draw at most
// MaxNotationValues less the typed dice of the whole roll; past that a die keeps its value.
template <class Feed>
void DrawNotation(const Notation& notation, NotationDraw& draw, Feed& feed) {
  draw.Count = 0;
  draw.DrawnCount = 0;
  draw.Total = 0;
  if (notation.Error != NotationError::None) return;
  const std::int32_t terms = std::clamp(notation.TermCount, 0, MaxNotationTerms);
  // Never past the room, whatever made the terms: the typed dice first, then the rest.
  std::int32_t counts[MaxNotationTerms];
  std::int32_t typed = 0;
  for (std::int32_t t = 0; t < terms; ++t) {
    const NotationTerm& term = notation.Terms[t];
    counts[t] = term.Dice ? std::clamp(term.Count, 0, MaxNotationDice - typed) : 0;
    typed += counts[t];
  }
  std::int32_t room = MaxNotationValues - typed;
  for (std::int32_t t = 0; t < terms; ++t) {
    const NotationTerm& term = notation.Terms[t];
    const std::int32_t firstShown = draw.Count, firstDrawn = draw.DrawnCount;
    std::int64_t worth = term.Value;
    if (term.Dice) {
      notation_detail::DrawTerm(term, draw, feed, room, counts[t]);
      worth = 0;
      if (term.Success.Kind == CompareKind::None) {
        for (std::int32_t die = firstShown; die < draw.Count; ++die) {
          worth += draw.Dropped[die] ? 0 : draw.Values[die];
        }
      } else {
        for (std::int32_t die = firstShown; die < draw.Count; ++die) {
          worth += (draw.Marks[die] & MarkSuccess) != 0 ? 1 : 0;
          worth -= (draw.Marks[die] & MarkFailure) != 0 ? 1 : 0;
        }
      }
    }
    draw.TermDice[t] = draw.Count - firstShown;
    draw.TermDrawn[t] = draw.DrawnCount - firstDrawn;
    draw.Total += term.Negative ? -worth : worth;
  }
}

// The same, from the engine.
void DrawNotation(const Notation& notation, NotationDraw& draw);
