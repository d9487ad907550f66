// The audit file: the audit's lines as the log has them, in a file per UTC day, each day's
// keys whole in its own file, appended to and never truncated, and failures to write told once
// per streak while the rolls go on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "dice/audit.h"
#include "dice/audit_file.h"
#include "dice/cooldown.h"
#include "dice/notation_command.h"
#include "dice/roll_command.h"
#include "dice/settings.h"
#include "dice/utc_time.h"
#include "host_fixture.h"
#include "log/log.h"
#include "temp_dir.h"

#if !defined(_WIN32)
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>

// The platform layer's write, replaced for this program: once armed, the next write to a file
// stops after `cutAfter` bytes and the ones after it fail as a full disk does.
namespace writes {
bool armed = false;
std::size_t cutAfter = 0;
}  // namespace writes

extern "C" ssize_t write(int descriptor, const void* data, size_t size) {
  using Write = ssize_t (*)(int, const void*, size_t);
  static const auto real = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
  if (!writes::armed || descriptor <= 2) return real(descriptor, data, size);
  if (writes::cutAfter == 0) {
    errno = ENOSPC;
    return -1;
  }
  const std::size_t given = std::min(size, writes::cutAfter);
  writes::cutAfter = 0;
  return real(descriptor, data, given);
}
#endif

namespace {

namespace fs = std::filesystem;

#if defined(_WIN32)
constexpr char Eol[] = "\r\n";
#else
constexpr char Eol[] = "\n";
#endif

UtcSeconds FakeTime = 0;
UtcSeconds FakeClock() noexcept {
  return FakeTime;
}

constexpr UtcSeconds Dec8At224107 = 1796769667;  // 2026-12-08T22:41:07Z
constexpr UtcSeconds Dec8At235958 = 1796774398;  // 2026-12-08T23:59:58Z

// Whole UTC times and dates, across the ends of months, years, eras and the range written.
TEST(UtcTime, WritesTimesAndDates) {
  const std::vector<std::pair<UtcSeconds, std::string>> rows{
      {0, "1970-01-01T00:00:00Z"},
      {-1, "1969-12-31T23:59:59Z"},
      {951782400, "2000-02-29T00:00:00Z"},
      {951868799, "2000-02-29T23:59:59Z"},
      {4107542400, "2100-03-01T00:00:00Z"},  // 2100 has no 29 February
      {Dec8At224107, "2026-12-08T22:41:07Z"},
      {1798761599, "2026-12-31T23:59:59Z"},
      {253402300799, "9999-12-31T23:59:59Z"},
      {253402300800, "9999-12-31T23:59:59Z"},
      {-62167219200, "0000-01-01T00:00:00Z"},
      {-99999999999, "0000-01-01T00:00:00Z"},
  };
  for (const auto& [time, text] : rows) {
    char written[UtcTimeChars];
    WriteUtcTime(time, written);
    EXPECT_EQ(std::string(written, sizeof written), text) << time;
    char date[UtcDateChars];
    WriteUtcDate(time, date);
    EXPECT_EQ(std::string(date, sizeof date), text.substr(0, UtcDateChars)) << time;
  }
  EXPECT_EQ(UtcDay(Dec8At235958 + 1), UtcDay(Dec8At235958));
  EXPECT_EQ(UtcDay(Dec8At235958 + 2), UtcDay(Dec8At235958) + 1);
  EXPECT_EQ(UtcDay(-1), -1);
}

class AuditFileTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    CreatePluginLog(PluginLogHolder(), "Rollmoot");
    SenderTag = HOST_TEXT("[Dice]");
    Settings = {};
    Settings.AuditRolls = true;
    Settings.AuditFile = true;
    Settings.PrivateCommands = true;
    Settings.RollCommand = true;
    ClearCooldowns();
    FakeTime = Dec8At224107;
    UtcNow = &FakeClock;
    folder_ = server_.PluginFolder() / "audit";
    UseAuditFile(folder_.string());
  }
  void TearDown() override {
    EndAudit();
    StopAuditFile();
    UtcNow = &SystemUtcNow;
    Settings = {};
    PluginLogHolder().reset();
    HostTest::TearDown();
  }

  static void Type(simhost::PlayerId who, const std::string& text) {
    FString message(utf::Utf8ToWide(text).c_str());
    auto* player = simhost::Controller(who);
    if (text.rfind("/roll", 0) == 0) {
      NotationRollCommand(player, &message);
    } else if (text.rfind("/pd", 0) == 0) {
      PrivateRollCommand(player, &message, std::stoi(text.substr(3)));
    } else {
      RollCommand(player, &message, std::stoi(text.substr(2)));
    }
  }

  fs::path DayFile(const std::string& date) const { return folder_ / ("rolls-" + date + ".txt"); }
  static std::string Read(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  // The file's lines without their line ends, each of which must be Eol.
  static std::vector<std::string> Lines(const fs::path& file) {
    const std::string content = Read(file);
    std::vector<std::string> lines;
    std::size_t at = 0;
    for (std::size_t end; (end = content.find(Eol, at)) != std::string::npos;) {
      lines.push_back(content.substr(at, end - at));
      at = end + std::string_view(Eol).size();
    }
    EXPECT_EQ(at, content.size()) << "a line without its line end";
    return lines;
  }
  std::vector<std::string> LogSince(std::size_t mark) {
    const std::vector<std::string> all = LogMessages();
    return {all.begin() + static_cast<std::ptrdiff_t>(mark), all.end()};
  }

  TempDir server_;
  fs::path folder_;
};

const std::string Marker = "Rollmoot: Roll audit: ";
const std::string FileLine = "Rollmoot: Roll audit file: ";

// A short session: the file holds each audit line of the log after its UTC time, without the
// log's marker, byte for byte, in UTF-8 without a BOM; nothing else of the log goes there.
TEST_F(AuditFileTest, FileHoldsTheLogsAuditLinesAfterTheirTime) {
  const auto ann = Join("Ann");
  const auto bob = Join("Bj\xC3\xB6rn \"B\"");
  StartAudit(AuditClock::now());
  Type(ann, "/d20 2");
  FakeTime += 5;
  Type(bob, "/pd6");
  Type(ann, "/roll 2d6+1");
  Type(bob, "/roll 2 d6");  // refused: no line in the log or the file
  FakeTime += 60;
  EndAudit();

  const std::vector<std::string> log = LogMessages();
  const fs::path file = DayFile("2026-12-08");
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[1], FileLine + file.string());
  const std::vector<std::string> times{"2026-12-08T22:41:07Z ", "2026-12-08T22:41:07Z ",
                                       "2026-12-08T22:41:12Z ", "2026-12-08T22:41:12Z ",
                                       "2026-12-08T22:42:12Z "};
  std::string expected;
  std::size_t line = 0;
  for (const std::string& entry : log) {
    if (entry.rfind(Marker, 0) != 0) continue;
    expected += times.at(line++) + entry.substr(Marker.size()) + Eol;
  }
  const std::string content = Read(file);
  EXPECT_EQ(content, expected);
  const std::regex shape(
      "2026-12-08T22:41:07Z commitment [0-9a-f]{64}\n"
      "2026-12-08T22:41:07Z #1 \"Ann\" d20:\\d+,\\d+\n"
      "2026-12-08T22:41:12Z #2 \"Bj\xC3\xB6rn \\\\\"B\\\\\"\" d6:\\d\n"
      "2026-12-08T22:41:12Z #3 \"Ann\" d6:\\d,\\d\n"
      "2026-12-08T22:42:12Z key [0-9a-f]{64} after 3 rolls\n");
  std::string lf = content;
  lf = std::regex_replace(lf, std::regex("\r\n"), "\n");
  EXPECT_TRUE(std::regex_match(lf, shape)) << content;
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 1);
}

// The first roll of a new UTC day reveals the old key into the old day's file and commits to a
// new one in the new day's, so each finished day's file holds whole keys; a key that sees no
// roll on the new day is revealed at unload into its own day's file. Without the file, days
// mean nothing to the keys.
TEST_F(AuditFileTest, ANewUtcDayRotatesTheKeyBeforeItsFirstRoll) {
  const auto ann = Join("Ann");
  FakeTime = Dec8At235958;
  StartAudit(AuditClock::now());
  Type(ann, "/d6");
  FakeTime += 3;  // 2026-12-09T00:00:01Z
  ClearCooldowns();
  Type(ann, "/d6");
  Type(ann, "/d6 2");
  FakeTime += 8;
  EndAudit();

  const std::vector<std::string> first = Lines(DayFile("2026-12-08"));
  const std::vector<std::string> second = Lines(DayFile("2026-12-09"));
  ASSERT_EQ(first.size(), 3u);
  ASSERT_EQ(second.size(), 4u);
  const auto matches = [](const std::string& line, const std::string& pattern) {
    return std::regex_match(line, std::regex(pattern));
  };
  EXPECT_TRUE(matches(first[0], "2026-12-08T23:59:58Z commitment [0-9a-f]{64}")) << first[0];
  EXPECT_TRUE(matches(first[1], "2026-12-08T23:59:58Z #1 \"Ann\" d6:\\d")) << first[1];
  EXPECT_TRUE(matches(first[2], "2026-12-09T00:00:01Z key [0-9a-f]{64} after 1 rolls"));
  EXPECT_TRUE(matches(second[0], "2026-12-09T00:00:01Z commitment [0-9a-f]{64}")) << second[0];
  EXPECT_TRUE(matches(second[1], "2026-12-09T00:00:01Z #1 \"Ann\" d6:\\d")) << second[1];
  EXPECT_TRUE(matches(second[2], "2026-12-09T00:00:01Z #2 \"Ann\" d6:\\d,\\d")) << second[2];
  EXPECT_TRUE(matches(second[3], "2026-12-09T00:00:09Z key [0-9a-f]{64} after 2 rolls"));

  // Each file's key is the one its commitment names.
  for (const auto* lines : {&first, &second}) {
    const std::string commitment = lines->front().substr(32, 64);
    const std::string key = lines->back().substr(25, 64);
    unsigned char bytes[32], digest[platform::Sha256Bytes];
    for (std::size_t i = 0; i < 32; ++i) {
      bytes[i] = static_cast<unsigned char>(std::stoi(key.substr(2 * i, 2), nullptr, 16));
    }
    ASSERT_TRUE(platform::Sha256(bytes, sizeof bytes, digest));
    std::string hex;
    for (unsigned char b : digest)
      hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
    EXPECT_EQ(hex, commitment);
  }

  // A key left without rolls past midnight goes out with its own day.
  FakeTime = Dec8At235958 + 86400;  // 2026-12-09T23:59:58Z
  StartAudit(AuditClock::now());
  FakeTime += 7200;
  EndAudit();
  EXPECT_FALSE(fs::exists(DayFile("2026-12-10")));
  const std::vector<std::string> again = Lines(DayFile("2026-12-09"));
  ASSERT_EQ(again.size(), 6u);
  EXPECT_TRUE(matches(again[5], "2026-12-10T01:59:58Z key [0-9a-f]{64} after 0 rolls"));

  // Without the file the key serves across midnight, as before.
  StopAuditFile();
  Settings.AuditFile = false;
  FakeTime = Dec8At235958;
  StartAudit(AuditClock::now());
  Type(ann, "/d6");
  FakeTime += 3;
  ClearCooldowns();
  const std::size_t mark = LogMessages().size();
  Type(ann, "/d6");
  const std::vector<std::string> log = LogSince(mark);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].rfind(Marker + "#2 \"Ann\" d6:", 0), 0u) << log[0];
}

// A day's file that is there already (a restart the same day) is appended to.
TEST_F(AuditFileTest, ARestartTheSameDayAppendsToItsFile) {
  const auto ann = Join("Ann");
  fs::create_directories(folder_);
  const std::string earlier = std::string("2026-12-08T01:00:00Z commitment ") +
                              std::string(64, 'a') + Eol + "2026-12-08T01:00:01Z key " +
                              std::string(64, 'b') + " after 0 rolls" + Eol;
  std::ofstream(DayFile("2026-12-08"), std::ios::binary) << earlier;
  for (int load = 0; load < 2; ++load) {
    StartAudit(AuditClock::now());
    Type(ann, "/d4");
    ClearCooldowns();
    EndAudit();
    StopAuditFile();
    UseAuditFile(folder_.string());
  }
  const std::string content = Read(DayFile("2026-12-08"));
  ASSERT_EQ(content.rfind(earlier, 0), 0u) << content;
  const std::vector<std::string> lines = Lines(DayFile("2026-12-08"));
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[2].substr(21, 11), "commitment ");
  EXPECT_EQ(lines[5].substr(21, 11), "commitment ");
}

// A file that cannot be written costs the file its lines, never a roll: one error line per
// streak of failures, one line when writing works again, and each streak names its file.
TEST_F(AuditFileTest, WriteFailuresAreLoggedOncePerStreakAndRollsGoOn) {
  const auto ann = Join("Ann");
  std::ofstream(folder_.string()) << "a file where the folder belongs";
  const fs::path firstFile = DayFile("2026-12-08");
  const std::regex cannot(FileLine + "cannot write (.+): (.+)");

  StartAudit(AuditClock::now());
  std::vector<std::string> log = LogMessages();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1], FileLine + firstFile.string());
  std::smatch failed;
  ASSERT_TRUE(std::regex_match(log[2], failed, cannot)) << log[2];
  EXPECT_EQ(failed[1].str(), firstFile.string());
  EXPECT_EQ(sink_->Entries()[2].Level, spdlog::level::err);
  for (int i = 0; i < 3; ++i) {
    ClearCooldowns();
    Type(ann, "/d6");
  }
  EXPECT_EQ(Told(ann).size(), 3u) << "the rolls went on";
  EXPECT_EQ(LogMessages().size(), log.size() + 3) << "one record each, and no more errors";

  fs::remove(folder_);
  ClearCooldowns();
  std::size_t mark = LogMessages().size();
  Type(ann, "/d6");
  log = LogSince(mark);
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0].rfind(Marker + "#4 ", 0), 0u) << log[0];
  EXPECT_EQ(log[1], FileLine + "writing again");
  ASSERT_EQ(Lines(firstFile).size(), 1u);
  EXPECT_EQ(Lines(firstFile)[0], "2026-12-08T22:41:07Z " + log[0].substr(Marker.size()));

  // The next day's file cannot be made: a second streak, told once more.
  fs::create_directories(DayFile("2026-12-09"));
  FakeTime += 86400;
  ClearCooldowns();
  mark = LogMessages().size();
  Type(ann, "/d6");
  Type(ann, "/d6");
  EndAudit();
  log = LogSince(mark);
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[0].rfind(Marker + "key ", 0), 0u) << log[0];
  EXPECT_EQ(log[1].rfind(Marker + "commitment ", 0), 0u) << log[1];
  ASSERT_TRUE(std::regex_match(log[2], failed, cannot)) << log[2];
  EXPECT_EQ(failed[1].str(), DayFile("2026-12-09").string());
  EXPECT_EQ(log[3].rfind(Marker + "#1 ", 0), 0u) << log[3];
  EXPECT_EQ(log[4].rfind(Marker + "#2 ", 0), 0u) << log[4];
  EXPECT_EQ(log[5].rfind(Marker + "key ", 0), 0u) << log[5];
  EXPECT_EQ(Lines(firstFile).size(), 2u) << "the old day's reveal";
  EXPECT_EQ(Told(ann).size(), 6u);
}

#if !defined(_WIN32)

// A write the system cuts short (a disk filling up) leaves no piece of a line behind to run
// into the next; a file that fails while open is opened again for the next line, so writing
// resumes once the cause is gone.
TEST_F(AuditFileTest, AFailedWriteLeavesWholeLinesAndTheFileOpensAgain) {
  const auto ann = Join("Ann");
  StartAudit(AuditClock::now());
  Type(ann, "/d20 3");
  const fs::path file = DayFile("2026-12-08");
  const std::string before = Read(file);

  writes::armed = true;
  writes::cutAfter = 30;
  Type(ann, "/d20 3");
  writes::cutAfter = 0;
  Type(ann, "/d20 3");
  writes::armed = false;
  EXPECT_EQ(Read(file), before) << "a line cut short stayed";
  const std::vector<std::string> log = LogMessages();
  ASSERT_EQ(log.size(), 6u);
  EXPECT_EQ(log[4], FileLine + "cannot write " + file.string() + ": No space left on device");

  // Now the file is a full device: the handle open before must not be kept.
  fs::remove(file);
  fs::create_symlink("/dev/full", file);
  Type(ann, "/d20 3");
  EXPECT_EQ(LogMessages().size(), 7u) << "still the same streak";
  fs::remove(file);
  Type(ann, "/d20 3");
  EXPECT_EQ(LogMessages().back(), FileLine + "writing again");
  ASSERT_EQ(Lines(file).size(), 1u);
  EXPECT_EQ(Lines(file)[0].substr(21, 4), "#5 \"");
  EXPECT_EQ(Told(ann).size(), 5u);
}

#endif

}  // namespace
