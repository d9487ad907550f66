#include "config/config.h"

#include <fmt/format.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "dice/roll_command.h"
#include "host/asa_api.h"
#include "host/utf.h"
#include "plugin/log.h"

namespace {

namespace fs = std::filesystem;
using spdlog::level::err;
using spdlog::level::info;

// "Not found" (the file or a folder on its way) means missing; any other failure to
// learn the status is an error for the operator, not a reason to write defaults.
bool ConfigExists(const std::string& path) {
  std::error_code ec;
  const fs::file_status status = fs::status(path, ec);
  if (status.type() == fs::file_type::not_found) return false;
  if (ec) throw fs::filesystem_error("exists", path, ec);
  return true;
}

}  // namespace

nlohmann::json MakeDefaultConfig() {
  return nlohmann::json{{"SenderName", "Dice"}};
}

std::string ConfigPath() {
  return fmt::format(PluginFolderPattern, AsaApi::Tools::GetCurrentDir(), "Rollmoot") +
         "config.json";
}

void LoadConfig() {
  const std::string path = ConfigPath();
  try {
    if (!ConfigExists(path)) {
      WriteLog(info, "Rollmoot: config.json not found, creating default configuration...");
      const nlohmann::json defaults = MakeDefaultConfig();
      std::ofstream out(path);
      if (!out.is_open()) {
        WriteLog(err, "Rollmoot: Failed to create config.json");
        return;
      }
      // A failed write shows up below, as a short file that does not parse.
      out << defaults.dump(2);
      out.close();
      WriteLog(info, "Rollmoot: Default config.json created");
    }

    // Some platforms open a directory as an empty stream; it is no configuration anywhere.
    std::error_code ec;
    std::ifstream in;
    if (!fs::is_directory(path, ec)) in.open(path);
    if (!in.is_open()) {
      WriteLog(err, "Rollmoot: Failed to open config.json for reading");
      return;
    }
    nlohmann::json document;
    in >> document;  // the first complete value; whatever follows is not read
    in.close();

    const std::string name = document.value("SenderName", std::string("Dice"));
    // The file is UTF-8 and the host's text UTF-16: decode so the label shows as written.
    SenderTag = utf::Utf8ToWide("[" + name + "]");
    WriteLog(info, "Rollmoot: Configuration loaded - SenderName: {}", name);
  } catch (const std::exception& error) {
    WriteLog(err, "Rollmoot: Error loading config: {}", error.what());
  }
}
