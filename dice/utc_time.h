// UTC times as the audit file writes them: whole seconds, ISO 8601 with a Z.
#pragma once

#include <cstddef>
#include <cstdint>

// Seconds since 1970-01-01T00:00:00Z, leap seconds not counted (as every system clock does).
using UtcSeconds = std::int64_t;

// The UTC clock the audit reads. Tests replace it to move the date without waiting; the
// system's clock otherwise.
using UtcClockFn = UtcSeconds (*)() noexcept;
extern UtcClockFn UtcNow;
UtcSeconds SystemUtcNow() noexcept;

// Days since 1970-01-01, so two times fall on the same UTC date when these are equal.
std::int64_t UtcDay(UtcSeconds time) noexcept;

// "2026-12-08T22:41:07Z" and "2026-12-08", without a terminator. Times outside the years
// 0000 to 9999 are written as the nearest end of that range.
inline constexpr std::size_t UtcTimeChars = 20;
inline constexpr std::size_t UtcDateChars = 10;
void WriteUtcTime(UtcSeconds time, char* out) noexcept;
void WriteUtcDate(UtcSeconds time, char* out) noexcept;
