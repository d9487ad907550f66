// The real module, loaded from disk into the simulated host as the game server loads it.
#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <stdexcept>
#include <string>
#include <vector>

#include "host_fixture.h"
#include "simhost/plugin_module.h"
#include "temp_dir.h"

namespace {

const char* const Commands[] = {"/d3", "/d4", "/d6", "/d8", "/d10", "/d12", "/d20"};

class PluginTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    simhost::SetServerDir(server_.String());
    server_.PluginFolder();
  }
  void TearDown() override {
    module_.reset();
    HostTest::TearDown();
  }

  void Load() {
    std::string error;
    module_ = simhost::PluginModule::Load(ROLLMOOT_MODULE_PATH, error);
    ASSERT_NE(module_, nullptr) << error;
  }
  void Start() {
    Load();
    module_->Init();
  }
  void Stop() {
    module_->Unload();
    module_.reset();
  }

  std::vector<std::string> Calls(simhost::Registry kind) {
    std::vector<std::string> texts;
    for (const auto& call : simhost::RegistryLog()) {
      if (call.Kind == kind) texts.push_back(utf::WideToUtf8(call.Command));
    }
    return texts;
  }

  TempDir server_;
  std::unique_ptr<simhost::PluginModule> module_;
};

const std::vector<std::string> TableOrder(std::begin(Commands), std::end(Commands));

std::vector<std::string> Plus(std::vector<std::string> commands, const std::string& more) {
  commands.push_back(more);
  return commands;
}

TEST_F(PluginTest, RegistersSevenCommandsInOrderAndRemovesThemInTheSameOrder) {
  Start();
  EXPECT_EQ(Calls(simhost::Registry::Register), TableOrder);
  EXPECT_EQ(simhost::RegisteredCommands().size(), 7u);
  Stop();
  EXPECT_EQ(Calls(simhost::Registry::Unregister), TableOrder);
  EXPECT_TRUE(simhost::RegisteredCommands().empty());
  EXPECT_EQ(LogMessages().back(), "Rollmoot: Plugin unloaded");
  EXPECT_EQ(sink_->Entries().back().Level, spdlog::level::info);
}

// Commands may be called as soon as they are registered, so the configuration comes first:
// every start-up line is written before the registry hears of any command.
TEST_F(PluginTest, ConfigurationIsLoadedBeforeAnyCommandIsRegistered) {
  std::vector<std::size_t> registryCallsAtLine;
  GetLogSinks().push_back(std::make_shared<simhost::RecordingSink>(
      [&](const auto&) { registryCallsAtLine.push_back(simhost::RegistryLog().size()); }));
  Start();
  EXPECT_EQ(registryCallsAtLine, std::vector<std::size_t>(3, 0)) << "lines of a first start";
  Stop();
}

// Private commands come after the seven and /roll after every other, in the same order both
// ways; without the members (or with false) nothing but the seven is registered.
TEST_F(PluginTest, OptionalCommandsAreRegisteredAfterThePublicOnesWhenSwitchedOn) {
  const std::vector<std::string> both = {"/d3",  "/d4",  "/d6",  "/d8",  "/d10",  "/d12",  "/d20",
                                         "/pd3", "/pd4", "/pd6", "/pd8", "/pd10", "/pd12", "/pd20"};
  for (const auto& [config, expected] :
       std::vector<std::pair<std::string, std::vector<std::string>>>{
           {R"({"PrivateCommands": true})", both},
           {R"({"PrivateCommands": false})", TableOrder},
           {R"({"PrivateCommands": 1})", TableOrder},
           {R"({"RollCommand": true, "PrivateCommands": true})", Plus(both, "/roll")},
           {R"({"RollCommand": true})", Plus(TableOrder, "/roll")},
           {R"({"RollCommand": false})", TableOrder},
           {R"({"AuditRolls": true, "RollCommand": true, "PrivateCommands": true})",
            Plus(Plus(both, "/roll"), "/dicekey")},
           {R"({"AuditRolls": true, "AuditFile": true})", Plus(TableOrder, "/dicekey")},
           {R"({"AuditRolls": false})", TableOrder}}) {
    server_.WriteConfig(config);
    Start();
    EXPECT_EQ(Calls(simhost::Registry::Register), expected) << config;
    Stop();
    EXPECT_EQ(Calls(simhost::Registry::Unregister), expected) << config;
    simhost::Reset();
  }
}

// The audit file's folder and day file appear beside config.json only when AuditFile is on;
// its line comes right after the commitment, and the file holds the load's audit lines.
TEST_F(PluginTest, AuditFileIsWrittenBesideTheConfigurationOnlyWhenSwitchedOn) {
  const std::filesystem::path folder = server_.PluginFolder() / "audit";
  const std::regex commitment("Rollmoot: Roll audit: commitment ([0-9a-f]{64})");
  for (const bool on : {false, true}) {
    SCOPED_TRACE(on);
    std::filesystem::remove_all(folder);
    server_.WriteConfig(on ? R"({"AuditRolls": true, "AuditFile": true})"
                           : R"({"AuditRolls": true})");
    const auto ann = Join("Ann");
    const std::size_t mark = LogMessages().size();
    Start();
    simhost::Say(ann, HOST_TEXT("/d6"));
    Stop();
    const std::vector<std::string> all = LogMessages();
    const std::vector<std::string> log(all.begin() + static_cast<std::ptrdiff_t>(mark), all.end());
    ASSERT_GE(log.size(), 4u);
    std::smatch committed;
    ASSERT_TRUE(std::regex_match(log[2], committed, commitment)) << log[2];
    if (!on) {
      EXPECT_FALSE(std::filesystem::exists(folder));
      EXPECT_EQ(log[3].rfind("Rollmoot: Roll audit: #1 \"Ann\" d6:", 0), 0u) << log[3];
      simhost::Reset();
      continue;
    }
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) files.push_back(entry);
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(files[0].filename().string(),
                                 std::regex(R"(rolls-\d{4}-\d{2}-\d{2}\.txt)")));
    EXPECT_EQ(log[3], "Rollmoot: Roll audit file: " + files[0].string());
    std::ifstream in(files[0], std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(content.find("Z commitment " + committed[1].str()), std::string::npos) << content;
    simhost::Reset();
  }
}

// A reload starts from the file again: a cooldown of the last load is gone, even when the
// host calls Plugin_Init again without unloading the module.
TEST_F(PluginTest, AReloadForgetsEveryCooldown) {
  server_.WriteConfig(R"({"CooldownSeconds": 3600})");
  const auto ann = Join("Ann");
  Start();
  simhost::Say(ann, HOST_TEXT("/d6"));
  simhost::Say(ann, HOST_TEXT("/d6"));
  module_->Unload();
  module_->Init();
  simhost::Say(ann, HOST_TEXT("/d6"));
  Stop();
  const auto lines = Told(ann);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "Wait 3600 s before rolling again");
  EXPECT_EQ(lines[2].rfind("Ann rolled 1d6 and got: ", 0), 0u) << lines[2];
}

TEST_F(PluginTest, EveryCommandRollsItsOwnDie) {
  Start();
  const auto ann = Join("Ann");
  const std::regex shape(R"(^Ann rolled 1d(\d+) and got: (\d+)$)");
  for (const char* command : Commands) {
    simhost::ClearInboxes();
    // The host's two integers mean nothing to a roll.
    ASSERT_TRUE(simhost::Say(ann, utf::Utf8ToWide(command), 7, -3));
    const auto lines = Told(ann);
    ASSERT_EQ(lines.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, shape)) << lines[0];
    EXPECT_EQ("/d" + match[1].str(), command);
    EXPECT_LE(std::stoi(match[2]), std::stoi(match[1]));
  }
  Stop();
}

TEST_F(PluginTest, RefusedRegistrationsAreStillOfferedForRemoval) {
  simhost::FaultPlan plan;
  plan.RefuseRegisterAt = 2;
  simhost::SetFaults(plan);
  Start();
  EXPECT_EQ(simhost::RegisteredCommands().size(), 6u);
  Stop();
  EXPECT_EQ(Calls(simhost::Registry::Unregister), TableOrder);
}

TEST_F(PluginTest, ARegistryThrowStopsTheLaterRowsAndReachesTheHost) {
  simhost::FaultPlan plan;
  plan.ThrowRegisterAt = 4;  // "/d8"
  simhost::SetFaults(plan);
  Load();
  EXPECT_THROW(module_->Init(), std::runtime_error);
  EXPECT_EQ(Calls(simhost::Registry::Register),
            (std::vector<std::string>{"/d3", "/d4", "/d6", "/d8"}));
  EXPECT_EQ(simhost::RegisteredCommands().size(), 3u);
  Stop();
}

TEST_F(PluginTest, ConfigurationTroubleDoesNotStopStartUp) {
  std::filesystem::remove_all(server_.Path() / "ArkApi");
  Start();
  EXPECT_EQ(simhost::RegisteredCommands().size(), 7u);
  const auto ann = Join("Ann");
  simhost::Say(ann, HOST_TEXT("/d6"));
  EXPECT_EQ(Senders(ann), std::vector<std::string>{"[Dice]"});
  Stop();
}

// "12/07/26 14:05 [Rollmoot][info] Rollmoot: ..." in local time, flushed line by line.
TEST_F(PluginTest, LinesFollowThePatternAndAreFlushedAtOnce) {
  // Each line bears a minute between these two, however long the machine takes in between.
  const std::time_t before = std::time(nullptr);
  Start();
  Stop();
  const std::time_t after = std::time(nullptr);
  const auto entries = sink_->Entries();
  ASSERT_EQ(entries.size(), 4u);  // not found, created, loaded, unloaded
  const std::regex shape(R"(^(\d\d/\d\d/\d\d \d\d:\d\d) \[Rollmoot\]\[info\] Rollmoot: .*$)");
  std::vector<std::string> minutes;
  for (std::time_t at = before - before % 60; at <= after; at += 60) {
    char minute[32];
    std::strftime(minute, sizeof minute, "%m/%d/%y %H:%M", std::localtime(&at));
    minutes.emplace_back(minute);
  }
  for (const auto& entry : entries) {
    std::smatch match;
    ASSERT_TRUE(std::regex_match(entry.Line, match, shape)) << entry.Line;
    EXPECT_NE(std::find(minutes.begin(), minutes.end(), match[1].str()), minutes.end())
        << entry.Line;
  }
  EXPECT_EQ(sink_->FlushedLines(), entries.size());
  EXPECT_GE(sink_->Flushes(), 4);
}

TEST_F(PluginTest, ErrorLinesCarryTheErrorLevelName) {
  std::filesystem::remove_all(server_.Path() / "ArkApi");
  Start();
  const auto entries = sink_->Entries();
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_NE(entries[1].Line.find(" [Rollmoot][error] Rollmoot: Failed to create config.json"),
            std::string::npos)
      << entries[1].Line;
  Stop();
}

TEST_F(PluginTest, ASinkAddedLaterHearsNothing) {
  Start();
  auto late = std::make_shared<simhost::RecordingSink>();
  GetLogSinks().push_back(late);
  Stop();
  EXPECT_TRUE(late->Entries().empty());
  EXPECT_EQ(LogMessages().back(), "Rollmoot: Plugin unloaded");
}

TEST_F(PluginTest, SecondInitReplacesTheLogger) {
  Start();
  auto second = std::make_shared<simhost::RecordingSink>();
  GetLogSinks() = {second};
  module_->Init();  // without an unload in between
  EXPECT_EQ(sink_.use_count(), 1) << "the first logger, and its hold on the old sink, is gone";
  module_->Unload();
  EXPECT_EQ(second->Entries().back().Message, "Rollmoot: Plugin unloaded");
  module_->Unload();
  module_.reset();
}

TEST_F(PluginTest, EmptySinkListWorks) {
  GetLogSinks().clear();
  server_.WriteConfig(R"({"SenderName": "GM"})");
  Start();
  EXPECT_EQ(simhost::RegisteredCommands().size(), 7u);
  const auto ann = Join("Ann");
  simhost::Say(ann, HOST_TEXT("/d6"));
  EXPECT_EQ(Senders(ann), std::vector<std::string>{"[GM]"});
  Stop();
  EXPECT_TRUE(sink_->Entries().empty());
}

TEST_F(PluginTest, ModuleUnloadDropsThePluginsHoldOnTheSinks) {
  Start();
  EXPECT_GT(sink_.use_count(), 2);  // host list, this test, the plugin's logger
  Stop();
  EXPECT_EQ(sink_.use_count(), 2);
}

TEST_F(PluginTest, UnloadWithoutInitSkipsTheLine) {
  Load();
  module_->Unload();
  EXPECT_TRUE(sink_->Entries().empty());
  EXPECT_EQ(Calls(simhost::Registry::Unregister), TableOrder);
  module_.reset();
}

TEST_F(PluginTest, AReloadedModuleStartsOver) {
  server_.WriteConfig(R"({"SenderName": "GM"})");
  Start();
  const auto ann = Join("Ann");
  simhost::Say(ann, HOST_TEXT("/d20 10"));
  Stop();
  // No configuration can be read now; a fresh module keeps its own initial label.
  std::filesystem::remove_all(server_.Path() / "ArkApi");
  Start();
  simhost::Say(ann, HOST_TEXT("/d20 10"));
  Stop();
  const auto lines = Told(ann);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(Senders(ann), (std::vector<std::string>{"[GM]", "[Dice]"}));
  EXPECT_NE(lines[0], lines[1]) << "a reseeded engine repeats ten d20 with odds 1 in 20^10";
}

// The relay is asked with the module's own full path, however the module was loaded: by a
// relative name (resolved where the loader stood, not where the process stands at the roll),
// from folders beyond the usual length limit, or with names beyond ASCII.
TEST_F(PluginTest, RelaySeesTheModulesFullPathHoweverItWasLoaded) {
  struct Case {
    std::filesystem::path folder;
    bool relative;
  };
  std::filesystem::path deep;
  for (int i = 0; i < 6; ++i) deep /= std::string(60, static_cast<char>('a' + i));
  const std::vector<Case> cases{{"plain", false},
                                {"plain", true},
                                {deep, false},
                                {simhost::Utf8Path("Björn 🎲"), false},
                                {simhost::Utf8Path("Zoë"), true}};
  const auto before = std::filesystem::current_path();
  for (const Case& c : cases) {
    const auto folder = server_.PluginFolder() / c.folder;
    std::filesystem::create_directories(folder);
    const auto name = std::filesystem::path(ROLLMOOT_MODULE_PATH).filename();
    std::filesystem::copy_file(ROLLMOOT_MODULE_PATH, folder / name,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::current_path(folder);
    std::string error;
    module_ =
        simhost::PluginModule::Load(simhost::PathText(c.relative ? name : folder / name), error);
    std::filesystem::current_path(before);
    ASSERT_NE(module_, nullptr) << error;

    module_->Init();
    simhost::Say(Join("Ann"), HOST_TEXT("/d6"));
    Stop();
    ASSERT_EQ(simhost::RelayRequests().size(), 1u) << simhost::PathText(c.folder);
    EXPECT_EQ(utf::WideToUtf8(simhost::RelayRequests()[0]), simhost::PathText(folder / name));
    simhost::Reset();
    simhost::SetServerDir(server_.String());
  }
}

TEST_F(PluginTest, TwoHundredCyclesLeaveNothingBehind) {
  const auto ann = Join("Ann");
  for (int cycle = 0; cycle < 200; ++cycle) {
    Start();
    simhost::Say(ann, HOST_TEXT("/d6 3"));
    Stop();
  }
  EXPECT_EQ(Told(ann).size(), 200u);
  // The fixture checks the books: zero outstanding host blocks.
}

}  // namespace
