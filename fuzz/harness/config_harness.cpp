#include "fuzz/harness/config_harness.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string_view>
#include <utility>
#include <vector>

#include "config/config.h"
#include "dice/messages.h"
#include "dice/roll_command.h"
#include "dice/settings.h"
#include "host/utf.h"
#include "log/log.h"
#include "simhost/recording_sink.h"
#include "simhost/server_layout.h"
#include "simhost/simhost.h"

namespace fuzz {
namespace {

namespace fs = std::filesystem;

// A server directory of our own with the plugin folder in it, gone again at exit, and the
// plugin's logger over one recording sink, made once: both are costly to make per input.
struct Fixture {
  fs::path Root;
  fs::path File;
  std::shared_ptr<spdlog::logger> Log;

  Fixture() {
    // Memory-backed where there is such a folder: a disk file truncated and rewritten per
    // input costs the fuzzer most of its speed.
    std::error_code ec;
    const fs::path base = fs::is_directory("/dev/shm", ec) ? "/dev/shm" : fs::temp_directory_path();
    Root = base / ("rollmoot-fuzz-" + std::to_string(std::random_device{}()));
    fs::create_directories(simhost::PluginFolder(Root));
    File = simhost::PluginFolder(Root) / "config.json";
    GetLogSinks().assign({std::make_shared<simhost::RecordingSink>()});
    CreatePluginLog(Log, "Rollmoot");
    GetLogSinks().clear();
  }
  ~Fixture() {
    std::error_code ignored;
    fs::remove_all(Root, ignored);
  }
};

Fixture& GetFixture() {
  static Fixture fixture;
  return fixture;
}

std::string ReadAll(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

using Level = spdlog::level::level_enum;

// What a sound loader makes of a file that does not fail as a whole.
struct Outcome {
  std::string Name;
  RollSettings Read;
  std::vector<std::pair<Level, std::string>> Lines;  // from "Configuration loaded" on
  std::set<std::string> Taken;                       // members of "Messages" in use
};

// Each message's placeholders, written out again here so that the loader's own table is
// checked, not trusted.
const std::map<std::string, std::set<std::string>>& MessagePlaceholders() {
  static const std::set<std::string> roll{"name", "count", "sides", "results", "total"};
  static const std::set<std::string> where{"where"}, max{"max"}, none{};
  static const std::map<std::string, std::set<std::string>> table{
      {"Roll", roll},
      {"RollMany", roll},
      {"PrivateRoll", roll},
      {"PrivateRollMany", roll},
      {"Notation", {"name", "expression", "parts", "total"}},
      {"Wait", {"seconds"}},
      {"CannotRoll", {"text", "reason"}},
      {"NoSecureSource", none},
      {"ExpectedTerm", where},
      {"ExpectedSides", where},
      {"ExpectedKeep", where},
      {"SpaceInTerm", where},
      {"UnexpectedCharacter", where},
      {"CountRange", max},
      {"SidesRange", {"min", "max"}},
      {"KeepRange", max},
      {"NumberRange", max},
      {"TooManyTerms", max},
      {"TooManyDice", max},
      {"OneDieOnly", max},
      {"NotationLabelled", {"name", "expression", "parts", "total", "label"}},
      {"ExpectedNumber", where},
      {"ExplodesEveryFace", where},
      {"RerollsEveryFace", where},
      {"FailureWithoutSuccess", where},
      {"RepeatedModifier", {"modifier", "where"}},
      {"DropRange", max},
      {"CompareRange", max},
      {"LabelTooLong", max},
      {"AtCharacter", {"position"}},
      {"AtEnd", none},
      {"DiceKey", {"commitment", "time", "rolls"}},
      {"DiceKeyRevealed", {"key", "commitment"}},
      {"DiceKeyNone", none},
  };
  return table;
}

// Why the loader must refuse `text` as message `name`'s template; empty when it must take it.
// The text is well-formed UTF-8 (the parser saw to that), and braces are single bytes in it.
std::string MessageProblem(const std::string& name, const std::string& text) {
  const std::set<std::string>& allowed = MessagePlaceholders().at(name);
  std::size_t characters = 0;
  for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  if (characters > 200) return name + " must be a string of at most 200 characters";
  std::set<std::string> used;
  for (std::size_t at = 0; at < text.size(); ++at) {
    const char c = text[at];
    if ((c == '{' || c == '}') && at + 1 < text.size() && text[at + 1] == c) {
      ++at;
    } else if (c == '}') {
      return name + " has an unmatched brace";
    } else if (c == '{') {
      const std::size_t close = text.find_first_of("{}", at + 1);
      if (close == std::string::npos || text[close] == '{') return name + " has an unmatched brace";
      const std::string placeholder = text.substr(at + 1, close - at - 1);
      const std::string written = "{" + placeholder + "}";
      if (allowed.count(placeholder) == 0) return name + " has an unknown placeholder " + written;
      if (!used.insert(placeholder).second) {
        return name + " uses the placeholder " + written + " more than once";
      }
      at = close;
    }
  }
  return {};
}

// An integer member's value, read from the number's own digits so that no conversion of the
// parser's can hide a wrap; nothing when it is no integer or out of range.
std::optional<std::int32_t> IntegerIn(const nlohmann::json& member, std::int64_t low,
                                      std::int64_t high) {
  if (!member.is_number_integer()) return std::nullopt;
  const std::string digits = member.dump();
  std::int64_t value = 0;
  const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
  if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
  if (value < low || value > high) return std::nullopt;
  return static_cast<std::int32_t>(value);
}

// The report of what follows the file's first value, an object, when anything but whitespace
// does. The object ends at the first closing brace whose prefix is a whole JSON text; lines
// and columns count from 1, a line ending at LF, a column counting bytes.
std::optional<std::string> TextAfterObject(const std::string& text) {
  if (nlohmann::json::accept(text)) return std::nullopt;
  std::size_t end = text.find('}');
  while (end != std::string::npos && !nlohmann::json::accept(text.substr(0, end + 1))) {
    end = text.find('}', end + 1);
  }
  if (end == std::string::npos) return "no end of the object found";  // fails the comparison
  std::size_t at = end + 1;
  while (at < text.size() && std::string_view(" \t\r\n").find(text[at]) != std::string::npos) ++at;
  std::size_t line = 1, column = 1;
  for (std::size_t i = 0; i < at; ++i) {
    if (text[i] == '\n') {
      ++line;
      column = 1;
    } else {
      ++column;
    }
  }
  return "text after the settings at line " + std::to_string(line) + ", column " +
         std::to_string(column) + " is ignored";
}

// Nothing when the loader must report the file as a whole: the first JSON value must be an
// object whose "SenderName", when present, is a string. Each optional member then stands on
// its own, in a fixed order.
std::optional<Outcome> ExpectedOutcome(const std::string& text) {
  std::istringstream stream(text);
  nlohmann::json document;
  try {
    stream >> document;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
  if (!document.is_object()) return std::nullopt;
  const auto name = document.find("SenderName");
  if (name != document.end() && !name->is_string()) return std::nullopt;

  Outcome outcome;
  outcome.Name = name == document.end() ? "Dice" : name->get<std::string>();
  auto& lines = outcome.Lines;
  lines.emplace_back(Level::info, "Rollmoot: Configuration loaded - SenderName: " + outcome.Name);
  if (const std::optional<std::string> after = TextAfterObject(text)) {
    lines.emplace_back(Level::err, "Rollmoot: Error loading config: " + *after);
  }
  // Per member: absent says nothing, wrong says so and keeps the default, a value other than
  // the default says what it is.
  const auto wrong = [&](const std::string& what) {
    lines.emplace_back(Level::err, "Rollmoot: Error loading config: " + what);
  };
  const auto info = [&](const std::string& what) {
    lines.emplace_back(Level::info, "Rollmoot: " + what);
  };
  const auto integer = [&](const char* key, std::int64_t low, std::int64_t high,
                           std::int32_t& value) {
    const auto member = document.find(key);
    if (member == document.end()) return false;
    const std::optional<std::int32_t> parsed = IntegerIn(*member, low, high);
    if (!parsed) {
      wrong(std::string(key) + " must be an integer from " + std::to_string(low) + " to " +
            std::to_string(high));
      return false;
    }
    value = *parsed;
    return true;
  };
  const auto boolean = [&](const char* key, bool& value) {
    const auto member = document.find(key);
    if (member == document.end()) return false;
    if (!member->is_boolean()) {
      wrong(std::string(key) + " must be true or false");
      return false;
    }
    value = member->get<bool>();
    return true;
  };
  RollSettings& read = outcome.Read;
  if (integer("CooldownSeconds", 0, 3600, read.CooldownSeconds) && read.CooldownSeconds != 0) {
    info("Cooldown: " + std::to_string(read.CooldownSeconds) + " s per player");
  }
  if (boolean("PrivateCommands", read.PrivateCommands) && read.PrivateCommands) {
    info("Private commands: /pd3 /pd4 /pd6 /pd8 /pd10 /pd12 /pd20");
  }
  if (boolean("LogRolls", read.LogRolls) && read.LogRolls) info("Roll log: on");
  if (integer("MaxDice", 1, 100, read.MaxDice) && read.MaxDice != 100) {
    info("Dice per command: at most " + std::to_string(read.MaxDice));
  }
  if (boolean("RollCommand", read.RollCommand) && read.RollCommand) info("Roll command: /roll");
  if (boolean("SecureRolls", read.SecureRolls) && read.SecureRolls) info("Secure rolls: on");
  if (boolean("AuditRolls", read.AuditRolls) && read.AuditRolls) info("Roll audit: on");
  if (boolean("AuditFile", read.AuditFile) && read.AuditFile && !read.AuditRolls) {
    wrong("AuditFile needs AuditRolls");
    read.AuditFile = false;
  }

  // Messages: the count of those taken, then each refusal in the byte order of the names.
  const auto messages = document.find("Messages");
  if (messages != document.end() && !messages->is_object()) wrong("Messages must be an object");
  if (messages != document.end() && messages->is_object()) {
    std::map<std::string, const nlohmann::json*> members;  // std::string orders bytes unsigned
    for (const auto& [key, value] : messages->items()) members[key] = &value;
    std::vector<std::string> refused;
    for (const auto& [key, value] : members) {
      if (MessagePlaceholders().count(key) == 0) {
        refused.push_back(key + " is not a message of this plugin");
      } else if (!value->is_string()) {
        refused.push_back(key + " must be a string of at most 200 characters");
      } else if (std::string why = MessageProblem(key, value->get<std::string>()); !why.empty()) {
        refused.push_back(why);
      } else {
        outcome.Taken.insert(key);
      }
    }
    if (!outcome.Taken.empty()) {
      info("Messages: " + std::to_string(outcome.Taken.size()) + " customised");
    }
    for (const std::string& why : refused) wrong("Messages." + why);
  }
  return outcome;
}

}  // namespace

std::string CheckConfigFile(const std::uint8_t* data, std::size_t size) {
  Fixture& fixture = GetFixture();
  const std::string text(reinterpret_cast<const char*>(data), size);
  {
    std::ofstream out(fixture.File, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
  }
  simhost::SetServerDir(fixture.Root.string());
  auto sink = std::make_shared<simhost::RecordingSink>();
  fixture.Log->sinks().assign({sink});
  PluginLogHolder() = fixture.Log;
  const WideString defaultTag = HOST_TEXT("[Dice]");
  SenderTag = defaultTag;
  // As an earlier load might have left them: this load must start from the defaults.
  Settings = RollSettings{1, true, true, 1, true, true, true};
  for (std::size_t i = 0; i < MessageCount; ++i) {
    Messages[i] = DefaultMessages[(i + 1) % MessageCount];
  }

  const simhost::MemoryStats before = simhost::Memory();
  LoadConfig();
  const simhost::MemoryStats after = simhost::Memory();
  PluginLogHolder().reset();
  // Back to module-load state, so a replay in the same process leaves later checks alone.
  const RollSettings loaded = Settings;
  Settings = RollSettings{};
  // The members left at their default; the rest must be what the file took.
  std::set<std::string> notDefault;
  for (std::size_t i = 0; i < MessageCount; ++i) {
    if (!(Messages[i] == DefaultMessages[i])) notDefault.emplace(MessageNames[i]);
  }
  // A private line not taken must be its public twin's, whatever that is.
  const auto message = [&](MessageId id) { return Messages[static_cast<std::size_t>(id)]; };
  const bool privateRollFollows = message(MessageId::PrivateRoll) == message(MessageId::Roll);
  const bool privateRollManyFollows =
      message(MessageId::PrivateRollMany) == message(MessageId::RollMany);
  Messages = DefaultMessages;

  if (after.Blocks != before.Blocks || after.Bytes != before.Bytes) {
    return "host blocks left outstanding";
  }
  if (after.BadFrees != before.BadFrees) return "double or foreign free";
  if (ReadAll(fixture.File) != text) return "config.json was rewritten";

  const auto entries = sink->Entries();
  if (const std::optional<Outcome> outcome = ExpectedOutcome(text)) {
    if (entries.size() != outcome->Lines.size()) return "wrong number of log lines";
    for (std::size_t i = 0; i < entries.size(); ++i) {
      if (entries[i].Level != outcome->Lines[i].first) return "log line at the wrong level";
      if (entries[i].Message != outcome->Lines[i].second) return "wrong log line";
    }
    if (SenderTag != utf::Utf8ToWide("[" + outcome->Name + "]")) return "label is not [name]";
    if (!(loaded == outcome->Read)) return "settings differ from the file";
    const auto follows = [&](const std::string& name) {
      return (name == "PrivateRoll" && privateRollFollows) ||
             (name == "PrivateRollMany" && privateRollManyFollows);
    };
    for (const std::string& name : notDefault) {
      if (outcome->Taken.count(name) == 0 && !follows(name)) {
        return "a message not taken is not its default";
      }
    }
    for (const std::string name : {"PrivateRoll", "PrivateRollMany"}) {
      if (outcome->Taken.count(name) == 0 && !follows(name)) {
        return "a private line not taken is not its public twin's";
      }
    }
    return {};
  }
  if (entries.size() != 1) return "not exactly one log line for a failed load";
  const auto& entry = entries.front();
  if (entry.Level != spdlog::level::err) return "invalid file logged as a success";
  if (entry.Message.rfind("Rollmoot: Error loading config: ", 0) != 0) return "wrong error line";
  if (SenderTag != defaultTag) return "label changed by a failed load";
  if (!(loaded == RollSettings{})) return "a setting is on after a failed load";
  if (!notDefault.empty()) return "a message is not its default after a failed load";
  return {};
}

}  // namespace fuzz
