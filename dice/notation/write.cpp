#include "dice/notation/write.h"

#include <algorithm>
#include <string_view>

#include "dice/messages.h"

namespace {

// The longest line for a 64-character name, unit by unit: the template's own text (at most
// MaxTemplateUnits, each placeholder at most once), the name, the label and the values.
// The total has at most 8 units ("-2100000": 200 values of at most 1000 against nineteen
// numbers). A dice term writes back at most "100d1000" and every modifier at its longest,
// "!p>=100000", "ro>=100000", "kh100", ">=100000", "f>=100000", joined by "-".
// A die shown takes at most 4 units for a value of one draw ("1000", "-2"), 4 for the markers
// "!p" and "ro", 2 for "*" (or "_") or for the parentheses of a dropped die (which never shows
// those), and ", "; a compounded die gains at most one digit per draw it adds, so those add at
// most MaxNotationValues units in all. Each term adds at most 6 ("[", "]", or a number) and
// each join " - ".
constexpr std::size_t LongestName = 64;
constexpr std::size_t LongestTotal = 8;
constexpr std::size_t LongestDiceText = 8 + 10 + 10 + 5 + 8 + 9;
constexpr std::size_t LongestExpression = MaxNotationTerms * LongestDiceText + MaxNotationTerms - 1;
constexpr std::size_t LongestShownDie = 4 + 4 + 2 + 2;
constexpr std::size_t LongestParts = MaxNotationValues * LongestShownDie + MaxNotationValues +
                                     MaxNotationTerms * 6 + (MaxNotationTerms - 1) * 3;
constexpr std::size_t LongestValues =
    LongestTotal + LongestExpression + LongestParts + MaxLabelUnits;
static_assert(NotationLineUnits == LongestName + MaxTemplateUnits + LongestValues + 1,
              "line room is the worst case");

// A refusal: CannotRoll's text, the shown text (40 characters, each up to two units, and
// "..."), a reason's text, AtCharacter's text, the numbers and the modifier in them.
constexpr int ShownCharacters = 40;
constexpr std::size_t LongestShown = 2 * ShownCharacters + 3;
constexpr std::size_t LongestNumber = 20;
constexpr std::size_t LongestModifier = 2;
static_assert(3 * MaxTemplateUnits + LongestShown + 2 * LongestNumber + LongestModifier + 1 <=
                  NotationLineUnits,
              "a refusal fits the room of a roll");

WideChar At(WideStringView text, std::size_t at) {
  return at < text.size() ? text[at] : 0;
}
bool IsBlank(WideChar c) {
  return c == u' ' || c == u'\t';
}
WideStringView TrimBlanks(WideStringView text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

void Append(NotationLine& line, std::string_view ascii) {
  for (char c : ascii) line.push_back(static_cast<WideChar>(c));
}

template <class Integer>
void AppendNumber(NotationLine& line, Integer value) {
  const fmt::format_int digits(value);
  Append(line, std::string_view(digits.data(), digits.size()));
}

// Leaves the zero just past the text, uncounted, for the host string made from it.
void Terminate(NotationLine& line) {
  line.push_back(0);
  line.resize(line.size() - 1);
}

void AppendMessage(NotationLine& line, MessageId id, const auto& value) {
  WalkMessage(
      id, [&](const WideChar* text, std::size_t length) { line.append(text, text + length); },
      value);
}

std::string_view CompareText(CompareKind kind) {
  switch (kind) {
    case CompareKind::Equal:
      return "=";
    case CompareKind::Less:
      return "<";
    case CompareKind::Greater:
      return ">";
    case CompareKind::LessEqual:
      return "<=";
    case CompareKind::GreaterEqual:
      return ">=";
    case CompareKind::None:
      break;
  }
  return "";
}

// A point of "=" is its bare number; a success count always shows its operator, as a bare
// number there would read as more sides or a keep count.
void AppendPoint(NotationLine& line, const NotationPoint& point, bool bareEqual) {
  if (!bareEqual || point.Kind != CompareKind::Equal) Append(line, CompareText(point.Kind));
  AppendNumber(line, point.Number);
}

std::string_view ExplodeText(ExplodeKind kind) {
  return kind == ExplodeKind::Compound ? "!!" : kind == ExplodeKind::Penetrate ? "!p" : "!";
}
std::string_view RerollText(RerollKind kind) {
  return kind == RerollKind::Once ? "ro" : "r";
}
std::string_view KeepText(KeepKind kind) {
  constexpr std::string_view texts[] = {"", "kh", "kl", "dh", "dl"};
  return texts[static_cast<std::size_t>(kind)];
}

void AppendTerm(NotationLine& line, const NotationTerm& term) {
  AppendNumber(line, term.Count);
  Append(line, "d");
  if (term.Fudge) {
    Append(line, "F");
  } else {
    AppendNumber(line, term.Sides);
  }
  if (term.Explode != ExplodeKind::None) {
    Append(line, ExplodeText(term.Explode));
    AppendPoint(line, term.ExplodeAt, true);
  }
  if (term.Reroll != RerollKind::None) {
    Append(line, RerollText(term.Reroll));
    AppendPoint(line, term.RerollAt, true);
  }
  if (term.Keep != KeepKind::None) {
    Append(line, KeepText(term.Keep));
    AppendNumber(line, term.KeepCount);
  }
  if (term.Success.Kind != CompareKind::None) AppendPoint(line, term.Success, false);
  if (term.Failure.Kind != CompareKind::None) {
    Append(line, "f");
    AppendPoint(line, term.Failure, true);
  }
}

void AppendExpression(NotationLine& line, const Notation& notation) {
  const std::int32_t terms = std::clamp(notation.TermCount, 0, MaxNotationTerms);
  for (std::int32_t t = 0; t < terms; ++t) {
    const NotationTerm& term = notation.Terms[t];
    if (t != 0) Append(line, term.Negative ? "-" : "+");
    if (term.Dice) {
      AppendTerm(line, term);
    } else {
      AppendNumber(line, term.Value);
    }
  }
}

void AppendMarks(NotationLine& line, const NotationTerm& term, std::uint8_t marks) {
  if ((marks & MarkExploded) != 0) Append(line, ExplodeText(term.Explode));
  if ((marks & MarkRerolled) != 0) Append(line, RerollText(term.Reroll));
  if ((marks & MarkSuccess) != 0) Append(line, "*");
  if ((marks & MarkFailure) != 0) Append(line, "_");
}

void AppendParts(NotationLine& line, const Notation& notation, const NotationDraw& draw) {
  const std::int32_t terms = std::clamp(notation.TermCount, 0, MaxNotationTerms);
  std::int32_t die = 0;
  for (std::int32_t t = 0; t < terms; ++t) {
    const NotationTerm& term = notation.Terms[t];
    if (t != 0) Append(line, term.Negative ? " - " : " + ");
    if (!term.Dice) {
      AppendNumber(line, term.Value);
      continue;
    }
    Append(line, "[");
    for (std::int32_t i = 0; i < draw.TermDice[t] && die < draw.Count; ++i, ++die) {
      if (i != 0) Append(line, ", ");
      if (draw.Dropped[die]) Append(line, "(");
      AppendNumber(line, draw.Values[die]);
      if (draw.Marks[die] != 0) AppendMarks(line, term, draw.Marks[die]);
      if (draw.Dropped[die]) Append(line, ")");
    }
    Append(line, "]");
  }
}

void AppendPlace(NotationLine& line, std::size_t position, std::size_t length) {
  if (position > length) {
    AppendMessage(line, MessageId::AtEnd, [](Placeholder) {});
    return;
  }
  AppendMessage(line, MessageId::AtCharacter, [&](Placeholder) { AppendNumber(line, position); });
}

// The reason's message, and the values its placeholders may show.
MessageId ReasonMessage(const Notation& notation) {
  switch (notation.Error) {
    case NotationError::ExpectedTerm:
      return MessageId::ExpectedTerm;
    case NotationError::ExpectedSides:
      return MessageId::ExpectedSides;
    case NotationError::ExpectedKeep:
      return MessageId::ExpectedKeep;
    case NotationError::SpaceInsideTerm:
      return MessageId::SpaceInTerm;
    case NotationError::UnexpectedCharacter:
      return MessageId::UnexpectedCharacter;
    case NotationError::CountRange:
      return MessageId::CountRange;
    case NotationError::SidesRange:
      return MessageId::SidesRange;
    case NotationError::KeepRange:
      return MessageId::KeepRange;
    case NotationError::NumberRange:
      return MessageId::NumberRange;
    case NotationError::TooManyTerms:
      return MessageId::TooManyTerms;
    case NotationError::ExpectedNumber:
      return MessageId::ExpectedNumber;
    case NotationError::ExplodesEveryFace:
      return MessageId::ExplodesEveryFace;
    case NotationError::RerollsEveryFace:
      return MessageId::RerollsEveryFace;
    case NotationError::FailureWithoutSuccess:
      return MessageId::FailureWithoutSuccess;
    case NotationError::RepeatedModifier:
      return MessageId::RepeatedModifier;
    case NotationError::DropRange:
      return MessageId::DropRange;
    case NotationError::CompareRange:
      return MessageId::CompareRange;
    case NotationError::LabelTooLong:
      return MessageId::LabelTooLong;
    case NotationError::None:
    case NotationError::TooManyDice:
      break;
  }
  return notation.Limit == 1 ? MessageId::OneDieOnly : MessageId::TooManyDice;
}

std::int32_t ReasonMaximum(const Notation& notation) {
  switch (notation.Error) {
    case NotationError::CountRange:
      return MaxNotationDice;
    case NotationError::SidesRange:
      return MaxNotationSides;
    case NotationError::NumberRange:
      return MaxNotationNumber;
    case NotationError::TooManyTerms:
      return MaxNotationTerms;
    case NotationError::CompareRange:
      return MaxNotationCompare;
    case NotationError::LabelTooLong:
      return MaxLabelCharacters;
    default:
      return notation.Limit;  // KeepRange, DropRange: the count; TooManyDice: the dice allowed
  }
}

std::string_view ModifierText(ModifierName name) {
  constexpr std::string_view texts[] = {"",   "!",  "!!", "!p", "r", "ro", "kh", "kl",
                                        "dh", "dl", "f",  "=",  "<", ">",  "<=", ">="};
  const auto index = static_cast<std::size_t>(name);
  return index < std::size(texts) ? texts[index] : "";
}

void AppendReason(NotationLine& line, const Notation& notation, std::size_t length) {
  if (notation.Error == NotationError::None) return;
  AppendMessage(line, ReasonMessage(notation), [&](Placeholder slot) {
    switch (slot) {
      case Placeholder::Where:
        AppendPlace(line, notation.Position, length);
        break;
      case Placeholder::Min:
        AppendNumber(line, MinNotationSides);
        break;
      case Placeholder::Max:
        AppendNumber(line, ReasonMaximum(notation));
        break;
      case Placeholder::Modifier:
        Append(line, ModifierText(notation.Modifier));
        break;
      default:
        break;
    }
  });
}

bool IsHighSurrogate(WideChar c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(WideChar c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

void WriteNotationLine(NotationLine& line, WideStringView name, const Notation& notation,
                       const NotationDraw& draw) {
  name = name.substr(0, name.find(WideChar{0}));
  line.clear();
  line.reserve(name.size() + MaxTemplateUnits + LongestValues + 1);
  const std::int32_t labelUnits = std::clamp(notation.LabelUnits, 0, MaxLabelUnits);
  const MessageId id = labelUnits > 0 ? MessageId::NotationLabelled : MessageId::Notation;
  AppendMessage(line, id, [&](Placeholder slot) {
    switch (slot) {
      case Placeholder::Name:
        line.append(name.data(), name.data() + name.size());
        break;
      case Placeholder::Expression:
        AppendExpression(line, notation);
        break;
      case Placeholder::Parts:
        AppendParts(line, notation, draw);
        break;
      case Placeholder::Total:
        AppendNumber(line, draw.Total);
        break;
      case Placeholder::Label:
        line.append(notation.Label, notation.Label + labelUnits);
        break;
      default:
        break;
    }
  });
  Terminate(line);
}

void WriteNotationError(NotationLine& line, WideStringView text, const Notation& notation) {
  const WideStringView shown = TrimBlanks(text);
  line.clear();
  AppendMessage(line, MessageId::CannotRoll, [&](Placeholder slot) {
    switch (slot) {
      case Placeholder::Text: {
        std::size_t at = 0;
        for (int character = 0; character < ShownCharacters && at < shown.size(); ++character) {
          const bool pair = IsHighSurrogate(shown[at]) && IsLowSurrogate(At(shown, at + 1));
          for (const std::size_t end = at + (pair ? 2 : 1); at < end; ++at) {
            line.push_back(shown[at] == 0 ? static_cast<WideChar>(0xFFFD) : shown[at]);
          }
        }
        if (at < shown.size()) Append(line, "...");
        break;
      }
      case Placeholder::Reason:
        AppendReason(line, notation, shown.size());
        break;
      default:
        break;
    }
  });
  Terminate(line);
}
