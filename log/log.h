// The plugin's one logger, writing into the host's own sinks.
#pragma once

#include <spdlog/logger.h>

#include <memory>
#include <string>
#include <utility>

#include "host/utf.h"

// The holder: constructed on first use, destroyed at module unload.
std::shared_ptr<spdlog::logger>& PluginLogHolder();

// Builds a logger over the host's current sinks and puts it in `holder`.
void CreatePluginLog(std::shared_ptr<spdlog::logger>& holder, const std::string& name);

// How a code point of player text (a name, a /roll text) shows in a log line: control
// characters and the Unicode line and paragraph separators as U+FFFD, so that no player can
// start a line of their own in a log, however it is read later.
constexpr char32_t ShownInLog(char32_t cp) noexcept {
  return cp < 0x20 || cp == 0x7F || cp == 0x85 || cp == 0x2028 || cp == 0x2029 ? utf::Replacement
                                                                               : cp;
}

// Writes through the holder. Before any Plugin_Init there is no logger; the line is then
// dropped instead of dereferencing an empty holder.
template <class... Args>
void WriteLog(spdlog::level::level_enum level, spdlog::format_string_t<Args...> format,
              Args&&... args) {
  if (const auto& log = PluginLogHolder()) log->log(level, format, std::forward<Args>(args)...);
}

// Fixed text: written verbatim, never read as a format.
inline void WriteLog(spdlog::level::level_enum level, std::string_view text) {
  if (const auto& log = PluginLogHolder()) log->log(level, text);
}
