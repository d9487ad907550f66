// Every line a player can be sent, as a template the operator may replace in config.json.
// A template is read once, when it is loaded, into literal runs and placeholders; a roll
// only walks those pieces into its line, so substituted text is copied and never read again.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "host/platform.h"

// One per message; the names operators write are in MessageNames.
enum class MessageId : std::uint8_t {
  Roll,        // one die
  RollMany,    // several dice
  Notation,    // a /roll line
  Wait,        // the cooldown's refusal
  CannotRoll,  // a /roll expression refused: the text and a reason below
  NoSecureSource,
  // A private command's lines; a load that leaves one unset makes it a copy of Roll or
  // RollMany, so private lines read as the public ones unless the operator says otherwise.
  PrivateRoll,
  PrivateRollMany,
  // The reasons of CannotRoll; the first five say where, with AtCharacter or AtEnd.
  ExpectedTerm,
  ExpectedSides,
  ExpectedKeep,
  SpaceInTerm,
  UnexpectedCharacter,
  CountRange,
  SidesRange,
  KeepRange,
  NumberRange,
  TooManyTerms,
  TooManyDice,
  OneDieOnly,  // TooManyDice when the limit is one die
  // /roll's modifiers and labels: the labelled line, then more reasons of CannotRoll.
  NotationLabelled,
  ExpectedNumber,
  ExplodesEveryFace,
  RerollsEveryFace,
  FailureWithoutSuccess,
  RepeatedModifier,
  DropRange,
  CompareRange,
  LabelTooLong,
  AtCharacter,
  AtEnd,
  // /dicekey's lines: the key in use (or that there is none), the last one revealed.
  DiceKey,
  DiceKeyRevealed,
  DiceKeyNone,
};
inline constexpr std::size_t MessageCount = static_cast<std::size_t>(MessageId::DiceKeyNone) + 1;

enum class Placeholder : std::uint8_t {
  None,  // a literal run
  Name,
  Count,
  Sides,
  Results,
  Total,
  Expression,
  Parts,
  Seconds,
  Text,
  Reason,
  Where,
  Position,
  Min,
  Max,
  Commitment,
  Time,
  Rolls,
  Key,
  Label,
  Modifier,
};

inline constexpr std::size_t MaxTemplateCharacters = 200;
// Code points above U+FFFF take two units.
inline constexpr std::size_t MaxTemplateUnits = 2 * MaxTemplateCharacters;
// No message has more than five placeholders, each used at most once, so at most six literal
// runs lie around them.
inline constexpr std::size_t MaxTemplatePieces = 11;

struct MessagePiece {
  Placeholder Slot = Placeholder::None;
  std::uint16_t Begin = 0;  // a literal run's units in MessageTemplate::Text
  std::uint16_t Length = 0;
  bool operator==(const MessagePiece&) const = default;
};

struct MessageTemplate {
  std::array<WideChar, MaxTemplateUnits> Text{};  // the literal runs, braces unescaped
  std::array<MessagePiece, MaxTemplatePieces> Pieces{};
  std::uint8_t PieceCount = 0;
  bool operator==(const MessageTemplate&) const = default;
};

using MessageTable = std::array<MessageTemplate, MessageCount>;

// The English lines, as they were before any could be replaced.
extern const MessageTable DefaultMessages;
// The templates in use: the defaults from module load; replaced by each configuration load.
extern MessageTable Messages;

// The member names of config.json's "Messages", by MessageId.
extern const std::array<std::string_view, MessageCount> MessageNames;
std::optional<MessageId> FindMessage(std::string_view name);

// Why a template was refused. Each placeholder may appear once: that keeps the longest line
// within the room reserved for it.
enum class TemplateError : std::uint8_t {
  None,
  TooLong,
  UnknownPlaceholder,   // a name this message does not have
  RepeatedPlaceholder,  // one this message has, a second time
  UnmatchedBrace,
};
struct TemplateCheck {
  TemplateError Error = TemplateError::None;
  std::u32string_view Written;  // the placeholder refused, as written, braces included
};

// Reads `text` as message `id`'s template into `out`; on an error `out` is not meaningful.
// The first problem from the left is the one reported.
TemplateCheck ParseMessage(MessageId id, std::u32string_view text, MessageTemplate& out);

// Calls literal(const WideChar*, std::size_t) for each literal run and value(Placeholder) for
// each placeholder of message `id`, in order.
template <class Literal, class Value>
void WalkMessage(MessageId id, Literal&& literal, Value&& value) {
  const MessageTemplate& message = Messages[static_cast<std::size_t>(id)];
  for (std::size_t i = 0; i < message.PieceCount; ++i) {
    const MessagePiece& piece = message.Pieces[i];
    if (piece.Slot == Placeholder::None) {
      literal(message.Text.data() + piece.Begin, std::size_t{piece.Length});
    } else {
      value(piece.Slot);
    }
  }
}
