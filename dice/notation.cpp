#include "dice/notation.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include "dice/engine.h"
#include "dice/messages.h"

namespace {

// The longest line for a 64-character name, unit by unit: the Notation template's own text
// (at most MaxTemplateUnits, each placeholder at most once), the name and the values. The
// total has at most 8 units ("-1899000": the first term takes no sign, so at most nineteen
// are against it). Of the terms, a number gives at most 12 (6 in EXPR, 6 in PARTS) and each
// of the 19 joins 4 ("-" and " - "). A term of c dice gives at most digits(c) + 8 in EXPR
// ("d1000kh1") and 8c - 2 in PARTS ("[", "]", c values of 4 units, c - 1 separators ", ",
// c - 1 dropped values in parentheses), so the 100 dice are worth most in one term beside
// nineteen numbers: a second dice term adds at most 6 + 3 where the number it replaces gave 12.
constexpr std::size_t LongestName = 64;
constexpr std::size_t LongestTotal = 8;
constexpr std::size_t LongestDiceTerm = 11 + (8 * MaxNotationDice - 2);  // "100d1000kh1", parts
constexpr std::size_t LongestNumberTerm = 6 + 6;
constexpr std::size_t Join = 1 + 3;
constexpr std::size_t LongestValues =
    LongestTotal + LongestDiceTerm + (MaxNotationTerms - 1) * (LongestNumberTerm + Join);
static_assert(NotationLineUnits == LongestName + MaxTemplateUnits + LongestValues + 1,
              "line room is the worst case");

// A refusal: CannotRoll's text, the shown text (40 characters, each up to two units, and
// "..."), a reason's text, AtCharacter's text and the numbers in them.
constexpr int ShownCharacters = 40;
constexpr std::size_t LongestShown = 2 * ShownCharacters + 3;
constexpr std::size_t LongestNumber = 20;
static_assert(3 * MaxTemplateUnits + LongestShown + 2 * LongestNumber + 1 <= NotationLineUnits,
              "a refusal fits the room of a roll");

// A digit run is read up to this and no further, so any number of digits is safe; every
// limit lies below it, so a longer run is refused all the same.
constexpr std::int32_t DigitCeiling = 1'000'000;

bool IsBlank(WideChar c) {
  return c == u' ' || c == u'\t';
}
bool IsDigit(WideChar c) {
  return c >= u'0' && c <= u'9';
}
// ASCII only: nothing above 127 may turn into a letter of the grammar.
WideChar Lower(WideChar c) {
  return c >= u'A' && c <= u'Z' ? static_cast<WideChar>(c - u'A' + u'a') : c;
}
WideChar At(WideStringView text, std::size_t at) {
  return at < text.size() ? text[at] : 0;
}

WideStringView TrimBlanks(WideStringView text) {
  std::size_t begin = 0, end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

std::size_t SkipBlanks(WideStringView text, std::size_t at) {
  while (at < text.size() && IsBlank(text[at])) ++at;
  return at;
}

std::int32_t ReadDigits(WideStringView text, std::size_t& at) {
  std::int32_t value = 0;
  for (; at < text.size() && IsDigit(text[at]); ++at) {
    value = std::min(value * 10 + (text[at] - u'0'), DigitCeiling);
  }
  return value;
}

// What would carry on a term had no space come between: a set of these bits.
constexpr unsigned TakesDigit = 1, TakesD = 2, TakesK = 4, TakesHOrL = 8, TakesPercent = 16;

bool Takes(unsigned next, WideChar c) {
  const WideChar lower = Lower(c);
  return ((next & TakesDigit) != 0 && IsDigit(c)) || ((next & TakesD) != 0 && lower == u'd') ||
         ((next & TakesK) != 0 && lower == u'k') ||
         ((next & TakesHOrL) != 0 && (lower == u'h' || lower == u'l')) ||
         ((next & TakesPercent) != 0 && c == u'%');
}

// At a space or tab where a term needs more: is the gap all that keeps the term apart?
bool GapSplitsTerm(WideStringView text, std::size_t at, unsigned next) {
  return IsBlank(At(text, at)) && Takes(next, At(text, SkipBlanks(text, at)));
}

bool Refuse(Notation& notation, NotationError error, std::size_t at, std::int32_t limit = 0) {
  notation.Error = error;
  notation.Position = at + 1;
  notation.Limit = limit;
  return false;
}

// Reads the term starting at `at` into `term`, and what could have carried it on into
// `next`. On a problem, records it in `notation` and returns false.
bool ReadTerm(Notation& notation, WideStringView text, std::size_t& at, std::int32_t maxDice,
              NotationTerm& term, unsigned& next) {
  const std::size_t start = at;
  std::int32_t count = 1;
  if (IsDigit(At(text, at))) {
    const std::int32_t value = ReadDigits(text, at);
    if (Lower(At(text, at)) != u'd') {
      if (value > MaxNotationNumber) return Refuse(notation, NotationError::NumberRange, start);
      term.Value = value;
      next = TakesDigit | TakesD;
      return true;
    }
    count = value;
  } else if (Lower(At(text, at)) != u'd') {
    return Refuse(notation, NotationError::ExpectedTerm, at);
  }
  if (count < 1 || count > MaxNotationDice) {
    return Refuse(notation, NotationError::CountRange, start);
  }
  if (notation.DiceCount + count > maxDice) {
    return Refuse(notation, NotationError::TooManyDice, start, maxDice);
  }
  notation.DiceCount += count;
  term.Dice = true;
  term.Count = count;
  term.KeepCount = count;
  ++at;  // the "d"

  next = TakesK;
  if (IsDigit(At(text, at))) {
    const std::size_t sidesAt = at;
    term.Sides = ReadDigits(text, at);
    if (term.Sides < MinNotationSides || term.Sides > MaxNotationSides) {
      return Refuse(notation, NotationError::SidesRange, sidesAt);
    }
    next |= TakesDigit;
  } else if (At(text, at) == u'%') {
    term.Sides = 100;
    ++at;
  } else {
    const bool split = GapSplitsTerm(text, at, TakesDigit | TakesPercent);
    return Refuse(notation, split ? NotationError::SpaceInsideTerm : NotationError::ExpectedSides,
                  at);
  }

  if (Lower(At(text, at)) != u'k') return true;
  const std::size_t keepAt = at++;
  const WideChar kind = Lower(At(text, at));
  if (kind != u'h' && kind != u'l') {
    if (GapSplitsTerm(text, at, TakesHOrL)) {
      return Refuse(notation, NotationError::SpaceInsideTerm, at);
    }
    return Refuse(notation, NotationError::ExpectedKeep, keepAt);
  }
  term.Keep = kind == u'h' ? KeepKind::High : KeepKind::Low;
  ++at;
  const std::size_t keepCountAt = at;
  term.KeepCount = IsDigit(At(text, at)) ? ReadDigits(text, at) : 1;
  if (term.KeepCount < 1 || term.KeepCount > count) {
    return Refuse(notation, NotationError::KeepRange, keepCountAt, count);
  }
  next = TakesDigit;
  return true;
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
    default:
      return notation.Limit;  // KeepRange: the count; TooManyDice: the dice allowed
  }
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

// Marks the dice kh or kl leaves out. Ranks by a key where greater is better (the value for
// kh, its negation for kl): the keys above the worst one kept all stay, and of those equal to
// it as many as are still wanted, earliest first.
void MarkDropped(const NotationTerm& term, std::int32_t count, const std::int32_t* values,
                 bool* dropped) {
  std::fill_n(dropped, count, false);
  const std::int32_t keep = term.KeepCount;
  if (term.Keep == KeepKind::None || keep < 1 || keep >= count) return;
  const std::int32_t sign = term.Keep == KeepKind::High ? 1 : -1;
  std::int32_t keys[MaxNotationDice];
  for (std::int32_t i = 0; i < count; ++i) keys[i] = sign * values[i];
  std::nth_element(keys, keys + (keep - 1), keys + count, std::greater<>());
  const std::int32_t worstKept = keys[keep - 1];
  std::int32_t tiesKept = keep;
  for (std::int32_t i = 0; i < count; ++i) tiesKept -= sign * values[i] > worstKept ? 1 : 0;
  for (std::int32_t i = 0; i < count; ++i) {
    const std::int32_t key = sign * values[i];
    if (key > worstKept) continue;
    if (key == worstKept && tiesKept > 0) {
      --tiesKept;
      continue;
    }
    dropped[i] = true;
  }
}

Notation ParseNotation(WideStringView text, std::int32_t maxDice) {
  Notation notation;
  maxDice = std::clamp(maxDice, 1, MaxNotationDice);
  const WideStringView body = TrimBlanks(text);
  if (body.empty()) {
    NotationTerm& d20 = notation.Terms[0];
    d20.Dice = true;
    d20.Count = d20.KeepCount = 1;
    d20.Sides = 20;
    notation.TermCount = notation.DiceCount = 1;
    return notation;
  }
  std::size_t at = 0;
  bool negative = false;
  for (;;) {
    if (notation.TermCount == MaxNotationTerms) {
      Refuse(notation, NotationError::TooManyTerms, at);
      return notation;
    }
    NotationTerm& term = notation.Terms[notation.TermCount];
    term.Negative = negative;
    unsigned next = 0;
    if (!ReadTerm(notation, body, at, maxDice, term, next)) return notation;
    ++notation.TermCount;

    const std::size_t end = at;
    at = SkipBlanks(body, at);
    if (at == body.size()) return notation;
    if (body[at] == u'+' || body[at] == u'-') {
      negative = body[at] == u'-';
      at = SkipBlanks(body, at + 1);
      continue;
    }
    if (at > end && Takes(next, body[at])) {
      Refuse(notation, NotationError::SpaceInsideTerm, end);
    } else {
      Refuse(notation, NotationError::UnexpectedCharacter, at);
    }
    return notation;
  }
}

void DrawNotation(const Notation& notation, NotationDraw& draw) {
  EngineFeed engine;
  DrawNotation(notation, draw, engine);
}

namespace {

void AppendExpression(NotationLine& line, const Notation& notation) {
  const std::int32_t terms = std::clamp(notation.TermCount, 0, MaxNotationTerms);
  for (std::int32_t t = 0; t < terms; ++t) {
    const NotationTerm& term = notation.Terms[t];
    if (t != 0) Append(line, term.Negative ? "-" : "+");
    if (!term.Dice) {
      AppendNumber(line, term.Value);
      continue;
    }
    AppendNumber(line, term.Count);
    Append(line, "d");
    AppendNumber(line, term.Sides);
    if (term.Keep != KeepKind::None) {
      Append(line, term.Keep == KeepKind::High ? "kh" : "kl");
      AppendNumber(line, term.KeepCount);
    }
  }
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
    for (std::int32_t i = 0; i < term.Count && die < draw.Count; ++i, ++die) {
      if (i != 0) Append(line, ", ");
      if (draw.Dropped[die]) Append(line, "(");
      AppendNumber(line, draw.Values[die]);
      if (draw.Dropped[die]) Append(line, ")");
    }
    Append(line, "]");
  }
}

}  // namespace

void WriteNotationLine(NotationLine& line, WideStringView name, const Notation& notation,
                       const NotationDraw& draw) {
  name = name.substr(0, name.find(WideChar{0}));
  line.clear();
  line.reserve(name.size() + MaxTemplateUnits + LongestValues + 1);
  AppendMessage(line, MessageId::Notation, [&](Placeholder slot) {
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
