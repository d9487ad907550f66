// Writing chat lines straight as UTF-16 into room reserved up front, so that a roll's line
// needs no heap for the sizes the plugin's commands produce.
#pragma once

#include <fmt/format.h>

#include <array>
#include <cstdint>
#include <string_view>

#include "host/platform.h"

// A chat line being written. The inline room covers every fixed-command line with a name of
// up to 64 characters, whatever the operator's templates (each at most 400 units, each
// placeholder at most once); anything longer still fits, from the heap.
using Line = fmt::basic_memory_buffer<WideChar, 1024>;

// ASCII text, widened unit for unit.
inline WideChar* Put(WideChar* out, std::string_view ascii) {
  for (char c : ascii) *out++ = static_cast<WideChar>(c);
  return out;
}

namespace line_detail {

// 0 to 99 as UTF-16 digits: the units (the second unused below 10) and how many there are.
struct SmallNumber {
  WideChar Units[2];
  std::uint8_t Length;
};
inline constexpr std::array<SmallNumber, 100> SmallNumbers = [] {
  std::array<SmallNumber, 100> table{};
  for (int value = 0; value < 100; ++value) {
    const auto tens = static_cast<WideChar>(u'0' + value / 10);
    const auto ones = static_cast<WideChar>(u'0' + value % 10);
    table[static_cast<std::size_t>(value)] =
        value < 10 ? SmallNumber{{ones, ones}, 1} : SmallNumber{{tens, ones}, 2};
  }
  return table;
}();

}  // namespace line_detail

// Writes `value` in decimal. Room for one unit more than it needs must follow `out`.
inline WideChar* PutNumber(WideChar* out, long long value) {
  // Die values have one or two digits, unpredictably: a table read and two stores, with no
  // branch on the number of digits.
  if (value >= 0 && value < 100) {
    const line_detail::SmallNumber& number =
        line_detail::SmallNumbers[static_cast<std::size_t>(value)];
    out[0] = number.Units[0];
    out[1] = number.Units[1];
    return out + number.Length;
  }
  const fmt::format_int digits(value);
  return Put(out, std::string_view(digits.data(), digits.size()));
}
