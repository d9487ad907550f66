// Reading the number of dice a chat message asks for.
#pragma once

#include <cstdint>

#include "host/fstring.h"

inline constexpr std::int32_t MaxDiceCount = 100;

// strtol's base-10 rules in the C locale, without its errno and locale machinery: leading
// white space, an optional sign, digits up to the first non-digit. False when no digit is
// read or the value leaves the signed 32-bit range, however many digits follow.
bool ParseInt32(const char* text, std::int32_t& value);

// The number of dice a chat message asks for: what follows its first space, read as a
// base-10 integer and limited to 1..MaxDiceCount; 1 when nothing readable is there.
std::int32_t ReadDiceCount(const FString* message);
