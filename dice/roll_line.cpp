#include "dice/roll_line.h"

#include <algorithm>
#include <string>

#include "dice/messages.h"

namespace {

// A number's room: its digits at their widest, and the spare unit PutNumber wants.
constexpr std::size_t NumberRoom = 21;

// Writes message `id` at `out` through `value` for its placeholders; zero-terminates.
template <class Value>
void Write(WideChar* out, MessageId id, Value&& value) {
  WalkMessage(
      id, [&](const WideChar* text, std::size_t length) { out = std::copy_n(text, length, out); },
      [&](Placeholder slot) { out = value(out, slot); });
  *out = 0;
}

}  // namespace

void BuildLine(Line& line, const FString& name, std::int32_t count, int sides,
               const std::int32_t* results, std::int64_t total, bool privateRoll) {
  const WideChar* text = *name;
  const std::size_t nameLength = std::char_traits<WideChar>::length(text);
  // The template's own text, then each placeholder at most once: the name, three numbers, and
  // per die ", " and a value, which has no more characters than `sides` when it lies in
  // 1..sides.
  const std::size_t valueRoom = 2 + (sides >= 1 ? fmt::format_int(sides).size() : 11);
  line.resize(MaxTemplateUnits + nameLength + 3 * NumberRoom +
              static_cast<std::size_t>(count) * valueRoom + 1);

  // One die: its value is the total, and the default line shows no total.
  const MessageId id = privateRoll
                           ? (count == 1 ? MessageId::PrivateRoll : MessageId::PrivateRollMany)
                           : (count == 1 ? MessageId::Roll : MessageId::RollMany);
  Write(line.data(), id, [&](WideChar* out, Placeholder slot) {
    switch (slot) {
      case Placeholder::Name:
        return std::copy_n(text, nameLength, out);
      case Placeholder::Count:
        return PutNumber(out, count);
      case Placeholder::Sides:
        return PutNumber(out, sides);
      case Placeholder::Results:
        for (std::int32_t i = 0; i < count; ++i) {
          if (i != 0) out = Put(out, ", ");
          out = PutNumber(out, results[i]);
        }
        return out;
      case Placeholder::Total:
        return PutNumber(out, total);
      default:
        return out;
    }
  });
}

void BuildWaitLine(Line& line, std::int32_t seconds) {
  line.resize(MaxTemplateUnits + NumberRoom + 1);
  Write(line.data(), MessageId::Wait,
        [&](WideChar* out, Placeholder) { return PutNumber(out, seconds); });
}

void BuildNoSecureSourceLine(Line& line) {
  line.resize(MaxTemplateUnits + 1);
  Write(line.data(), MessageId::NoSecureSource, [](WideChar* out, Placeholder) { return out; });
}
