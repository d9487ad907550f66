#include "dice/roll_log.h"

#include <fmt/format.h>

#include <string_view>

#include "dice/notation.h"
#include "host/utf.h"
#include "log/log.h"

void LogRollLine(const FString& line, Audience audience) {
  // Room for any line of the plugin's commands, so the conversion takes nothing from the heap:
  // a unit gives at most three bytes (a pair of them four).
  fmt::basic_memory_buffer<char, 3 * NotationLineUnits> text;
  utf::DecodeUtf16(*line, [&](char32_t cp) { utf::AppendUtf8(text, ShownInLog(cp)); });
  const std::string_view utf8(text.data(), text.size());
  if (audience == Audience::Everyone) {
    WriteLog(spdlog::level::info, "Rollmoot: Roll: {}", utf8);
  } else {
    WriteLog(spdlog::level::info, "Rollmoot: Private roll: {}", utf8);
  }
}
