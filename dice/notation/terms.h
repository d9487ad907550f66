// What a dice expression reads as ("4d6!kh3+2 # Strength"): its terms, its label, or why it
// was refused. Plain data shared by reading, drawing and writing.
#pragma once

#include <cstddef>
#include <cstdint>

#include "host/platform.h"

inline constexpr std::int32_t MaxNotationTerms = 20;
inline constexpr std::int32_t MaxNotationDice = 100;  // typed; also the most one term may ask for
inline constexpr std::int32_t MinNotationSides = 2;
inline constexpr std::int32_t MaxNotationSides = 1000;
inline constexpr std::int32_t MaxNotationNumber = 100000;
inline constexpr std::int32_t MaxNotationCompare = 100000;
// Values one roll draws in all: the typed dice, then explosions and rerolls while room is left.
inline constexpr std::int32_t MaxNotationValues = 200;
inline constexpr std::int32_t MaxLabelCharacters = 40;
// A character above U+FFFF takes two units.
inline constexpr std::int32_t MaxLabelUnits = 2 * MaxLabelCharacters;

// kh/kl keep KeepCount dice; dh/dl drop KeepCount dice.
enum class KeepKind : std::uint8_t { None, High, Low, DropHigh, DropLow };
enum class ExplodeKind : std::uint8_t { None, Explode, Compound, Penetrate };
enum class RerollKind : std::uint8_t { None, Reroll, Once };
enum class CompareKind : std::uint8_t { None, Equal, Less, Greater, LessEqual, GreaterEqual };

// Terms and points have no default member initialisers, so that a Notation's unused terms
// cost nothing to make; a term is value-initialised (all zero: None, false, 0) when read.
struct NotationPoint {
  CompareKind Kind;
  std::int32_t Number;  // 0..MaxNotationCompare

  bool Matches(std::int32_t value) const {
    switch (Kind) {
      case CompareKind::Equal:
        return value == Number;
      case CompareKind::Less:
        return value < Number;
      case CompareKind::Greater:
        return value > Number;
      case CompareKind::LessEqual:
        return value <= Number;
      case CompareKind::GreaterEqual:
        return value >= Number;
      case CompareKind::None:
        break;
    }
    return false;
  }
  bool operator==(const NotationPoint&) const = default;
};

struct NotationTerm {
  bool Negative;  // joined by "-"; never the first term
  bool Dice;      // dice, or else a plain number
  bool Fudge;     // dF: drawn as a d3, shown as the draw minus 2
  KeepKind Keep;
  ExplodeKind Explode;
  RerollKind Reroll;
  std::int32_t Count;       // dice: 1..MaxNotationDice
  std::int32_t Sides;       // dice: the die drawn, MinNotationSides..MaxNotationSides (dF: 3)
  std::int32_t KeepCount;   // dice: kept or dropped, 1..Count (Count without keep or drop)
  std::int32_t Value;       // number: 0..MaxNotationNumber
  NotationPoint ExplodeAt;  // with Explode
  NotationPoint RerollAt;   // with Reroll
  NotationPoint Success;    // Kind None: the term is worth its kept dice
  NotationPoint Failure;    // only beside Success

  // The faces a die of the term shows before any modifier: 1..Sides, or -1..1 for dF.
  std::int32_t LowestFace() const { return Fudge ? -1 : 1; }
  std::int32_t HighestFace() const { return Fudge ? 1 : Sides; }
  std::int32_t FaceOffset() const { return Fudge ? -2 : 0; }

  bool operator==(const NotationTerm&) const = default;
};

// One kind per reason an expression is refused; the order is not meaningful.
enum class NotationError : std::uint8_t {
  None,
  ExpectedTerm,           // at Position: no digit and no "d" where a term must start
  ExpectedSides,          // at Position: "d" followed by neither digits, "%" nor "F"
  ExpectedKeep,           // no longer given: every "k" reads (as "kh")
  SpaceInsideTerm,        // at Position: the first space or tab of a gap that splits a term
  UnexpectedCharacter,    // at Position: something after a whole term that is no sign
  CountRange,             // a count outside 1..MaxNotationDice
  SidesRange,             // sides outside MinNotationSides..MaxNotationSides
  KeepRange,              // keep outside 1..Limit (the term's count)
  NumberRange,            // a number above MaxNotationNumber
  TooManyTerms,           // more than MaxNotationTerms terms
  TooManyDice,            // more than Limit (the caller's maxDice) dice in all
  ExpectedNumber,         // at Position: a compare or "f" with no number after it
  ExplodesEveryFace,      // at Position: an explosion that would never end
  RerollsEveryFace,       // at Position: an "r" that would never end
  FailureWithoutSuccess,  // at Position: "f" in a term without a success count
  RepeatedModifier,       // at Position: a second modifier of one kind (Modifier says which)
  DropRange,              // drop outside 1..Limit (the term's count)
  CompareRange,           // a compare or point number above MaxNotationCompare
  LabelTooLong,           // a label of more than MaxLabelCharacters characters
};

// The modifier a RepeatedModifier refusal names, in canonical text without its point.
enum class ModifierName : std::uint8_t {
  None,
  Explode,
  Compound,
  Penetrate,
  Reroll,
  RerollOnce,
  KeepHigh,
  KeepLow,
  DropHigh,
  DropLow,
  Failure,
  Equal,
  Less,
  Greater,
  LessEqual,
  GreaterEqual,
};

struct Notation {
  NotationError Error = NotationError::None;
  // 1-based, in the text trimmed of spaces and tabs: where the refused part starts. One past
  // the end when the text stops where more was needed. Everything before it is ASCII, so
  // units and characters count alike.
  std::size_t Position = 0;
  std::int32_t Limit = 0;  // KeepRange, DropRange: the count; TooManyDice: the dice allowed
  ModifierName Modifier = ModifierName::None;  // RepeatedModifier
  std::int32_t TermCount = 0;            // terms in use, 1..MaxNotationTerms when Error is None
  std::int32_t DiceCount = 0;            // typed dice of all terms together
  NotationTerm Terms[MaxNotationTerms];  // only the first TermCount are meaningful
  // The label as it is shown: trimmed, with control characters as U+FFFD. Empty: none.
  std::int32_t LabelUnits = 0;
  WideChar Label[MaxLabelUnits];
};
