#include "config/config.h"

#include <fmt/format.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string_view>
#include <system_error>
#include <utility>

#include "config/messages_config.h"
#include "dice/messages.h"
#include "dice/roll_command.h"
#include "dice/settings.h"
#include "host/asa_api.h"
#include "host/utf.h"
#include "log/log.h"

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

// Each reader leaves `value` alone and returns false when the member is there but wrong;
// an absent member is fine.

// Only a number written without fraction or exponent is an integer ("2.0" is not). The
// parser keeps integers beyond 64 bits as floating point, so they are refused here too,
// and the range test compares across signedness instead of converting first.
bool ReadInteger(const nlohmann::json& document, const char* key, std::int32_t low,
                 std::int32_t high, std::int32_t& value) {
  const auto member = document.find(key);
  if (member == document.end()) return true;
  if (!member->is_number_integer()) return false;
  const auto inRange = [&](auto number) {
    return std::cmp_less_equal(low, number) && std::cmp_less_equal(number, high);
  };
  if (member->is_number_unsigned() ? !inRange(member->get<std::uint64_t>())
                                   : !inRange(member->get<std::int64_t>())) {
    return false;
  }
  value = static_cast<std::int32_t>(member->get<std::int64_t>());
  return true;
}

bool ReadBoolean(const nlohmann::json& document, const char* key, bool& value) {
  const auto member = document.find(key);
  if (member == document.end()) return true;
  if (!member->is_boolean()) return false;
  value = member->get<bool>();
  return true;
}

void WrongMember(std::string_view text) {
  WriteLog(err, "Rollmoot: Error loading config: {}", text);
}

// The settings are the file's first JSON value, as they always were. Anything but whitespace
// after it (a block pasted below the object, a stray brace) is not read, so say where it
// starts, lines and columns counted from 1 as the parser counts them: a line ends at LF, and a
// column counts bytes.
void ReportTextAfterValue(const std::string& text, std::size_t valueEnd) {
  const std::size_t after = text.find_first_not_of(" \t\n\r", valueEnd);
  // The parser takes a zero byte for the end of its input, as in a file padded with zeros by
  // a write cut short: nothing after it is text to it.
  if (after == std::string::npos || text[after] == '\0') return;
  const auto before = text.begin() + static_cast<std::ptrdiff_t>(after);
  const auto line = 1 + std::count(text.begin(), before, '\n');
  const auto column = std::find(std::make_reverse_iterator(before), text.rend(), '\n') -
                      std::make_reverse_iterator(before) + 1;
  WrongMember(
      fmt::format("text after the settings at line {}, column {} is ignored", line, column));
}

// The optional members, each on its own and in this order: a wrong one is reported and
// keeps its default, one that differs from its default says so, an absent one says nothing.
RollSettings ReadSettings(const nlohmann::json& document) {
  RollSettings read;
  if (!ReadInteger(document, "CooldownSeconds", 0, MaxCooldownSeconds, read.CooldownSeconds)) {
    WrongMember(fmt::format("CooldownSeconds must be an integer from 0 to {}", MaxCooldownSeconds));
  } else if (read.CooldownSeconds != 0) {
    WriteLog(info, "Rollmoot: Cooldown: {} s per player", read.CooldownSeconds);
  }
  if (!ReadBoolean(document, "PrivateCommands", read.PrivateCommands)) {
    WrongMember("PrivateCommands must be true or false");
  } else if (read.PrivateCommands) {
    WriteLog(info, "Rollmoot: Private commands: /pd3 /pd4 /pd6 /pd8 /pd10 /pd12 /pd20");
  }
  if (!ReadBoolean(document, "LogRolls", read.LogRolls)) {
    WrongMember("LogRolls must be true or false");
  } else if (read.LogRolls) {
    WriteLog(info, "Rollmoot: Roll log: on");
  }
  if (!ReadInteger(document, "MaxDice", 1, MaxDiceCount, read.MaxDice)) {
    WrongMember(fmt::format("MaxDice must be an integer from 1 to {}", MaxDiceCount));
  } else if (read.MaxDice != MaxDiceCount) {
    WriteLog(info, "Rollmoot: Dice per command: at most {}", read.MaxDice);
  }
  if (!ReadBoolean(document, "RollCommand", read.RollCommand)) {
    WrongMember("RollCommand must be true or false");
  } else if (read.RollCommand) {
    WriteLog(info, "Rollmoot: Roll command: /roll");
  }
  if (!ReadBoolean(document, "SecureRolls", read.SecureRolls)) {
    WrongMember("SecureRolls must be true or false");
  } else if (read.SecureRolls) {
    WriteLog(info, "Rollmoot: Secure rolls: on");
  }
  if (!ReadBoolean(document, "AuditRolls", read.AuditRolls)) {
    WrongMember("AuditRolls must be true or false");
  } else if (read.AuditRolls) {
    WriteLog(info, "Rollmoot: Roll audit: on");
  }
  // Its own info line names the day's file, once the audit has committed to its first key.
  if (!ReadBoolean(document, "AuditFile", read.AuditFile)) {
    WrongMember("AuditFile must be true or false");
  } else if (read.AuditFile && !read.AuditRolls) {
    WrongMember("AuditFile needs AuditRolls");
    read.AuditFile = false;
  }
  return read;
}

}  // namespace

nlohmann::json MakeDefaultConfig() {
  return nlohmann::json{{"SenderName", "Dice"}};
}

std::string ConfigPath() {
  return fmt::format(PluginFolderPattern, AsaApi::Tools::GetCurrentDir(), "Rollmoot") +
         "config.json";
}

std::string AuditFolderPath() {
  return fmt::format(PluginFolderPattern, AsaApi::Tools::GetCurrentDir(), "Rollmoot") + "audit";
}

void LoadConfig() {
  // Nothing of an earlier load survives: a file that fails as a whole turns every option off.
  Settings = RollSettings{};
  Messages = DefaultMessages;
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
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    in.close();
    // The first complete value; whatever follows is not read. An object ends at its brace,
    // so the parser has taken nothing beyond it.
    std::istringstream stream(text);
    nlohmann::json document;
    stream >> document;
    const std::streamoff valueEnd = stream.tellg();

    const std::string name = document.value("SenderName", std::string("Dice"));
    // The file is UTF-8 and the host's text UTF-16: decode so the label shows as written.
    SenderTag = utf::Utf8ToWide("[" + name + "]");
    WriteLog(info, "Rollmoot: Configuration loaded - SenderName: {}", name);
    ReportTextAfterValue(text, valueEnd < 0 ? text.size() : static_cast<std::size_t>(valueEnd));
    Settings = ReadSettings(document);
    ReadMessages(document);
  } catch (const std::exception& error) {
    WriteLog(err, "Rollmoot: Error loading config: {}", error.what());
  }
}
