// File paths travel through the console as UTF-8 text; std::filesystem would read a plain
// narrow string in the ANSI code page on Windows, so convert explicitly.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace console {

inline std::filesystem::path Utf8Path(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

}  // namespace console
