#include "dice/utc_time.h"

#include <chrono>

namespace {

// 0000-01-01T00:00:00Z and 9999-12-31T23:59:59Z.
constexpr UtcSeconds Earliest = -62167219200;
constexpr UtcSeconds Latest = 253402300799;

constexpr std::int64_t SecondsPerDay = 86400;

struct Civil {
  std::int64_t Year;
  unsigned Month;
  unsigned Day;
};

// The proleptic Gregorian date of a day count (days from 1970-01-01), by eras of 400 years.
constexpr Civil FromDays(std::int64_t days) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
  const unsigned yearOfEra =
      (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  const unsigned shifted = (5 * dayOfYear + 2) / 153;  // from March
  const unsigned day = dayOfYear - (153 * shifted + 2) / 5 + 1;
  const unsigned month = shifted < 10 ? shifted + 3 : shifted - 9;
  return {static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0), month, day};
}
static_assert(FromDays(0).Year == 1970 && FromDays(0).Month == 1 && FromDays(0).Day == 1);
static_assert(FromDays(-1).Year == 1969 && FromDays(-1).Month == 12 && FromDays(-1).Day == 31);
static_assert(FromDays(11016).Month == 2 && FromDays(11016).Day == 29);  // 2000-02-29

char* Digits(char* out, std::int64_t value, int width) {
  for (int i = width - 1; i >= 0; --i) {
    out[i] = static_cast<char>('0' + value % 10);
    value /= 10;
  }
  return out + width;
}

UtcSeconds Clamp(UtcSeconds time) {
  return time < Earliest ? Earliest : time > Latest ? Latest : time;
}

char* Date(UtcSeconds time, char* out) {
  const Civil date = FromDays(UtcDay(time));
  out = Digits(out, date.Year, 4);
  *out++ = '-';
  out = Digits(out, date.Month, 2);
  *out++ = '-';
  return Digits(out, date.Day, 2);
}

}  // namespace

UtcSeconds SystemUtcNow() noexcept {
  return std::chrono::duration_cast<std::chrono::seconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

constinit UtcClockFn UtcNow = &SystemUtcNow;

std::int64_t UtcDay(UtcSeconds time) noexcept {
  time = Clamp(time);
  return (time >= 0 ? time : time - (SecondsPerDay - 1)) / SecondsPerDay;
}

void WriteUtcDate(UtcSeconds time, char* out) noexcept {
  Date(time, out);
}

void WriteUtcTime(UtcSeconds time, char* out) noexcept {
  time = Clamp(time);
  out = Date(time, out);
  const std::int64_t second = time - UtcDay(time) * SecondsPerDay;
  *out++ = 'T';
  out = Digits(out, second / 3600, 2);
  *out++ = ':';
  out = Digits(out, second / 60 % 60, 2);
  *out++ = ':';
  out = Digits(out, second % 60, 2);
  *out = 'Z';
}
