#include "dice/dice_key_command.h"

#include <algorithm>
#include <cstddef>

#include "dice/audit.h"
#include "dice/line_writer.h"
#include "dice/messages.h"
#include "dice/roll_steps.h"
#include "dice/utc_time.h"

namespace {

// The template's own text, two hashes in hex, a time and a count, and the terminator.
constexpr std::size_t LineRoom =
    MaxTemplateUnits + 2 * 2 * platform::Sha256Bytes + UtcTimeChars + 21 + 1;

WideChar* PutHex(WideChar* out, const unsigned char* bytes, std::size_t size) {
  constexpr char digits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < size; ++i) {
    *out++ = static_cast<WideChar>(digits[bytes[i] >> 4]);
    *out++ = static_cast<WideChar>(digits[bytes[i] & 0x0F]);
  }
  return out;
}

template <class Value>
void Tell(const AShooterPlayerController* player, MessageId id, Value&& value) {
  Line line;
  line.resize(LineRoom);
  WideChar* out = line.data();
  WalkMessage(
      id, [&](const WideChar* text, std::size_t length) { out = std::copy_n(text, length, out); },
      [&](Placeholder slot) { out = value(out, slot); });
  *out = 0;
  TellRoller(player, line.data());
}

}  // namespace

void TellDiceKey(const AShooterPlayerController* player) {
  if (player == nullptr) return;
  AuditLive live;
  if (LiveAuditKey(live)) {
    Tell(player, MessageId::DiceKey, [&](WideChar* out, Placeholder slot) {
      switch (slot) {
        case Placeholder::Commitment:
          return PutHex(out, live.Commitment, sizeof live.Commitment);
        case Placeholder::Time: {
          char time[UtcTimeChars];
          WriteUtcTime(live.Committed, time);
          return Put(out, std::string_view(time, sizeof time));
        }
        case Placeholder::Rolls:
          return PutNumber(out, live.Rolls);
        default:
          return out;
      }
    });
  } else {
    Tell(player, MessageId::DiceKeyNone, [](WideChar* out, Placeholder) { return out; });
  }
  const AuditRevealed& revealed = LastRevealedKey();
  if (!revealed.Any) return;
  Tell(player, MessageId::DiceKeyRevealed, [&](WideChar* out, Placeholder slot) {
    switch (slot) {
      case Placeholder::Key:
        return PutHex(out, revealed.Key, sizeof revealed.Key);
      case Placeholder::Commitment:
        return PutHex(out, revealed.Commitment, sizeof revealed.Commitment);
      default:
        return out;
    }
  });
}
