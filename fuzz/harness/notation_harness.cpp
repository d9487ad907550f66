#include "fuzz/harness/notation_harness.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "dice/notation.h"
#include "fuzz/harness/fuzz_support.h"
#include "fuzz/harness/notation_server.h"
#include "host/utf.h"

namespace fuzz {
namespace {

bool IsBlank(WideChar c) {
  return c == ' ' || c == '\t';
}

WideStringView Trim(WideStringView text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

WideString Widen(std::string_view ascii) {
  return WideString(ascii.begin(), ascii.end());
}

// The text as the error line must show it, counted with the host's own UTF-16 decoder.
WideString Shown(WideStringView trimmed) {
  std::size_t units = 0, characters = 0;
  utf::DecodeUtf16(trimmed, [&](char32_t cp) {
    if (characters++ < 40) units += cp >= 0x10000 ? 2 : 1;
  });
  WideString shown(trimmed.substr(0, units));
  std::replace(shown.begin(), shown.end(), WideChar{0}, static_cast<WideChar>(0xFFFD));
  if (units < trimmed.size()) shown += HOST_TEXT("...");
  return shown;
}

// The canonical form of an accepted text by plain rewriting, apart from the parser: lower
// case, no blanks, "%" as 100, no leading zeros, the count and the keep always written.
WideString ExpectedExpression(WideStringView text) {
  std::string squeezed;
  for (WideChar unit : text) {
    const char c = static_cast<char>(unit >= 'A' && unit <= 'Z' ? unit - 'A' + 'a' : unit);
    if (c == '%') {
      squeezed += "100";
    } else if (!IsBlank(unit)) {
      squeezed += c;
    }
  }
  if (squeezed.empty()) return HOST_TEXT("1d20");
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  std::string out;
  for (std::size_t i = 0; i < squeezed.size();) {
    char c = squeezed[i];
    if (digit(c)) {
      std::size_t end = i;
      while (end < squeezed.size() && digit(squeezed[end])) ++end;
      while (i + 1 < end && squeezed[i] == '0') ++i;
      out += squeezed.substr(i, end - i);
      i = end;
      continue;
    }
    if (c == 'd' && (out.empty() || !digit(out.back()))) out += '1';
    out += c;
    ++i;
    if (c == 'k' && (i == squeezed.size() || (squeezed[i] != 'h' && squeezed[i] != 'l'))) {
      out += 'h';
      c = 'h';
    }
    if ((c == 'h' || c == 'l') && (i == squeezed.size() || !digit(squeezed[i]))) out += '1';
  }
  return Widen(out);
}

// A cursor over a line; each read consumes what it expects or says no.
class Cursor {
 public:
  explicit Cursor(WideStringView text) : rest_(text) {}

  bool Literal(std::string_view ascii) {
    if (rest_.size() < ascii.size()) return false;
    for (std::size_t i = 0; i < ascii.size(); ++i) {
      if (rest_[i] != static_cast<WideChar>(ascii[i])) return false;
    }
    rest_.remove_prefix(ascii.size());
    return true;
  }

  // A decimal as the line writes it: optional "-", no leading zero, at most 10 digits.
  bool Number(std::int64_t& value) {
    const bool negative = !rest_.empty() && rest_[0] == '-';
    std::size_t digits = negative ? 1 : 0;
    const std::size_t first = digits;
    value = 0;
    while (digits < rest_.size() && rest_[digits] >= '0' && rest_[digits] <= '9') {
      if (digits - first == 10) return false;
      value = value * 10 + (rest_[digits] - '0');
      ++digits;
    }
    if (digits == first || (rest_[first] == '0' && digits - first > 1)) return false;
    if (negative) value = -value;
    rest_.remove_prefix(digits);
    return true;
  }

  WideStringView Rest() const { return rest_; }
  bool AtEnd() const { return rest_.empty(); }

 private:
  WideStringView rest_;
};

// The reason of an error line must be one of the known phrases, and where it names a place,
// the text there must be what the phrase says.
std::string CheckReason(WideStringView reason, WideStringView trimmed, std::int32_t maxDice) {
  const std::string dice = maxDice == 1
                               ? "at most 1 die in one roll"
                               : "at most " + std::to_string(maxDice) + " dice in one roll";
  for (const std::string& fixed :
       {std::string("count must be 1 to 100"), std::string("sides must be 2 to 1000"),
        std::string("number must be 0 to 100000"), std::string("at most 20 terms"), dice,
        std::string("explodes on every face"), std::string("rerolls on every face"),
        std::string("failures need a success count first"),
        std::string("compare number must be 0 to 100000"),
        std::string("label must be at most 40 characters")}) {
    if (reason == Widen(fixed)) return {};
  }
  for (const char* modifier :
       {"!", "!!", "!p", "r", "ro", "kh", "kl", "dh", "dl", "f", "=", "<", ">", "<=", ">="}) {
    if (reason == Widen(std::string("only one ") + modifier + " per term")) return {};
  }
  Cursor at(reason);
  std::int64_t n = 0;
  if (at.Literal("keep must be 1 to ") || at.Literal("drop must be 1 to ")) {
    if (!at.Number(n) || !at.AtEnd() || n < 1 || n > MaxNotationDice)
      return "keep or drop reason with a bad count";
    return {};
  }
  enum { Term, Sides, Keep, Space, Unexpected, Number } kind;
  if (at.Literal("expected a number or a die")) {
    kind = Term;
  } else if (at.Literal("expected the number of sides")) {
    kind = Sides;
  } else if (at.Literal("expected kh or kl")) {
    kind = Keep;
  } else if (at.Literal("no space allowed inside a term")) {
    kind = Space;
  } else if (at.Literal("unexpected character")) {
    kind = Unexpected;
  } else if (at.Literal("expected a number")) {
    kind = Number;
  } else {
    return "unknown reason";
  }
  const auto lower = [](WideChar c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : int{c}; };
  if (at.Literal(" at the end")) {
    if (!at.AtEnd()) return "more after \"at the end\"";
    const int last = trimmed.empty() ? 0 : lower(trimmed.back());
    if (kind == Term && (last == '+' || last == '-')) return {};
    if (kind == Sides && last == 'd') return {};
    if (kind == Number && (last == '=' || last == '<' || last == '>' || last == 'f')) return {};
    return "\"at the end\" where the text does not stop short";
  }
  if (!at.Literal(" at character ") || !at.Number(n) || !at.AtEnd()) return "malformed place";
  if (n < 1 || static_cast<std::uint64_t>(n) > trimmed.size()) return "place outside the text";
  const auto place = static_cast<std::size_t>(n - 1);
  for (std::size_t i = 0; i < place; ++i) {
    if (static_cast<std::uint16_t>(trimmed[i]) > 127) return "non-ASCII before the place";
  }
  const int c = lower(trimmed[place]);
  const int after = place + 1 < trimmed.size() ? lower(trimmed[place + 1]) : 0;
  const bool digit = c >= '0' && c <= '9';
  // Where an expression stops short of its label, the place is the label's "#".
  if (c == '#' && (kind == Term || kind == Sides || kind == Number)) return {};
  switch (kind) {
    case Term:
      if (digit || c == 'd') return "a term was there";
      break;
    case Sides:
      if (digit || c == '%' || c == 'f' || place == 0 || lower(trimmed[place - 1]) != 'd')
        return "sides were there";
      break;
    case Keep:
      if (c != 'k' || after == 'h' || after == 'l') return "kh or kl was there";
      break;
    case Space:
      if (!IsBlank(trimmed[place])) return "no space at the place";
      break;
    case Unexpected:
      if (IsBlank(trimmed[place]) || c == '+' || c == '-' || c == '#')
        return "an expected character";
      break;
    case Number:
      if (digit) return "a number was there";
      break;
  }
  return {};
}

std::string CheckErrorLine(WideStringView line, WideStringView text, std::int32_t maxDice) {
  const WideStringView trimmed = Trim(text);
  const WideString head = HOST_TEXT("Cannot roll \"") + Shown(trimmed) + HOST_TEXT("\": ");
  if (line.substr(0, head.size()) != head) return "error line does not show the text";
  return CheckReason(line.substr(head.size()), trimmed, maxDice);
}

// Does the term use anything beyond count, sides and kh/kl? Such a term's text is not
// checked by plain rewriting, only by reading its canonical form back.
bool PlainTerm(const NotationTerm& term) {
  return term.Explode == ExplodeKind::None && term.Reroll == RerollKind::None && !term.Fudge &&
         term.Keep != KeepKind::DropHigh && term.Keep != KeepKind::DropLow &&
         term.Success.Kind == CompareKind::None;
}

}  // namespace

std::string CheckRollLine(WideStringView line, WideStringView name, WideStringView text,
                          const Notation& notation, const NotationDraw* draw,
                          std::int32_t maxDice) {
  const WideString head = WideString(name) + HOST_TEXT(" rolled ");
  if (line.substr(0, head.size()) != head) return "line does not start with the name";
  const std::size_t exprEnd = line.find(u' ', head.size());
  if (exprEnd == WideStringView::npos) return "nothing after the expression";
  const WideStringView expression = line.substr(head.size(), exprEnd - head.size());
  for (WideChar c : expression) {
    if (Widen("0123456789dkhl+-!pro=<>fF").find(c) == WideString::npos)
      return "not a canonical expression";
  }
  const bool plain = std::all_of(notation.Terms, notation.Terms + notation.TermCount, PlainTerm);
  if (plain && expression != ExpectedExpression(text.substr(0, text.find(u'#'))))
    return "expression is not the text rewritten";

  // The canonical expression reads back to the very same terms.
  const Notation again = ParseNotation(expression, maxDice);
  if (again.Error != NotationError::None) return "canonical expression is refused";
  if (again.TermCount != notation.TermCount || again.DiceCount != notation.DiceCount ||
      !std::equal(notation.Terms, notation.Terms + notation.TermCount, again.Terms)) {
    return "canonical expression reads back to other terms";
  }

  Cursor at(line.substr(exprEnd));
  if (notation.LabelUnits > 0) {
    const WideString label =
        HOST_TEXT(" for ") + WideString(notation.Label, notation.Label + notation.LabelUnits);
    for (WideChar c : label) {
      if (c < 0x20 || c == 0x7F || c == 0x85 || c == 0x2028 || c == 0x2029)
        return "a control character in the label";
    }
    if (at.Rest().substr(0, label.size()) != label) return "label not shown as read";
    at = Cursor(at.Rest().substr(label.size()));
  }
  if (!at.Literal(" and got: ")) return "no \" and got: \"";

  // Each term's dice, within their faces and marked as the modifiers say, kept as keep or drop
  // says; the total recomputed from what is shown.
  std::vector<std::int64_t> shown;
  std::int64_t total = 0;
  for (std::int32_t t = 0; t < notation.TermCount; ++t) {
    const NotationTerm& term = notation.Terms[t];
    if (t != 0 && !at.Literal(term.Negative ? " - " : " + ")) return "wrong join";
    std::int64_t part = 0;
    if (!term.Dice) {
      if (!at.Number(part) || part != term.Value) return "number differs from the term";
      total += term.Negative ? -part : part;
      continue;
    }
    struct Die {
      std::int64_t Value;
      bool Dropped, Exploded, Rerolled, Success, Failure;
    };
    const std::string explode = term.Explode == ExplodeKind::Compound    ? "!!"
                                : term.Explode == ExplodeKind::Penetrate ? "!p"
                                                                         : "!";
    const std::string reroll = term.Reroll == RerollKind::Once ? "ro" : "r";
    std::vector<Die> dice;
    if (!at.Literal("[")) return "no \"[\"";
    do {
      Die die{};
      die.Dropped = at.Literal("(");
      if (!at.Number(die.Value)) return "malformed value";
      die.Exploded = term.Explode != ExplodeKind::None && at.Literal(explode);
      die.Rerolled = term.Reroll != RerollKind::None && at.Literal(reroll);
      die.Success = at.Literal("*");
      die.Failure = !die.Success && at.Literal("_");
      if (die.Dropped && !at.Literal(")")) return "malformed dropped value";
      const std::int64_t lowest = term.LowestFace(), highest = term.HighestFace();
      const bool extra = term.Explode == ExplodeKind::Penetrate && !dice.empty();
      if (term.Explode == ExplodeKind::Compound) {
        if (die.Value < std::min(lowest, lowest * MaxNotationValues) ||
            die.Value > highest * MaxNotationValues)
          return "compounded value outside what its draws can give";
      } else if (die.Value < lowest - (extra ? 1 : 0) || die.Value > highest) {
        return "value outside its faces";
      }
      if (term.Explode == ExplodeKind::None || term.Explode == ExplodeKind::Explode) {
        if (!die.Rerolled &&
            die.Exploded != term.ExplodeAt.Matches(static_cast<std::int32_t>(die.Value)))
          return "explode marker differs from the point";
      }
      if (term.Reroll == RerollKind::None && die.Rerolled) return "a reroll marker unasked";
      dice.push_back(die);
      shown.push_back(die.Value);
    } while (at.Literal(", "));
    if (!at.Literal("]")) return "no \"]\"";
    const auto count = static_cast<std::int32_t>(dice.size());
    if (term.Explode == ExplodeKind::None || term.Explode == ExplodeKind::Compound
            ? count != term.Count
            : count < term.Count)
      return "wrong number of dice shown";
    std::int32_t kept = 0;
    const bool drop = term.Keep == KeepKind::DropHigh || term.Keep == KeepKind::DropLow;
    const bool high = term.Keep == KeepKind::High || term.Keep == KeepKind::DropLow;
    for (std::size_t i = 0; i < dice.size(); ++i) {
      const Die& die = dice[i];
      if (die.Dropped) {
        if (die.Success || die.Failure) return "a dropped die counted";
        continue;
      }
      ++kept;
      if (term.Success.Kind == CompareKind::None) {
        if (die.Success || die.Failure) return "a success or failure without a count";
        part += die.Value;
      } else {
        if (die.Success != term.Success.Matches(static_cast<std::int32_t>(die.Value)))
          return "success marker is wrong";
        if (die.Failure !=
            (!die.Success && term.Failure.Matches(static_cast<std::int32_t>(die.Value))))
          return "failure marker is wrong";
        part += die.Success ? 1 : die.Failure ? -1 : 0;
      }
      // Nothing dropped may beat a kept die, nor tie with it on the side kept first.
      for (std::size_t j = 0; j < dice.size(); ++j) {
        if (!dice[j].Dropped) continue;
        const std::int64_t better = high ? dice[j].Value - die.Value : die.Value - dice[j].Value;
        if (better > 0 || (better == 0 && j < i)) return "kept the wrong dice";
      }
    }
    const std::int32_t wanted = term.Keep == KeepKind::None ? count
                                : drop                      ? std::max(0, count - term.KeepCount)
                                                            : std::min(count, term.KeepCount);
    if (kept != wanted) return "wrong number of dice kept";
    total += term.Negative ? -part : part;
  }
  std::int64_t shownTotal = 0;
  if (!at.Literal(" (Total: ") || !at.Number(shownTotal) || !at.Literal(")") || !at.AtEnd()) {
    return "malformed total";
  }
  if (shownTotal != total) return "total is not recomputed from the shown dice";
  if (shown.size() > static_cast<std::size_t>(MaxNotationValues)) return "more than 200 dice";
  if (draw == nullptr) return {};
  if (draw->Total != total) return "total differs from the draw";
  if (draw->DrawnCount > MaxNotationValues) return "more than 200 values drawn";
  if (static_cast<std::int32_t>(shown.size()) != draw->Count) return "dice != drawn";
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (draw->Values[i] != shown[i]) return "line differs from the draw";
  }
  return {};
}

namespace {

// The module alone: reading, drawing and writing, each line judged by the rules above.
std::string CheckModule(WideStringView text, const WideString& fullName, std::int32_t maxDice,
                        const EngineState& before) {
  const WideStringView name = WideStringView(fullName).substr(0, fullName.find(WideChar{0}));
  DiceEngine = before;
  const Notation notation = ParseNotation(text, maxDice);
  if (!SameEngine(DiceEngine, before)) return "reading the expression drew dice";

  NotationLine line;
  std::string broken;
  if (notation.Error != NotationError::None) {
    WriteNotationError(line, text, notation);
    broken = CheckErrorLine({line.data(), line.size()}, text, maxDice);
  } else {
    if (notation.TermCount < 1 || notation.TermCount > MaxNotationTerms) return "term count";
    if (notation.DiceCount > maxDice) return "more dice than the limit";
    // The label aside: it is shown as typed.
    for (WideChar c : text.substr(0, text.find(u'#'))) {
      if (static_cast<std::uint16_t>(c) > 127) return "accepted a unit above 127";
    }
    NotationDraw draw;
    DrawNotation(notation, draw);
    const EngineState after = DiceEngine;
    WriteNotationLine(line, fullName, notation, draw);
    broken = CheckRollLine({line.data(), line.size()}, name, text, notation, &draw, maxDice);
    if (broken.empty()) {
      // Every value drawn is the engine's, term by term, left to right, and nothing more drawn;
      // every typed die among them.
      DiceEngine = before;
      std::int32_t drawn = 0;
      for (std::int32_t t = 0; t < notation.TermCount; ++t) {
        const NotationTerm& term = notation.Terms[t];
        if (draw.TermDrawn[t] < (term.Dice ? term.Count : 0)) return "a typed die not drawn";
        for (std::int32_t i = 0; term.Dice && i < draw.TermDrawn[t]; ++i, ++drawn) {
          if (RollDie(static_cast<std::uint32_t>(term.Sides)) != draw.Drawn[drawn])
            return "dice differ from the engine's";
        }
      }
      if (drawn != draw.DrawnCount) return "values drawn outside the terms";
      if (!SameEngine(DiceEngine, after)) return "the engine moved by other than the dice";
    }
  }
  if (!broken.empty()) return broken;
  if (line.data()[line.size()] != 0) return "line not terminated";
  if (std::find(line.begin(), line.end(), WideChar{0}) != line.end()) return "zero inside the line";
  if (name.size() <= 64 && line.capacity() != NotationLineUnits) return "line left the inline room";
  return {};
}

}  // namespace

std::string CheckNotation(const std::uint8_t* data, std::size_t size) {
  const std::uint8_t limitByte = size > 0 ? data[0] : 0;
  const std::uint8_t flags = size > 1 ? data[1] : 0;
  ServerRoll roll;
  roll.MaxDice = 100 - (limitByte & 0x7Fu) % 100;
  roll.AuditRolls = (limitByte & 0x80u) != 0;
  roll.Roller = (flags & 7u) % RollerNames().size();
  roll.Tab = (flags & 8u) != 0;
  roll.LogRolls = (flags & 16u) != 0;
  roll.Cooldown = (flags & 32u) != 0;
  roll.SecureRolls = (flags & 64u) != 0;
  WideString text;
  if (size > 2 && (flags & 0x80u) != 0) {
    text = utf::Utf8ToWide({reinterpret_cast<const char*>(data + 2), size - 2});
  } else {
    for (std::size_t at = 2; at + 1 < size; at += 2) {
      text.push_back(static_cast<WideChar>(data[at] | (data[at + 1] << 8)));
    }
  }
  roll.Text = text;

  const EngineState before = SeededEngine(Fnv1a(data, size));
  roll.Engine = &before;
  const std::string broken = CheckModule(text, RollerNames()[roll.Roller], roll.MaxDice, before);
  if (!broken.empty()) return broken;
  return CheckRollOnServer(roll);
}

}  // namespace fuzz
