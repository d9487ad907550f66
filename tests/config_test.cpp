#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "config/config.h"
#include "dice/roll_command.h"
#include "host_fixture.h"
#include "plugin/log.h"
#include "temp_dir.h"

namespace {

using Level = spdlog::level::level_enum;

struct LogLine {
  Level level;
  std::string text;
  bool operator==(const LogLine&) const = default;
};
std::ostream& operator<<(std::ostream& out, const LogLine& line) {
  return out << spdlog::level::to_string_view(line.level).data() << ": " << line.text;
}

class ConfigTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    simhost::SetServerDir(server_.String());
    CreatePluginLog(PluginLogHolder(), "Rollmoot");
    SenderTag = HOST_TEXT("[Dice]");
  }
  void TearDown() override {
    PluginLogHolder().reset();
    HostTest::TearDown();
  }
  std::vector<LogLine> Logged() {
    std::vector<LogLine> lines;
    for (const auto& entry : sink_->Entries()) lines.push_back({entry.Level, entry.Message});
    return lines;
  }
  std::string Label() const { return utf::WideToUtf8(SenderTag); }

  TempDir server_;
};

const LogLine NotFound{Level::info,
                       "Rollmoot: config.json not found, creating default configuration..."};
const LogLine Created{Level::info, "Rollmoot: Default config.json created"};
LogLine Loaded(const std::string& name) {
  return {Level::info, "Rollmoot: Configuration loaded - SenderName: " + name};
}
LogLine Failed(const std::string& what) {
  return {Level::err, "Rollmoot: Error loading config: " + what};
}

TEST_F(ConfigTest, FirstStartWritesTheDefaultFile) {
  server_.PluginFolder();
  LoadConfig();
#if defined(_WIN32)
  // Text mode: Windows stores every line end as CR LF, 28 bytes in all.
  EXPECT_EQ(server_.ReadConfig(), "{\r\n  \"SenderName\": \"Dice\"\r\n}");
#else
  EXPECT_EQ(server_.ReadConfig(), "{\n  \"SenderName\": \"Dice\"\n}");
#endif
  EXPECT_EQ(Label(), "[Dice]");
  EXPECT_EQ(Logged(), (std::vector<LogLine>{NotFound, Created, Loaded("Dice")}));
}

TEST_F(ConfigTest, DefaultDocument) {
  EXPECT_EQ(MakeDefaultConfig().dump(2), "{\n  \"SenderName\": \"Dice\"\n}");
  EXPECT_EQ(MakeDefaultConfig().size(), 1u);
}

TEST_F(ConfigTest, PathIsBuiltFromTheServerDirectory) {
  simhost::SetServerDir("/srv/game");
#if defined(_WIN32)
  EXPECT_EQ(ConfigPath(), "/srv/game\\ArkApi\\Plugins\\Rollmoot\\config.json");
#else
  EXPECT_EQ(ConfigPath(), "/srv/game/ArkApi/Plugins/Rollmoot/config.json");
#endif
}

// Each existing file: the label it gives (or keeps) and the one line it logs.
TEST_F(ConfigTest, ExistingFiles) {
  const std::string typeMustBeString =
      "[json.exception.type_error.302] type must be string, but is ";
  const std::string cannotUseValue = "[json.exception.type_error.306] cannot use value() with ";
  struct Case {
    std::string content;
    std::string label;
    LogLine line;
  };
  const std::vector<Case> cases{
      {R"({"SenderName": "GM"})", "[GM]", Loaded("GM")},
      {R"({"Other": 1})", "[Dice]", Loaded("Dice")},
      {R"({"sendername": "GM"})", "[Dice]", Loaded("Dice")},
      {R"({"SenderName": ""})", "[]", Loaded("")},
      {R"({"SenderName": "a] b"})", "[a] b]", Loaded("a] b")},
      {R"({"SenderName": "{} {0}"})", "[{} {0}]", Loaded("{} {0}")},
      {R"({"SenderName": "A", "SenderName": "B"})", "[B]", Loaded("B")},
      {R"({"SenderName": "GM"} {"SenderName": "X"} trailing)", "[GM]", Loaded("GM")},
      {"\xEF\xBB\xBF{\"SenderName\": \"BOM\"}", "[BOM]", Loaded("BOM")},
      {"{\"SenderName\": \"Zo\xC3\xAB \xF0\x9F\x8E\xB2\"}", "[Zo\xC3\xAB \xF0\x9F\x8E\xB2]",
       Loaded("Zo\xC3\xAB \xF0\x9F\x8E\xB2")},
      {R"({"SenderName": 5})", "[Dice]", Failed(typeMustBeString + "number")},
      {R"({"SenderName": true})", "[Dice]", Failed(typeMustBeString + "boolean")},
      {R"({"SenderName": null})", "[Dice]", Failed(typeMustBeString + "null")},
      {R"({"SenderName": []})", "[Dice]", Failed(typeMustBeString + "array")},
      {R"({"SenderName": {}})", "[Dice]", Failed(typeMustBeString + "object")},
      {R"(["SenderName"])", "[Dice]", Failed(cannotUseValue + "array")},
      {R"("Dice")", "[Dice]", Failed(cannotUseValue + "string")},
      {R"(7)", "[Dice]", Failed(cannotUseValue + "number")},
      {R"(null)", "[Dice]", Failed(cannotUseValue + "null")},
      {"", "[Dice]",
       Failed("[json.exception.parse_error.101] parse error at line 1, column 1: syntax error "
              "while parsing value - unexpected end of input; expected '[', '{', or a literal")},
      {" \n\t ", "[Dice]",
       Failed("[json.exception.parse_error.101] parse error at line 2, column 3: syntax error "
              "while parsing value - unexpected end of input; expected '[', '{', or a literal")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    SenderTag = HOST_TEXT("[Dice]");
    server_.WriteConfig(c.content);
    const auto lines = sink_->Entries().size();
    LoadConfig();
    EXPECT_EQ(Label(), c.label);
    const auto logged = Logged();
    ASSERT_EQ(logged.size(), lines + 1);
    EXPECT_EQ(logged.back(), c.line);
    EXPECT_EQ(server_.ReadConfig(), c.content);  // never rewritten
  }
}

TEST_F(ConfigTest, SyntaxErrorsAreReportedByTheParser) {
  for (const std::string content :
       {"// note\n{\"SenderName\": \"GM\"}", "{\"SenderName\": /* no */ \"GM\"}",
        "{\"SenderName\": \"GM\",}", "{\"SenderName\": \"\xFF\"}", "{\"SenderName\": \"GM\""}) {
    SCOPED_TRACE(content);
    server_.WriteConfig(content);
    const auto lines = sink_->Entries().size();
    LoadConfig();
    const auto logged = Logged();
    ASSERT_EQ(logged.size(), lines + 1);
    EXPECT_EQ(logged.back().level, Level::err);
    EXPECT_EQ(logged.back().text.rfind("Rollmoot: Error loading config: "
                                       "[json.exception.parse_error.",
                                       0),
              0u)
        << logged.back().text;
    EXPECT_EQ(Label(), "[Dice]");
    EXPECT_EQ(server_.ReadConfig(), content);
  }
}

TEST_F(ConfigTest, MissingPluginFolderCreatesNothing) {
  LoadConfig();
  EXPECT_EQ(Logged(), (std::vector<LogLine>{
                          NotFound, {Level::err, "Rollmoot: Failed to create config.json"}}));
  EXPECT_FALSE(std::filesystem::exists(server_.Path() / "ArkApi"));
  EXPECT_EQ(Label(), "[Dice]");
}

TEST_F(ConfigTest, ConfigThatIsADirectoryCannotBeRead) {
  std::filesystem::create_directories(server_.ConfigFile());
  LoadConfig();
  EXPECT_EQ(
      Logged(),
      (std::vector<LogLine>{{Level::err, "Rollmoot: Failed to open config.json for reading"}}));
  EXPECT_TRUE(std::filesystem::is_directory(server_.ConfigFile()));
  EXPECT_EQ(Label(), "[Dice]");
}

// A status query that fails for another reason than "not found" is an error, not a reason
// to write defaults over whatever is there.
TEST_F(ConfigTest, UnanswerableExistenceTestIsAnError) {
#if defined(_WIN32)
  GTEST_SKIP() << "a directory link needs a privilege on Windows, and Wine makes none";
#else
  const auto plugins = server_.Path() / "ArkApi" / "Plugins";
  std::filesystem::create_directories(plugins);
  std::filesystem::create_directory_symlink("Rollmoot", plugins / "Rollmoot");  // a loop
  LoadConfig();
  const auto logged = Logged();
  ASSERT_EQ(logged.size(), 1u);
  EXPECT_EQ(logged[0].level, Level::err);
  EXPECT_NE(logged[0].text.find("Rollmoot: Error loading config: filesystem error: exists"),
            std::string::npos)
      << logged[0].text;
  EXPECT_EQ(Label(), "[Dice]");
#endif
}

}  // namespace
