#include "dice/dice_count.h"

#include <cstring>

#include "host/ascii_conversion.h"

namespace {

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

bool ParseInt32(const char* text, std::int32_t& value) {
  while (IsCSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  if (*text < '0' || *text > '9') return false;
  constexpr std::int64_t limit = std::int64_t{1} << 31;  // |INT32_MIN|
  std::int64_t magnitude = 0;
  bool overflow = false;
  // Accumulation stops once past the limit, so no number of digits can wrap it around.
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (!overflow) magnitude = magnitude * 10 + (*text - '0');
    overflow = overflow || magnitude > limit;
  }
  if (overflow || (!negative && magnitude == limit)) return false;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

std::int32_t ReadDiceCount(const FString* message) {
  if (message == nullptr || message->Num <= 1) return 1;
  const AsciiConversion narrow(**message);
  if (narrow.Text == nullptr) return 1;
  const char* space = std::strchr(narrow.Text, ' ');
  std::int32_t value = 0;
  if (space == nullptr || !ParseInt32(space + 1, value)) return 1;
  if (value < 1) return 1;
  return value > MaxDiceCount ? MaxDiceCount : value;
}
