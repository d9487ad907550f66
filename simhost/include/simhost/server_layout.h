// Where a game server keeps a plugin's files, and file paths as UTF-8 text. The one place the
// console server, the tests, the benchmarks and the fuzz harness lay out a server directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace simhost {

// std::filesystem reads a plain narrow string in the ANSI code page on Windows; paths travel
// as UTF-8 here, so convert explicitly.
inline std::filesystem::path Utf8Path(std::string_view text) {
  return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string PathText(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

// <server>/ArkApi/Plugins/<plugin>: the plugin's own folder, where its config.json lives.
inline std::filesystem::path PluginFolder(const std::filesystem::path& serverDir,
                                          std::string_view plugin = "Rollmoot") {
  return serverDir / "ArkApi" / "Plugins" / Utf8Path(plugin);
}

}  // namespace simhost
