#include "dice/messages.h"

#include <algorithm>
#include <bit>

namespace {

struct MessageRow {
  std::string_view Name;
  std::u32string_view Default;
  std::uint32_t Allowed;  // a bit per Placeholder
};

constexpr std::uint32_t Bit(Placeholder slot) {
  return std::uint32_t{1} << static_cast<unsigned>(slot);
}
constexpr std::uint32_t RollSlots = Bit(Placeholder::Name) | Bit(Placeholder::Count) |
                                    Bit(Placeholder::Sides) | Bit(Placeholder::Results) |
                                    Bit(Placeholder::Total);
constexpr std::uint32_t Where = Bit(Placeholder::Where);
constexpr std::uint32_t Max = Bit(Placeholder::Max);

// In MessageId order.
constexpr std::array<MessageRow, MessageCount> Rows{{
    {"Roll", U"{name} rolled {count}d{sides} and got: {results}", RollSlots},
    {"RollMany", U"{name} rolled {count}d{sides} and got: {results} (Total: {total})", RollSlots},
    {"Notation", U"{name} rolled {expression} and got: {parts} (Total: {total})",
     Bit(Placeholder::Name) | Bit(Placeholder::Expression) | Bit(Placeholder::Parts) |
         Bit(Placeholder::Total)},
    {"Wait", U"Wait {seconds} s before rolling again", Bit(Placeholder::Seconds)},
    {"CannotRoll", U"Cannot roll \"{text}\": {reason}",
     Bit(Placeholder::Text) | Bit(Placeholder::Reason)},
    {"NoSecureSource", U"Cannot roll now: no secure random source", 0},
    {"PrivateRoll", U"{name} rolled {count}d{sides} and got: {results}", RollSlots},
    {"PrivateRollMany", U"{name} rolled {count}d{sides} and got: {results} (Total: {total})",
     RollSlots},
    {"ExpectedTerm", U"expected a number or a die {where}", Where},
    {"ExpectedSides", U"expected the number of sides {where}", Where},
    {"ExpectedKeep", U"expected kh or kl {where}", Where},
    {"SpaceInTerm", U"no space allowed inside a term {where}", Where},
    {"UnexpectedCharacter", U"unexpected character {where}", Where},
    {"CountRange", U"count must be 1 to {max}", Max},
    {"SidesRange", U"sides must be {min} to {max}", Bit(Placeholder::Min) | Max},
    {"KeepRange", U"keep must be 1 to {max}", Max},
    {"NumberRange", U"number must be 0 to {max}", Max},
    {"TooManyTerms", U"at most {max} terms", Max},
    {"TooManyDice", U"at most {max} dice in one roll", Max},
    {"OneDieOnly", U"at most {max} die in one roll", Max},
    {"NotationLabelled",
     U"{name} rolled {expression} for {label} and got: {parts} (Total: {total})",
     Bit(Placeholder::Name) | Bit(Placeholder::Expression) | Bit(Placeholder::Parts) |
         Bit(Placeholder::Total) | Bit(Placeholder::Label)},
    {"ExpectedNumber", U"expected a number {where}", Where},
    {"ExplodesEveryFace", U"explodes on every face", Where},
    {"RerollsEveryFace", U"rerolls on every face", Where},
    {"FailureWithoutSuccess", U"failures need a success count first", Where},
    {"RepeatedModifier", U"only one {modifier} per term", Bit(Placeholder::Modifier) | Where},
    {"DropRange", U"drop must be 1 to {max}", Max},
    {"CompareRange", U"compare number must be 0 to {max}", Max},
    {"LabelTooLong", U"label must be at most {max} characters", Max},
    {"AtCharacter", U"at character {position}", Bit(Placeholder::Position)},
    {"AtEnd", U"at the end", 0},
    {"DiceKey", U"Roll audit key {commitment}, committed {time}, {rolls} rolls so far",
     Bit(Placeholder::Commitment) | Bit(Placeholder::Time) | Bit(Placeholder::Rolls)},
    {"DiceKeyRevealed", U"Last revealed key {key} for commitment {commitment}",
     Bit(Placeholder::Key) | Bit(Placeholder::Commitment)},
    {"DiceKeyNone", U"Roll audit: no key yet", 0},
}};

// By Placeholder, from Name on.
constexpr std::array<std::u32string_view, 20> PlaceholderNames{
    U"name",       U"count", U"sides",  U"results", U"total",    U"expression", U"parts",
    U"seconds",    U"text",  U"reason", U"where",   U"position", U"min",        U"max",
    U"commitment", U"time",  U"rolls",  U"key",     U"label",    U"modifier"};

constexpr Placeholder FindPlaceholder(std::u32string_view name, std::uint32_t allowed) {
  for (std::size_t i = 0; i < PlaceholderNames.size(); ++i) {
    const auto slot = static_cast<Placeholder>(i + 1);
    if (PlaceholderNames[i] == name && (allowed & Bit(slot)) != 0) return slot;
  }
  return Placeholder::None;
}

constexpr TemplateCheck Parse(MessageId id, std::u32string_view text, MessageTemplate& out) {
  out = MessageTemplate{};
  if (text.size() > MaxTemplateCharacters) return {TemplateError::TooLong, {}};
  const std::uint32_t allowed = Rows[static_cast<std::size_t>(id)].Allowed;
  std::uint32_t used = 0;
  std::size_t units = 0;
  MessagePiece run;  // the literal run being read
  const auto endRun = [&] {
    if (run.Length != 0) out.Pieces[out.PieceCount++] = run;
    run = {Placeholder::None, static_cast<std::uint16_t>(units), 0};
  };
  const auto put = [&](char32_t c) {
    if (c == 0) c = 0xFFFD;  // a zero would end the host's text early
    if (c >= 0x10000) {
      out.Text[units++] = static_cast<WideChar>(0xD800 + ((c - 0x10000) >> 10));
      out.Text[units++] = static_cast<WideChar>(0xDC00 + ((c - 0x10000) & 0x3FF));
      run.Length = static_cast<std::uint16_t>(run.Length + 2);
    } else {
      out.Text[units++] = static_cast<WideChar>(c);
      ++run.Length;
    }
  };
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char32_t c = text[at];
    const char32_t next = at + 1 < text.size() ? text[at + 1] : 0;
    if ((c == U'{' && next == U'{') || (c == U'}' && next == U'}')) {
      put(c);
      ++at;
      continue;
    }
    if (c == U'}') return {TemplateError::UnmatchedBrace, {}};
    if (c != U'{') {
      put(c);
      continue;
    }
    const std::size_t close = text.find_first_of(U"{}", at + 1);
    if (close == std::u32string_view::npos || text[close] == U'{') {
      return {TemplateError::UnmatchedBrace, {}};
    }
    const std::u32string_view written = text.substr(at, close - at + 1);
    const Placeholder slot = FindPlaceholder(text.substr(at + 1, close - at - 1), allowed);
    if (slot == Placeholder::None) return {TemplateError::UnknownPlaceholder, written};
    if ((used & Bit(slot)) != 0) return {TemplateError::RepeatedPlaceholder, written};
    used |= Bit(slot);
    endRun();
    out.Pieces[out.PieceCount++] = {slot, 0, 0};
    at = close;
  }
  endRun();
  return {};
}

constexpr MessageTable MakeDefaults() {
  MessageTable table{};
  for (std::size_t i = 0; i < MessageCount; ++i) {
    Parse(static_cast<MessageId>(i), Rows[i].Default, table[i]);
  }
  return table;
}

constexpr bool DefaultsParse() {
  for (std::size_t i = 0; i < MessageCount; ++i) {
    MessageTemplate parsed;
    if (Parse(static_cast<MessageId>(i), Rows[i].Default, parsed).Error != TemplateError::None) {
      return false;
    }
  }
  return true;
}
static_assert(DefaultsParse(), "every default is a template of its own message");

constexpr bool PiecesSuffice() {
  for (const MessageRow& row : Rows) {
    if (2 * static_cast<std::size_t>(std::popcount(row.Allowed)) + 1 > MaxTemplatePieces) {
      return false;
    }
  }
  return true;
}
static_assert(PiecesSuffice(), "room for every placeholder once and the runs between them");

}  // namespace

constinit const MessageTable DefaultMessages = MakeDefaults();
constinit MessageTable Messages = MakeDefaults();

constinit const std::array<std::string_view, MessageCount> MessageNames = [] {
  std::array<std::string_view, MessageCount> names{};
  std::transform(Rows.begin(), Rows.end(), names.begin(),
                 [](const MessageRow& row) { return row.Name; });
  return names;
}();

std::optional<MessageId> FindMessage(std::string_view name) {
  const auto found = std::find(MessageNames.begin(), MessageNames.end(), name);
  if (found == MessageNames.end()) return std::nullopt;
  return static_cast<MessageId>(found - MessageNames.begin());
}

TemplateCheck ParseMessage(MessageId id, std::u32string_view text, MessageTemplate& out) {
  return Parse(id, text, out);
}
