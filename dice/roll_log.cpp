#include "dice/roll_log.h"

#include <fmt/format.h>

#include <string_view>

#include "host/utf.h"
#include "log/log.h"

void LogRollLine(const FString& line, Audience audience) {
  // Room for any line of the plugin's commands, so the conversion takes nothing from the heap.
  fmt::basic_memory_buffer<char, 2048> text;
  utf::DecodeUtf16(*line, [&](char32_t cp) { utf::AppendUtf8(text, cp); });
  const std::string_view utf8(text.data(), text.size());
  if (audience == Audience::Everyone) {
    WriteLog(spdlog::level::info, "Rollmoot: Roll: {}", utf8);
  } else {
    WriteLog(spdlog::level::info, "Rollmoot: Private roll: {}", utf8);
  }
}
