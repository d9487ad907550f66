#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "config/config.h"
#include "dice/messages.h"
#include "dice/roll_command.h"
#include "dice/settings.h"
#include "host_fixture.h"
#include "log/log.h"
#include "temp_dir.h"
#include "tests/support/longest_messages.h"

// Readable failures: which setting came out wrong.
void PrintTo(const RollSettings& s, std::ostream* out) {
  *out << "{Cooldown " << s.CooldownSeconds << ", Private " << s.PrivateCommands << ", Log "
       << s.LogRolls << ", MaxDice " << s.MaxDice << ", Roll " << s.RollCommand << ", Secure "
       << s.SecureRolls << ", Audit " << s.AuditRolls << "}";
}

namespace {

using Level = spdlog::level::level_enum;

// What an earlier load in the same module may have left behind; every load must start over.
const RollSettings AllOn{60, true, true, 6, true, true, true};

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
    Settings = AllOn;
  }
  void TearDown() override {
    Settings = RollSettings{};
    Messages = DefaultMessages;
    PluginLogHolder().reset();
    HostTest::TearDown();
  }
  std::vector<LogLine> Logged() {
    std::vector<LogLine> lines;
    for (const auto& entry : sink_->Entries()) lines.push_back({entry.Level, entry.Message});
    return lines;
  }
  std::string Label() const { return utf::WideToUtf8(SenderTag); }
  // Loads `content` over a label and settings an earlier load changed; the lines it logged.
  std::vector<LogLine> Load(const std::string& content) {
    server_.WriteConfig(content);
    SenderTag = HOST_TEXT("[Dice]");
    Settings = AllOn;
    EXPECT_TRUE(UseLongestMessages());
    const auto before = sink_->Entries().size();
    LoadConfig();
    EXPECT_EQ(server_.ReadConfig(), content);  // never rewritten
    auto lines = Logged();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(before));
    return lines;
  }

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
  EXPECT_EQ(Settings, RollSettings{});
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
    Settings = AllOn;
    server_.WriteConfig(c.content);
    const auto lines = sink_->Entries().size();
    LoadConfig();
    EXPECT_EQ(Label(), c.label);
    const auto logged = Logged();
    ASSERT_EQ(logged.size(), lines + 1);
    EXPECT_EQ(logged.back(), c.line);
    EXPECT_EQ(Settings, RollSettings{});
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

// The optional members, in the order their lines follow "Configuration loaded".
struct Setting {
  std::string Key;
  std::string Error;          // after "Error loading config: "
  std::string On;             // the value AllOn holds, as written
  std::string Info;           // the line On gives
  RollSettings AllOnButThis;  // AllOn with this setting at its default
  std::vector<std::string> Wrong;
  struct Valid {
    std::string Value;
    std::optional<std::string> Line;  // none when the value is the default
    RollSettings Read;
  };
  std::vector<Valid> Valids;
};
std::ostream& operator<<(std::ostream& out, const Setting& setting) {
  return out << setting.Key;
}

// Wrong for every integer setting: other types, fractions and exponents even when whole,
// and integers that reach the loader as floating point (past 64 bits), would wrap into range
// in 32 bits (4294967296 is 0, 4294967297 is 1, 4294967356 is 60) or turn negative in 64.
const std::string NotAnInteger =
    R"(2.0 1.5 1e1 2E0 6.0e0 null "5" true [5] {} 4294967296 4294967297 4294967356 )"
    "-4294967295 9223372036854775808 18446744073709551615 18446744073709551616 "
    "18446744073709551617 1000000000000000000000000000000 -9223372036854775809";
const std::string NotABoolean = R"(0 1 "true" "false" null [] {})";

// JSON values separated by spaces.
std::vector<std::string> Values(const std::string& text) {
  std::vector<std::string> values;
  std::istringstream in(text);
  for (std::string value; in >> value;) values.push_back(value);
  return values;
}

const std::vector<Setting> Members{
    {"CooldownSeconds",
     "CooldownSeconds must be an integer from 0 to 3600",
     "60",
     "Rollmoot: Cooldown: 60 s per player",
     {0, true, true, 6, true, true, true},
     Values("-1 3601 -2147483648 " + NotAnInteger),
     {{"0", std::nullopt, {}},
      {"-0", std::nullopt, {}},
      {"1", "Rollmoot: Cooldown: 1 s per player", {1, false, false, 100, false}},
      {"3600", "Rollmoot: Cooldown: 3600 s per player", {3600, false, false, 100, false}}}},
    {"PrivateCommands",
     "PrivateCommands must be true or false",
     "true",
     "Rollmoot: Private commands: /pd3 /pd4 /pd6 /pd8 /pd10 /pd12 /pd20",
     {60, false, true, 6, true, true, true},
     Values(NotABoolean),
     {{"false", std::nullopt, {}},
      {"true",
       "Rollmoot: Private commands: /pd3 /pd4 /pd6 /pd8 /pd10 /pd12 /pd20",
       {0, true, false, 100, false}}}},
    {"LogRolls",
     "LogRolls must be true or false",
     "true",
     "Rollmoot: Roll log: on",
     {60, true, false, 6, true, true, true},
     Values(NotABoolean),
     {{"false", std::nullopt, {}},
      {"true", "Rollmoot: Roll log: on", {0, false, true, 100, false}}}},
    {"MaxDice",
     "MaxDice must be an integer from 1 to 100",
     "6",
     "Rollmoot: Dice per command: at most 6",
     {60, true, true, 100, true, true, true},
     Values("0 -1 101 " + NotAnInteger),
     {{"100", std::nullopt, {}},
      {"1", "Rollmoot: Dice per command: at most 1", {0, false, false, 1, false}},
      {"99", "Rollmoot: Dice per command: at most 99", {0, false, false, 99, false}}}},
    {"RollCommand",
     "RollCommand must be true or false",
     "true",
     "Rollmoot: Roll command: /roll",
     {60, true, true, 6, false, true, true},
     Values(NotABoolean),
     {{"false", std::nullopt, {}},
      {"true", "Rollmoot: Roll command: /roll", {0, false, false, 100, true}}}},
    {"SecureRolls",
     "SecureRolls must be true or false",
     "true",
     "Rollmoot: Secure rolls: on",
     {60, true, true, 6, true, false, true},
     Values(NotABoolean),
     {{"false", std::nullopt, {}},
      {"true", "Rollmoot: Secure rolls: on", {0, false, false, 100, false, true}}}},
    {"AuditRolls",
     "AuditRolls must be true or false",
     "true",
     "Rollmoot: Roll audit: on",
     {60, true, true, 6, true, true, false},
     Values(NotABoolean),
     {{"false", std::nullopt, {}},
      {"true", "Rollmoot: Roll audit: on", {0, false, false, 100, false, false, true}}}},
};

// {"SenderName": "GM", every setting at its AllOn value except `wrong`'s}.
std::string AllOnDocument(const std::string& key = "", const std::string& value = "") {
  std::string text = R"({"SenderName": "GM")";
  for (const Setting& setting : Members) {
    text += ", \"" + setting.Key + "\": " + (setting.Key == key ? value : setting.On);
  }
  return text + "}";
}

class SettingTest : public ConfigTest, public ::testing::WithParamInterface<Setting> {};

TEST_P(SettingTest, WrongValueIsReportedInItsPlaceAndTheRestStillApplies) {
  const Setting& wrong = GetParam();
  std::vector<LogLine> expected{Loaded("GM")};
  for (const Setting& setting : Members) {
    expected.push_back(setting.Key == wrong.Key ? Failed(wrong.Error)
                                                : LogLine{Level::info, setting.Info});
  }
  for (const std::string& value : wrong.Wrong) {
    SCOPED_TRACE(value);
    EXPECT_EQ(Load(AllOnDocument(wrong.Key, value)), expected);
    EXPECT_EQ(Settings, wrong.AllOnButThis);
    EXPECT_EQ(Label(), "[GM]");
  }
}

TEST_P(SettingTest, ValidValueOnItsOwn) {
  for (const Setting::Valid& valid : GetParam().Valids) {
    SCOPED_TRACE(valid.Value);
    std::vector<LogLine> expected{Loaded("Dice")};
    if (valid.Line) expected.push_back({Level::info, *valid.Line});
    EXPECT_EQ(Load("{\"" + GetParam().Key + "\": " + valid.Value + "}"), expected);
    EXPECT_EQ(Settings, valid.Read);
  }
}

INSTANTIATE_TEST_SUITE_P(, SettingTest, ::testing::ValuesIn(Members),
                         [](const auto& row) { return row.param.Key; });

// AuditFile only goes with AuditRolls; its error line follows the audit's own.
TEST_F(ConfigTest, AuditFileNeedsAuditRollsAndABoolean) {
  const LogLine on{Level::info, "Rollmoot: Roll audit: on"};
  const LogLine needs = Failed("AuditFile needs AuditRolls");
  const LogLine notBoolean = Failed("AuditFile must be true or false");
  struct Row {
    std::string Members;
    std::vector<LogLine> Lines;  // after the loaded line
    bool AuditFile;
  };
  std::vector<Row> rows{
      {R"("AuditRolls": true, "AuditFile": true)", {on}, true},
      {R"("AuditFile": true, "AuditRolls": true)", {on}, true},
      {R"("AuditRolls": true, "AuditFile": false)", {on}, false},
      {R"("AuditFile": false)", {}, false},
      {R"("AuditFile": true)", {needs}, false},
      {R"("AuditRolls": false, "AuditFile": true)", {needs}, false},
      {R"("AuditRolls": "yes", "AuditFile": true)",
       {Failed("AuditRolls must be true or false"), needs},
       false},
      {R"("AuditRolls": true, "AuditFile": true, "LogRolls": 2)",
       {Failed("LogRolls must be true or false"), on},
       true},
  };
  for (const std::string& value : Values(NotABoolean)) {
    rows.push_back({R"("AuditRolls": true, "AuditFile": )" + value, {on, notBoolean}, false});
    rows.push_back({R"("AuditFile": )" + value, {notBoolean}, false});
  }
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Members);
    std::vector<LogLine> expected{Loaded("Dice")};
    expected.insert(expected.end(), row.Lines.begin(), row.Lines.end());
    EXPECT_EQ(Load("{" + row.Members + "}"), expected);
    EXPECT_EQ(Settings.AuditFile, row.AuditFile);
  }
}

TEST_F(ConfigTest, SettingLinesKeepTheirOrderWhateverTheFileSays) {
  std::string reversed = R"({"SenderName": "GM")";
  std::string allWrong = "{";
  std::vector<LogLine> infos{Loaded("GM")}, errors{Loaded("Dice")};
  for (auto setting = Members.rbegin(); setting != Members.rend(); ++setting) {
    reversed += ", \"" + setting->Key + "\": " + setting->On;
    allWrong += std::string(allWrong.size() > 1 ? ", " : "") + "\"" + setting->Key + "\": null";
  }
  for (const Setting& setting : Members) {
    infos.push_back({Level::info, setting.Info});
    errors.push_back(Failed(setting.Error));
  }
  EXPECT_EQ(Load(reversed + "}"), infos);
  EXPECT_EQ(Settings, AllOn);
  EXPECT_EQ(Load(allWrong + "}"), errors);
  EXPECT_EQ(Settings, RollSettings{});
  // The last of duplicate members counts, as for SenderName; names are matched exactly.
  EXPECT_EQ(Load(R"({"MaxDice": 5, "MaxDice": 7, "maxdice": 3, "LOGROLLS": true})"),
            (std::vector<LogLine>{Loaded("Dice"),
                                  {Level::info, "Rollmoot: Dice per command: at most 7"}}));
  EXPECT_EQ(Settings, (RollSettings{0, false, false, 7, false}));
}

// Only the first JSON value is read, as it always was; anything after it is reported where it
// starts and changes nothing that was read. The first two rows are the mistakes operators make:
// the all-settings block pasted below the default file, and a brace closed too early.
TEST_F(ConfigTest, TextAfterTheSettingsIsReportedAndIgnored) {
  struct Case {
    std::string content;
    std::vector<LogLine> lines;
    RollSettings read;
  };
  const LogLine MaxDice5{Level::info, "Rollmoot: Dice per command: at most 5"};
  const auto after = [](int line, int column) {
    return Failed("text after the settings at line " + std::to_string(line) + ", column " +
                  std::to_string(column) + " is ignored");
  };
  const std::vector<Case> cases{
      {"{\n  \"SenderName\": \"Dice\"\n}\n{\n  \"SenderName\": \"GM\",\n  "
       "\"CooldownSeconds\": 10,\n  \"MaxDice\": 20\n}\n",
       {Loaded("Dice"), after(4, 1)},
       {}},
      {R"({"SenderName":"GM"}, "CooldownSeconds": 10 })", {Loaded("GM"), after(1, 20)}, {}},
      {R"({"SenderName": "GM"} {"SenderName": "X"} trailing)", {Loaded("GM"), after(1, 22)}, {}},
      {"{\"MaxDice\": 5}\r\n\r\n\t x",
       {Loaded("Dice"), after(3, 3), MaxDice5},
       {0, false, false, 5}},
      // Columns count bytes: "ü" is two.
      {"{\"SenderName\": \"W\xC3\xBCrfel\"} }", {Loaded("W\xC3\xBCrfel"), after(1, 27)}, {}},
      {"{\"MaxDice\": 5}\n\t\r\n ", {Loaded("Dice"), MaxDice5}, {0, false, false, 5}},
      {"\xEF\xBB\xBF{}x", {Loaded("Dice"), after(1, 6)}, {}},
      // A zero byte ends the parser's input, so what follows it is no text to report.
      {std::string("{\"MaxDice\": 5}\n\0\0 x", 19),
       {Loaded("Dice"), MaxDice5},
       {0, false, false, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.content);
    EXPECT_EQ(Load(c.content), c.lines);
    EXPECT_EQ(Settings, c.read);
  }
}

// A file that fails as a whole logs its one line as before, and no setting in it is on.
TEST_F(ConfigTest, FileThatFailsAsAWholeTurnsEverySettingOff) {
  const std::string settings =
      AllOnDocument().substr(std::string(R"({"SenderName": "GM", )").size());
  for (const std::string& content :
       {R"({"SenderName": 5, )" + settings, R"({"SenderName": null, )" + settings,
        "[{" + settings + "]", "{" + settings.substr(0, settings.size() - 1) + ",}",
        "{" + settings.substr(0, settings.size() - 1)}) {
    SCOPED_TRACE(content);
    const auto lines = Load(content);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].text.rfind("Rollmoot: Error loading config: [json.exception.", 0), 0u);
    EXPECT_EQ(Settings, RollSettings{});
  }
  std::filesystem::remove(server_.ConfigFile());
  std::filesystem::create_directory(server_.ConfigFile());
  Settings = AllOn;
  LoadConfig();
  EXPECT_EQ(Settings, RollSettings{});
  std::filesystem::remove_all(server_.Path() / "ArkApi");
  Settings = AllOn;
  LoadConfig();
  EXPECT_EQ(Settings, RollSettings{});
}

// --- Messages ------------------------------------------------------------------------------

// The members of Messages that differ from their default; a private line that follows its
// public twin is not one of them.
std::vector<std::string> Customised() {
  const auto twin = [](std::size_t i) {
    switch (static_cast<MessageId>(i)) {
      case MessageId::PrivateRoll:
        return Messages[static_cast<std::size_t>(MessageId::Roll)];
      case MessageId::PrivateRollMany:
        return Messages[static_cast<std::size_t>(MessageId::RollMany)];
      default:
        return DefaultMessages[i];
    }
  };
  std::vector<std::string> names;
  for (std::size_t i = 0; i < MessageCount; ++i) {
    if (!(Messages[i] == twin(i))) names.emplace_back(MessageNames[i]);
  }
  return names;
}

LogLine Customised(int count) {
  return {Level::info, "Rollmoot: Messages: " + std::to_string(count) + " customised"};
}

// Each row: the value of "Messages", the lines after "Configuration loaded", the members taken.
TEST_F(ConfigTest, MessagesAreTakenOrReportedOneByOne) {
  const std::string die = "\xF0\x9F\x8E\xB2";  // one character, two units
  std::string dice200, x201(201, 'x');
  for (int i = 0; i < 191; ++i) dice200 += die;
  struct Case {
    std::string Messages;
    std::vector<LogLine> Lines;
    std::vector<std::string> Taken;
  };
  const auto error = [](const std::string& what) { return Failed("Messages." + what); };
  const std::vector<Case> cases{
      {"{}", {}, {}},
      {R"({"Wait": "noch {seconds} s"})", {Customised(1)}, {"Wait"}},
      {R"({"Wait": "{{}}", "Roll": "{name}", "AtEnd": ""})",
       {Customised(3)},
       {"Roll", "Wait", "AtEnd"}},
      {R"({"Wait": "{x}", "Wait": "{seconds}"})", {Customised(1)}, {"Wait"}},
      {"{\"Wait\": \"{seconds}" + dice200 + "\"}", {Customised(1)}, {"Wait"}},
      {"{\"Wait\": \"" + x201 + "\"}",
       {error("Wait must be a string of at most 200 characters")},
       {}},
      {R"({"wait": "x"})", {error("wait is not a message of this plugin")}, {}},
      {"{\"W\xC3\xBCrfel\": \"x\"}", {error("W\xC3\xBCrfel is not a message of this plugin")}, {}},
      {R"({"Wait": 5})", {error("Wait must be a string of at most 200 characters")}, {}},
      {R"({"Wait": null})", {error("Wait must be a string of at most 200 characters")}, {}},
      {R"({"Wait": ["x"]})", {error("Wait must be a string of at most 200 characters")}, {}},
      {R"({"Wait": "{Seconds}"})", {error("Wait has an unknown placeholder {Seconds}")}, {}},
      {R"({"Wait": "{results}"})", {error("Wait has an unknown placeholder {results}")}, {}},
      {R"({"Wait": "{}"})", {error("Wait has an unknown placeholder {}")}, {}},
      {"{\"Wait\": \"{Sek\xC3\xBCnden}\"}",
       {error("Wait has an unknown placeholder {Sek\xC3\xBCnden}")},
       {}},
      {R"({"Wait": "{x} }"})", {error("Wait has an unknown placeholder {x}")}, {}},
      {R"({"Roll": "{name} {name}"})",
       {error("Roll uses the placeholder {name} more than once")},
       {}},
      {R"({"Wait": "{seconds"})", {error("Wait has an unmatched brace")}, {}},
      {R"({"Wait": "a } b {x}"})", {error("Wait has an unmatched brace")}, {}},
      {R"({"Wait": "{se{conds}"})", {error("Wait has an unmatched brace")}, {}},
      {R"({"Wait": "}}}"})", {error("Wait has an unmatched brace")}, {}},
      // The info line first, then the refusals in the byte order of the names.
      {R"({"roll": 1, "Wait": "{x}", "Roll": "ok", "AtEnd": "{"})",
       {Customised(1), error("AtEnd has an unmatched brace"),
        error("Wait has an unknown placeholder {x}"),
        error("roll is not a message of this plugin")},
       {"Roll"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Messages);
    // After every other setting's line, whatever the order in the file.
    std::vector<LogLine> expected{Loaded("GM"),
                                  {Level::info, "Rollmoot: Roll log: on"},
                                  {Level::info, "Rollmoot: Secure rolls: on"}};
    expected.insert(expected.end(), c.Lines.begin(), c.Lines.end());
    EXPECT_EQ(Load(R"({"SenderName": "GM", "Messages": )" + c.Messages +
                   R"(, "LogRolls": true, "SecureRolls": true})"),
              expected);
    std::vector<std::string> taken = c.Taken;
    std::sort(taken.begin(), taken.end(), [](const std::string& a, const std::string& b) {
      return *FindMessage(a) < *FindMessage(b);
    });
    EXPECT_EQ(Customised(), taken) << "a member not taken keeps its default";
    EXPECT_EQ(Settings, (RollSettings{0, false, true, 100, false, true}));
  }
}

TEST_F(ConfigTest, MessagesThatIsNoObjectKeepsEveryDefault) {
  for (const std::string value : {"[]", R"("Roll")", "null", "5", "true"}) {
    SCOPED_TRACE(value);
    EXPECT_EQ(Load(R"({"Messages": )" + value + R"(, "MaxDice": 5})"),
              (std::vector<LogLine>{Loaded("Dice"),
                                    {Level::info, "Rollmoot: Dice per command: at most 5"},
                                    Failed("Messages must be an object")}));
    EXPECT_EQ(Customised(), std::vector<std::string>{});
  }
  // Nor does a file that fails as a whole leave anything of an earlier load's messages.
  Load(R"({"SenderName": 5, "Messages": {"Wait": "{seconds}"}})");
  EXPECT_EQ(Customised(), std::vector<std::string>{});
}

// The language files under examples/ load whole: every message taken, nothing refused.
TEST_F(ConfigTest, EveryExampleLanguageFileIsTakenWhole) {
  int files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(ROLLMOOT_EXAMPLES)) {
    const std::string file = entry.path().filename().string();
    if (entry.path().extension() != ".json" || file.rfind("messages-", 0) != 0) continue;
    SCOPED_TRACE(entry.path().filename().string());
    std::ifstream in(entry.path(), std::ios::binary);
    const std::string content{std::istreambuf_iterator<char>(in), {}};
    const auto lines = Load(content);
    ASSERT_EQ(lines.size(), 2u) << lines.back();
    EXPECT_EQ(lines[1], Customised(static_cast<int>(MessageCount)));
    ++files;
  }
  EXPECT_GE(files, 5);
}

}  // namespace
