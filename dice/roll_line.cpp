#include "dice/roll_line.h"

#include <algorithm>
#include <string>

void BuildLine(Line& line, const FString& name, std::int32_t count, int sides,
               const std::int32_t* results, std::int64_t total) {
  const WideChar* text = *name;
  const std::size_t nameLength = std::char_traits<WideChar>::length(text);
  // The fixed words with count, sides and total at their widest (and a spare unit for
  // PutNumber); then per die ", " and a value, which has no more characters than `sides`
  // when it lies in 1..sides.
  constexpr std::size_t FixedRoom = 80;
  const std::size_t valueRoom = 2 + (sides >= 1 ? fmt::format_int(sides).size() : 11);
  line.resize(nameLength + FixedRoom + static_cast<std::size_t>(count) * valueRoom);

  WideChar* out = std::copy_n(text, nameLength, line.data());
  out = Put(out, " rolled ");
  out = PutNumber(out, count);
  out = Put(out, "d");
  out = PutNumber(out, sides);
  out = Put(out, " and got: ");
  for (std::int32_t i = 0; i < count; ++i) {
    if (i != 0) out = Put(out, ", ");
    out = PutNumber(out, results[i]);
  }
  // One die: its value is the total, and the line shows no total.
  if (count != 1) {
    out = Put(out, " (Total: ");
    out = PutNumber(out, total);
    out = Put(out, ")");
  }
  *out = 0;
}
