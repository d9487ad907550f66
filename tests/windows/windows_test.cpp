// What only the Windows build can show, with the real Rollmoot.dll loaded from disk: text
// files with CR LF, backslash paths, Windows error codes on file-status queries, the
// module's own path as Windows reports it (also beyond MAX_PATH), host exceptions crossing
// three modules (AsaApi.dll, Rollmoot.dll, this program), and the DLL's version resource.
#define NOMINMAX  // std::numeric_limits<T>::max() in the headers below, not a macro
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "config/config.h"
#include "host_fixture.h"
#include "simhost/plugin_module.h"
#include "temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Level = spdlog::level::level_enum;

// The module beside this program, where the build puts both.
fs::path BuiltModule() {
  std::wstring self(32768, L'\0');  // the longest path Windows has
  self.resize(GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
  return fs::path(self).parent_path() / "Rollmoot.dll";
}

class WindowsTest : public HostTest {
 protected:
  void TearDown() override {
    module_.reset();
    HostTest::TearDown();
  }
  void Load(const fs::path& path) {
    std::string error;
    module_ = simhost::PluginModule::Load(utf::WideToUtf8(path.wstring()), error);
    ASSERT_NE(module_, nullptr) << error;
  }
  // The lines logged since the first `from` ones.
  std::vector<std::pair<Level, std::string>> Logged(std::size_t from = 0) {
    std::vector<std::pair<Level, std::string>> lines;
    const auto entries = sink_->Entries();
    for (std::size_t i = from; i < entries.size(); ++i) {
      lines.emplace_back(entries[i].Level, entries[i].Message);
    }
    return lines;
  }

  TempDir server_;
  std::unique_ptr<simhost::PluginModule> module_;
};

const std::pair<Level, std::string> NotFound{
    Level::info, "Rollmoot: config.json not found, creating default configuration..."};

TEST(WindowsPaths, ConfigPathJoinsTheServerDirectoryWithBackslashes) {
  simhost::SetServerDir("C:\\srv");
  EXPECT_EQ(ConfigPath(), "C:\\srv\\ArkApi\\Plugins\\Rollmoot\\config.json");
  simhost::SetServerDir("\\\\host\\share\\game");  // a network share, used as given
  EXPECT_EQ(ConfigPath(), "\\\\host\\share\\game\\ArkApi\\Plugins\\Rollmoot\\config.json");
}

TEST_F(WindowsTest, DefaultConfigIsWrittenInTextModeAndReadBack) {
  simhost::SetServerDir(server_.String());
  server_.PluginFolder();
  ASSERT_NO_FATAL_FAILURE(Load(BuiltModule()));
  module_->Init();
  EXPECT_EQ(server_.ReadConfig(), "{\r\n  \"SenderName\": \"Dice\"\r\n}");
  EXPECT_EQ(fs::file_size(server_.ConfigFile()), 28u);
  module_->Unload();
  module_.reset();

  // The next start reads the CR LF file as any other.
  const std::size_t before = sink_->Entries().size();
  ASSERT_NO_FATAL_FAILURE(Load(BuiltModule()));
  module_->Init();
  EXPECT_EQ(Logged(before),
            (std::vector<std::pair<Level, std::string>>{
                {Level::info, "Rollmoot: Configuration loaded - SenderName: Dice"}}));
  module_->Unload();
}

// Each case: what the server directory holds, and the lines the start-up logs.
TEST_F(WindowsTest, ConfigFailuresAreLoggedAndStartUpGoesOn) {
  const std::pair<Level, std::string> CannotCreate{Level::err,
                                                   "Rollmoot: Failed to create config.json"};
  const std::pair<Level, std::string> CannotRead{
      Level::err, "Rollmoot: Failed to open config.json for reading"};
  struct Case {
    const char* name;
    std::string serverDir;
    bool pluginFolder;
    bool configIsFolder;
    std::vector<std::pair<Level, std::string>> lines;
  };
  const std::vector<Case> cases = {
      {"no plugin folder", server_.String(), false, false, {NotFound, CannotCreate}},
      {"config.json is a folder", server_.String(), true, true, {CannotRead}},
      // ERROR_INVALID_NAME (123) counts as "not found"; the write then fails.
      {"invalid name", server_.String() + "\\bad<name>", false, false, {NotFound, CannotCreate}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::size_t before = sink_->Entries().size();
    simhost::SetServerDir(c.serverDir);
    if (c.pluginFolder) server_.PluginFolder();
    if (c.configIsFolder) fs::create_directory(server_.ConfigFile());
    ASSERT_NO_FATAL_FAILURE(Load(BuiltModule()));
    module_->Init();
    EXPECT_EQ(Logged(before), c.lines);
    EXPECT_EQ(simhost::RegisteredCommands().size(), 7u);  // start-up went on
    module_->Unload();
    module_.reset();
    fs::remove_all(server_.Path() / "ArkApi");
  }
  EXPECT_FALSE(fs::exists(server_.Path() / "ArkApi"));
}

// With SecureRolls, the DLL draws from the system's generator (bcrypt.dll): every die of a
// fixed command and of /roll comes out, each a face of its die.
TEST_F(WindowsTest, SecureRollsRollEveryCommand) {
  simhost::SetServerDir(server_.String());
  server_.PluginFolder();
  server_.WriteConfig(R"({"SenderName": "Dice", "RollCommand": true, "SecureRolls": true})");
  ASSERT_NO_FATAL_FAILURE(Load(BuiltModule()));
  module_->Init();
  EXPECT_EQ(Logged().back(),
            (std::pair<Level, std::string>{Level::info, "Rollmoot: Secure rolls: on"}));
  const auto ann = Join("Ann");
  ASSERT_TRUE(Say(ann, "/d20 100"));
  ASSERT_TRUE(Say(ann, "/roll 3d1000"));
  const std::vector<std::string> lines = Told(ann);
  ASSERT_EQ(lines.size(), 2u);
  const std::regex number(R"(\d+)");
  const auto faces = [&](const std::string& line, int sides) {
    std::vector<int> values;
    const std::string shown = line.substr(line.find("got: ") + 5);
    for (auto it = std::sregex_iterator(shown.begin(), shown.end(), number);
         it != std::sregex_iterator(); ++it) {
      values.push_back(std::stoi(it->str()));
    }
    values.pop_back();  // the total
    for (int value : values) EXPECT_TRUE(value >= 1 && value <= sides) << line;
    return values.size();
  };
  EXPECT_EQ(faces(lines[0], 20), 100u) << lines[0];
  EXPECT_EQ(faces(lines[1], 1000), 3u) << lines[1];
  module_->Unload();
}

// The loader may report a module loaded by its extended-length name with or without "\\?\".
std::string WithoutPrefix(const std::string& path) {
  return path.rfind("\\\\?\\", 0) == 0 ? path.substr(4) : path;
}

// The relay is asked with the path Windows reports for the loaded module, whole even past
// MAX_PATH (the handler's 260-unit buffer has to grow) and with non-ASCII folder names.
TEST_F(WindowsTest, RelayIsAskedWithTheModulesOwnPath) {
  // Beyond MAX_PATH, Windows wants the extended-length form for loading and file work.
  const fs::path root = L"\\\\?\\" + server_.Path().wstring();
  fs::path deep = root / L"W\u00fcrfel \U0001F3B2";
  while (deep.native().size() < 300) deep /= "a-folder-name-of-forty-characters-length";
  fs::create_directories(deep);
  fs::copy_file(BuiltModule(), deep / "Rollmoot.dll");

  for (const fs::path& module : {BuiltModule(), deep / "Rollmoot.dll"}) {
    const std::string loaded = utf::WideToUtf8(module.wstring());
    SCOPED_TRACE(loaded);
    simhost::Reset();
    simhost::SetServerDir(server_.String());
    ASSERT_NO_FATAL_FAILURE(Load(module));
    module_->Init();
    const auto nomad = Join("Nomad");
    const auto ann = Join("Ann");
    const auto bob = Join("Bob");
    simhost::Leave(bob);
    ASSERT_TRUE(Say(nomad, "/d6 3"));
    ASSERT_EQ(simhost::RelayRequests().size(), 1u);
    EXPECT_EQ(WithoutPrefix(utf::WideToUtf8(simhost::RelayRequests()[0])), WithoutPrefix(loaded));
    // Every live player, and only they, got the one line.
    const std::regex line(R"(Nomad rolled 3d6 and got: [1-6], [1-6], [1-6] \(Total: \d+\))");
    for (const auto who : {nomad, ann}) {
      ASSERT_EQ(Told(who).size(), 1u);
      EXPECT_TRUE(std::regex_match(Told(who)[0], line)) << Told(who)[0];
      EXPECT_EQ(Senders(who), std::vector<std::string>{"[Dice]"});
    }
    EXPECT_TRUE(Told(bob).empty());
    module_->Unload();
    module_.reset();
  }
  std::error_code ignored;  // whatever is left, the temporary folder's own clean-up retries
  fs::remove_all(root, ignored);
}

// Thrown in AsaApi.dll, through Plugin_Init or Plugin_Unload in Rollmoot.dll, caught here:
// each module carries its own copy of the runtime, so this is not a given.
TEST_F(WindowsTest, HostExceptionsReachTheCallerThroughThePlugin) {
  simhost::SetServerDir(server_.String());
  server_.PluginFolder();
  ASSERT_NO_FATAL_FAILURE(Load(BuiltModule()));

  simhost::FaultPlan plan;
  plan.ThrowRegisterAt = 3;
  simhost::SetFaults(plan);
  try {
    module_->Init();
    ADD_FAILURE() << "Plugin_Init returned";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "simulated registry failure");
  }
  EXPECT_EQ(simhost::RegisteredCommands().size(), 2u);

  plan = {};
  plan.ThrowUnregisterAt = 1;
  simhost::SetFaults(plan);
  EXPECT_THROW(module_->Unload(), std::runtime_error);
  EXPECT_EQ(simhost::RegisteredCommands().size(), 2u);  // the first removal never happened
  simhost::SetFaults({});
  module_->Unload();  // the host must not keep callbacks into a module about to go
  EXPECT_TRUE(simhost::RegisteredCommands().empty());
}

// What the server's operator sees in the DLL's properties, read the way Windows reads it.
TEST(WindowsModule, PropertiesShowTheProjectVersion) {
  const std::wstring path = BuiltModule().wstring();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(path.c_str(), &ignored);
  ASSERT_NE(size, 0u) << "no version resource";
  std::vector<char> info(size);
  ASSERT_TRUE(GetFileVersionInfoW(path.c_str(), 0, size, info.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  EXPECT_EQ(fixed->dwFileVersionMS, (ROLLMOOT_VERSION_MAJOR << 16) | ROLLMOOT_VERSION_MINOR);
  EXPECT_EQ(fixed->dwFileVersionLS, static_cast<DWORD>(ROLLMOOT_VERSION_PATCH << 16));
  EXPECT_EQ(fixed->dwProductVersionMS, fixed->dwFileVersionMS);
  EXPECT_EQ(fixed->dwFileType, static_cast<DWORD>(VFT_DLL));

  const std::pair<const wchar_t*, std::wstring> strings[] = {
      {L"FileVersion", utf::Utf8ToWide(ROLLMOOT_VERSION)},
      {L"ProductVersion", utf::Utf8ToWide(ROLLMOOT_VERSION)},
      {L"ProductName", L"Rollmoot"},
      {L"OriginalFilename", L"Rollmoot.dll"},
      {L"FileDescription", L"Rollmoot: Dice rolls for game server chat"},
  };
  for (const auto& [key, expected] : strings) {
    const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
    wchar_t* value = nullptr;
    ASSERT_TRUE(
        VerQueryValueW(info.data(), query.c_str(), reinterpret_cast<void**>(&value), &length))
        << utf::WideToUtf8(key);
    EXPECT_EQ(std::wstring(value), expected) << utf::WideToUtf8(key);
  }
}

}  // namespace
