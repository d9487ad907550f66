#include "fuzz/harness/config_harness.h"

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <random>
#include <sstream>

#include "config/config.h"
#include "dice/roll_command.h"
#include "host/utf.h"
#include "plugin/log.h"
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

// The name a sound loader reads from this text, or nothing when it must report an error:
// the first JSON value must be an object whose "SenderName", when present, is a string.
std::optional<std::string> ExpectedName(const std::string& text) {
  std::istringstream stream(text);
  nlohmann::json document;
  try {
    stream >> document;
  } catch (const nlohmann::json::exception&) {
    return std::nullopt;
  }
  if (!document.is_object()) return std::nullopt;
  const auto member = document.find("SenderName");
  if (member == document.end()) return std::string("Dice");
  if (!member->is_string()) return std::nullopt;
  return member->get<std::string>();
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

  const simhost::MemoryStats before = simhost::Memory();
  LoadConfig();
  const simhost::MemoryStats after = simhost::Memory();
  PluginLogHolder().reset();

  if (after.Blocks != before.Blocks || after.Bytes != before.Bytes) {
    return "host blocks left outstanding";
  }
  if (after.BadFrees != before.BadFrees) return "double or foreign free";
  if (ReadAll(fixture.File) != text) return "config.json was rewritten";

  const auto entries = sink->Entries();
  if (entries.size() != 1) return "not exactly one log line";
  const auto& entry = entries.front();
  const std::optional<std::string> name = ExpectedName(text);
  if (name) {
    if (entry.Level != spdlog::level::info) return "valid file logged as a failure";
    if (entry.Message != "Rollmoot: Configuration loaded - SenderName: " + *name) {
      return "wrong success line";
    }
    if (SenderTag != utf::Utf8ToWide("[" + *name + "]")) return "label is not [name]";
    return {};
  }
  if (entry.Level != spdlog::level::err) return "invalid file logged as a success";
  if (entry.Message.rfind("Rollmoot: Error loading config: ", 0) != 0) return "wrong error line";
  if (SenderTag != defaultTag) return "label changed by a failed load";
  return {};
}

}  // namespace fuzz
