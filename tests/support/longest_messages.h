// Every message at its longest: each placeholder it has, once, then a character of two units
// up to the 200 characters a template may hold. What the room for a line must survive.
#pragma once

#include <string>

#include "dice/messages.h"

inline std::u32string LongestTemplate(MessageId id) {
  std::u32string text;
  switch (id) {
    case MessageId::Roll:
    case MessageId::RollMany:
    case MessageId::PrivateRoll:
    case MessageId::PrivateRollMany:
      text = U"{name}{count}{sides}{results}{total}";
      break;
    case MessageId::Notation:
      text = U"{name}{expression}{parts}{total}";
      break;
    case MessageId::NotationLabelled:
      text = U"{name}{expression}{parts}{total}{label}";
      break;
    case MessageId::RepeatedModifier:
      text = U"{modifier}{where}";
      break;
    case MessageId::Wait:
      text = U"{seconds}";
      break;
    case MessageId::CannotRoll:
      text = U"{text}{reason}";
      break;
    case MessageId::ExpectedTerm:
    case MessageId::ExpectedSides:
    case MessageId::ExpectedKeep:
    case MessageId::SpaceInTerm:
    case MessageId::UnexpectedCharacter:
    case MessageId::ExpectedNumber:
    case MessageId::ExplodesEveryFace:
    case MessageId::RerollsEveryFace:
    case MessageId::FailureWithoutSuccess:
      text = U"{where}";
      break;
    case MessageId::SidesRange:
      text = U"{min}{max}";
      break;
    case MessageId::AtCharacter:
      text = U"{position}";
      break;
    case MessageId::DiceKey:
      text = U"{commitment}{time}{rolls}";
      break;
    case MessageId::DiceKeyRevealed:
      text = U"{key}{commitment}";
      break;
    case MessageId::NoSecureSource:
    case MessageId::AtEnd:
    case MessageId::DiceKeyNone:
      break;
    default:
      text = U"{max}";
      break;
  }
  text.resize(MaxTemplateCharacters, U'\U0001F3B2');  // a die
  return text;
}

// False if any was refused (and then Messages is not meaningful).
inline bool UseLongestMessages() {
  for (std::size_t i = 0; i < MessageCount; ++i) {
    const auto id = static_cast<MessageId>(i);
    if (ParseMessage(id, LongestTemplate(id), Messages[i]).Error != TemplateError::None) {
      return false;
    }
  }
  return true;
}
