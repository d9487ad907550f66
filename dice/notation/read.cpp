#include "dice/notation/read.h"

#include <algorithm>

namespace {

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
bool IsCompare(WideChar c) {
  return c == u'=' || c == u'<' || c == u'>';
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

// What would carry on a term had no space come between: a set of these character classes.
enum : unsigned {
  TakesDigit = 1u << 0,
  TakesD = 1u << 1,
  TakesBang = 1u << 2,
  TakesR = 1u << 3,
  TakesKOrD = 1u << 4,
  TakesCompare = 1u << 5,
  TakesF = 1u << 6,
  TakesHOrL = 1u << 7,
  TakesO = 1u << 8,
  TakesBangOrP = 1u << 9,
  TakesPercent = 1u << 10,
  TakesEqual = 1u << 11,
};

bool Takes(unsigned next, WideChar c) {
  const WideChar lower = Lower(c);
  const auto has = [next](unsigned bit) { return (next & bit) != 0; };
  return (has(TakesDigit) && IsDigit(c)) || (has(TakesD) && lower == u'd') ||
         (has(TakesBang) && c == u'!') || (has(TakesR) && lower == u'r') ||
         (has(TakesKOrD) && (lower == u'k' || lower == u'd')) ||
         (has(TakesCompare) && IsCompare(c)) || (has(TakesF) && lower == u'f') ||
         (has(TakesHOrL) && (lower == u'h' || lower == u'l')) || (has(TakesO) && lower == u'o') ||
         (has(TakesBangOrP) && (c == u'!' || lower == u'p')) || (has(TakesPercent) && c == u'%') ||
         (has(TakesEqual) && c == u'=');
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

// One term's reading: the text, where it is, and what could carry the term on.
struct Reader {
  Notation& Out;
  WideStringView Text;
  std::size_t At = 0;
  unsigned Last = 0;  // what could carry on the part read last

  WideChar Peek(std::size_t ahead = 0) const { return ::At(Text, At + ahead); }

  // Refused at the first unit that is not what `next` asks for: a space there splits the term.
  bool Missing(unsigned next, NotationError otherwise) {
    return Refuse(Out, GapSplitsTerm(Text, At, next) ? NotationError::SpaceInsideTerm : otherwise,
                  At);
  }

  // "=", "<", ">", "<=" or ">=" and its number.
  bool ReadCompare(NotationPoint& point) {
    const WideChar c = Peek();
    const bool orEqual = c != u'=' && Peek(1) == u'=';
    At += orEqual ? 2 : 1;
    point.Kind = c == u'='   ? CompareKind::Equal
                 : c == u'<' ? (orEqual ? CompareKind::LessEqual : CompareKind::Less)
                             : (orEqual ? CompareKind::GreaterEqual : CompareKind::Greater);
    if (!IsDigit(Peek())) {
      const bool single = point.Kind == CompareKind::Less || point.Kind == CompareKind::Greater;
      return Missing(TakesDigit | (single ? TakesEqual : 0u), NotationError::ExpectedNumber);
    }
    return ReadPointNumber(point);
  }

  bool ReadPointNumber(NotationPoint& point) {
    const std::size_t numberAt = At;
    point.Number = ReadDigits(Text, At);
    if (point.Number > MaxNotationCompare) {
      return Refuse(Out, NotationError::CompareRange, numberAt);
    }
    Last = TakesDigit;
    return true;
  }

  // A point after "!", "r" or "f": a compare, or a bare number meaning "=". Without one,
  // `point` is left as it was (the modifier's default) unless it is `required`.
  bool ReadPoint(NotationPoint& point, bool required) {
    if (IsCompare(Peek())) return ReadCompare(point);
    if (IsDigit(Peek())) {
      point.Kind = CompareKind::Equal;
      return ReadPointNumber(point);
    }
    if (required) return Missing(TakesDigit | TakesCompare, NotationError::ExpectedNumber);
    Last |= TakesDigit | TakesCompare;
    return true;
  }

  bool Repeated(ModifierName name, std::size_t at) {
    Out.Modifier = name;
    return Refuse(Out, NotationError::RepeatedModifier, at);
  }

  bool ReadModifier(NotationTerm& term, std::size_t& failureAt);
  bool ReadTerm(NotationTerm& term, std::int32_t maxDice);
};

bool MatchesEveryFace(const NotationPoint& point, const NotationTerm& term) {
  for (std::int32_t face = term.LowestFace(); face <= term.HighestFace(); ++face) {
    if (!point.Matches(face)) return false;
  }
  return true;
}

// One modifier at At, or false with nothing read when none starts there (or on a refusal,
// with Out.Error set).
bool Reader::ReadModifier(NotationTerm& term, std::size_t& failureAt) {
  const std::size_t at = At;
  const WideChar c = Lower(Peek());
  if (c == u'!') {
    ++At;
    ExplodeKind kind = ExplodeKind::Explode;
    if (Peek() == u'!') {
      kind = ExplodeKind::Compound;
    } else if (Lower(Peek()) == u'p') {
      kind = ExplodeKind::Penetrate;
    }
    At += kind == ExplodeKind::Explode ? 0 : 1;
    if (term.Explode != ExplodeKind::None) {
      return Repeated(kind == ExplodeKind::Explode    ? ModifierName::Explode
                      : kind == ExplodeKind::Compound ? ModifierName::Compound
                                                      : ModifierName::Penetrate,
                      at);
    }
    term.Explode = kind;
    term.ExplodeAt = {CompareKind::Equal, term.HighestFace()};
    Last = kind == ExplodeKind::Explode ? TakesBangOrP : 0u;
    if (!ReadPoint(term.ExplodeAt, false)) return false;
    if (MatchesEveryFace(term.ExplodeAt, term)) {
      return Refuse(Out, NotationError::ExplodesEveryFace, at);
    }
    return true;
  }
  if (c == u'r') {
    ++At;
    const bool once = Lower(Peek()) == u'o';
    At += once ? 1 : 0;
    if (term.Reroll != RerollKind::None) {
      return Repeated(once ? ModifierName::RerollOnce : ModifierName::Reroll, at);
    }
    term.Reroll = once ? RerollKind::Once : RerollKind::Reroll;
    // dF's lowest face, -1, has no bare-number form.
    term.RerollAt =
        term.Fudge ? NotationPoint{CompareKind::Less, 0} : NotationPoint{CompareKind::Equal, 1};
    Last = once ? 0u : TakesO;
    if (!ReadPoint(term.RerollAt, false)) return false;
    if (!once && MatchesEveryFace(term.RerollAt, term)) {
      return Refuse(Out, NotationError::RerollsEveryFace, at);
    }
    return true;
  }
  if (c == u'k' || c == u'd') {
    ++At;
    const WideChar which = Lower(Peek());
    const bool plain = which != u'h' && which != u'l';
    At += plain ? 0 : 1;
    const bool high = plain ? c == u'k' : which == u'h';
    const KeepKind kind = c == u'k' ? (high ? KeepKind::High : KeepKind::Low)
                                    : (high ? KeepKind::DropHigh : KeepKind::DropLow);
    if (term.Keep != KeepKind::None) {
      constexpr ModifierName names[] = {ModifierName::None, ModifierName::KeepHigh,
                                        ModifierName::KeepLow, ModifierName::DropHigh,
                                        ModifierName::DropLow};
      return Repeated(names[static_cast<std::size_t>(kind)], at);
    }
    term.Keep = kind;
    const std::size_t countAt = At;
    term.KeepCount = IsDigit(Peek()) ? ReadDigits(Text, At) : 1;
    if (term.KeepCount < 1 || term.KeepCount > term.Count) {
      const bool keep = c == u'k';
      return Refuse(Out, keep ? NotationError::KeepRange : NotationError::DropRange, countAt,
                    term.Count);
    }
    Last = TakesDigit | (plain && countAt == At ? TakesHOrL : 0u);
    return true;
  }
  if (IsCompare(c)) {
    if (term.Success.Kind != CompareKind::None) {
      const bool orEqual = c != u'=' && Peek(1) == u'=';
      return Repeated(c == u'='   ? ModifierName::Equal
                      : c == u'<' ? (orEqual ? ModifierName::LessEqual : ModifierName::Less)
                                  : (orEqual ? ModifierName::GreaterEqual : ModifierName::Greater),
                      at);
    }
    return ReadCompare(term.Success);
  }
  if (c == u'f') {
    ++At;
    if (term.Failure.Kind != CompareKind::None) return Repeated(ModifierName::Failure, at);
    failureAt = at;
    return ReadPoint(term.Failure, true);
  }
  return false;
}

// Reads the term starting at At into `term`; what could have carried it on is left in Last.
// On a problem, records it in Out and returns false.
bool Reader::ReadTerm(NotationTerm& term, std::int32_t maxDice) {
  const std::size_t start = At;
  std::int32_t count = 1;
  if (IsDigit(Peek())) {
    const std::int32_t value = ReadDigits(Text, At);
    if (Lower(Peek()) != u'd') {
      if (value > MaxNotationNumber) return Refuse(Out, NotationError::NumberRange, start);
      term.Value = value;
      Last = TakesDigit | TakesD;
      return true;
    }
    count = value;
  } else if (Lower(Peek()) != u'd') {
    return Refuse(Out, NotationError::ExpectedTerm, At);
  }
  if (count < 1 || count > MaxNotationDice) {
    return Refuse(Out, NotationError::CountRange, start);
  }
  if (Out.DiceCount + count > maxDice) {
    return Refuse(Out, NotationError::TooManyDice, start, maxDice);
  }
  Out.DiceCount += count;
  term.Dice = true;
  term.Count = count;
  term.KeepCount = count;
  ++At;  // the "d"

  Last = 0;
  if (IsDigit(Peek())) {
    const std::size_t sidesAt = At;
    term.Sides = ReadDigits(Text, At);
    if (term.Sides < MinNotationSides || term.Sides > MaxNotationSides) {
      return Refuse(Out, NotationError::SidesRange, sidesAt);
    }
    Last = TakesDigit;
  } else if (Peek() == u'%') {
    term.Sides = 100;
    ++At;
  } else if (Lower(Peek()) == u'f') {
    term.Fudge = true;
    term.Sides = 3;
    ++At;
  } else {
    return Missing(TakesDigit | TakesPercent | TakesF, NotationError::ExpectedSides);
  }

  std::size_t failureAt = 0;
  while (ReadModifier(term, failureAt)) {
  }
  if (Out.Error != NotationError::None) return false;
  if (term.Failure.Kind != CompareKind::None && term.Success.Kind == CompareKind::None) {
    return Refuse(Out, NotationError::FailureWithoutSuccess, failureAt);
  }
  // A modifier of a kind not yet used would carry the term on too.
  if (term.Explode == ExplodeKind::None) Last |= TakesBang;
  if (term.Reroll == RerollKind::None) Last |= TakesR;
  if (term.Keep == KeepKind::None) Last |= TakesKOrD;
  if (term.Success.Kind == CompareKind::None) Last |= TakesCompare;
  if (term.Failure.Kind == CompareKind::None) Last |= TakesF;
  return true;
}

bool IsControl(WideChar c) {
  return c < 0x20 || c == 0x7F || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// The label as shown, or LabelTooLong. Counted in characters: a surrogate pair is one.
void ReadLabel(Notation& notation, WideStringView label) {
  std::int32_t characters = 0;
  for (std::size_t at = 0; at < label.size(); ++at) {
    const bool pair = label[at] >= 0xD800 && label[at] <= 0xDBFF && at + 1 < label.size() &&
                      label[at + 1] >= 0xDC00 && label[at + 1] <= 0xDFFF;
    at += pair ? 1 : 0;
    if (++characters > MaxLabelCharacters) {
      Refuse(notation, NotationError::LabelTooLong, 0);
      notation.Position = 0;
      return;
    }
  }
  for (const WideChar c : label) {
    notation.Label[notation.LabelUnits++] = IsControl(c) ? static_cast<WideChar>(0xFFFD) : c;
  }
}

}  // namespace

Notation ParseNotation(WideStringView text, std::int32_t maxDice) {
  Notation notation;
  maxDice = std::clamp(maxDice, 1, MaxNotationDice);
  const WideStringView trimmed = TrimBlanks(text);
  const std::size_t hash = trimmed.find(u'#');
  // Positions count in the trimmed text, so the body starts where it does.
  const WideStringView body =
      hash == WideStringView::npos ? trimmed : TrimBlanks(trimmed.substr(0, hash));
  if (body.empty()) {
    NotationTerm& d20 = notation.Terms[0];
    d20 = {};
    d20.Dice = true;
    d20.Count = d20.KeepCount = 1;
    d20.Sides = 20;
    notation.TermCount = notation.DiceCount = 1;
  } else {
    Reader reader{notation, body};
    bool negative = false;
    for (;;) {
      if (notation.TermCount == MaxNotationTerms) {
        Refuse(notation, NotationError::TooManyTerms, reader.At);
        break;
      }
      NotationTerm& term = notation.Terms[notation.TermCount];
      term = {};
      term.Negative = negative;
      if (!reader.ReadTerm(term, maxDice)) break;
      ++notation.TermCount;

      const std::size_t end = reader.At;
      reader.At = SkipBlanks(body, reader.At);
      if (reader.At == body.size()) break;
      const WideChar c = body[reader.At];
      if (c == u'+' || c == u'-') {
        negative = c == u'-';
        reader.At = SkipBlanks(body, reader.At + 1);
        continue;
      }
      if (reader.At > end && Takes(reader.Last, c)) {
        Refuse(notation, NotationError::SpaceInsideTerm, end);
      } else {
        Refuse(notation, NotationError::UnexpectedCharacter, reader.At);
      }
      break;
    }
    // Where the expression stops short of a label, the label's "#" is what came instead.
    if (notation.Error != NotationError::None && hash != WideStringView::npos &&
        notation.Position > body.size()) {
      notation.Position = hash + 1;
    }
  }
  if (notation.Error == NotationError::None && hash != WideStringView::npos) {
    ReadLabel(notation, TrimBlanks(trimmed.substr(hash + 1)));
  }
  return notation;
}
