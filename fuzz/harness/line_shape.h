// The two shapes a roll line may take, checked from the text alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/platform.h"

namespace fuzz {

struct ParsedRoll {
  std::int64_t Count = 0;
  std::vector<std::int64_t> Values;
  std::int64_t Total = 0;
};

// Reads "NAME rolled 1dS and got: V" or "NAME rolled CdS and got: v1, ..., vC (Total: T)"
// for the given name and sides. Numbers must be plain decimals (no sign, no leading zero),
// values in 1..sides, the count in 1..100 (2..100 for the second shape) and equal to the
// number of values, the total their sum. Returns an empty string, or what is wrong.
std::string CheckLineShape(WideStringView line, WideStringView name, int sides, ParsedRoll& roll);

}  // namespace fuzz
