#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "dice/engine.h"
#include "dice/roll_command.h"
#include "host_fixture.h"

namespace {

class RollTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    DiceEngine = SeededEngine(5489);
    SenderTag = HOST_TEXT("[Dice]");
  }
  static void Roll(simhost::PlayerId who, const std::string& text, int sides) {
    FString message(utf::Utf8ToWide(text).c_str());
    RollCommand(simhost::Controller(who), &message, sides);
  }
  static void RollWide(simhost::PlayerId who, const WideString& text, int sides) {
    FString message(text.c_str());
    RollCommand(simhost::Controller(who), &message, sides);
  }
};

// The count as the line shows it: the single-die line says 1d, the other CdS.
int CountInLine(const std::string& line) {
  static const std::regex shape(R"(^.* rolled (\d+)d\d+ and got: .*$)");
  std::smatch match;
  if (!std::regex_match(line, match, shape)) return -1;
  return std::stoi(match[1]);
}

TEST_F(RollTest, CountIsReadFromWhatFollowsTheFirstSpace) {
  struct Case {
    WideString after;
    int count;
  };
  const std::vector<Case> cases{
      {HOST_TEXT(""), 1},
      {HOST_TEXT(" "), 1},
      {HOST_TEXT(" 3"), 3},
      {HOST_TEXT(" abc"), 1},
      {HOST_TEXT(" 5abc"), 5},
      {HOST_TEXT("  7"), 7},
      {HOST_TEXT(" +4"), 4},
      {HOST_TEXT(" -3"), 1},
      {HOST_TEXT(" 0"), 1},
      {HOST_TEXT(" 1"), 1},
      {HOST_TEXT(" 100"), 100},
      {HOST_TEXT(" 101"), 100},
      {HOST_TEXT(" 2147483647"), 100},
      {HOST_TEXT(" 2147483648"), 1},
      {HOST_TEXT(" -2147483648"), 1},
      {HOST_TEXT(" 12345678901"), 1},
      {HOST_TEXT(" 99999999999999999999999"), 1},
      {HOST_TEXT(" 18446744073709551618"), 1},  // 2^64 + 2: a wrapping reader would see 2
      {HOST_TEXT(" 3 4"), 3},
      {HOST_TEXT("\t5"), 1},
      {HOST_TEXT(" 0x10"), 1},
      {HOST_TEXT(" \x00FF15"), 1},              // a full-width digit five is no digit
      {HOST_TEXT("\x3000") HOST_TEXT("5"), 1},  // nor an ideographic space a separator
      {HOST_TEXT(" \t\n\v\f\r9"), 9},
      {HOST_TEXT(" 000000000000000000042"), 42},
  };
  const auto player = Join("Nomad");
  for (const Case& c : cases) {
    simhost::ClearInboxes();
    RollWide(player, HOST_TEXT("/d6") + c.after, 6);
    const auto lines = Told(player);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(CountInLine(lines[0]), c.count) << utf::WideToUtf8(c.after) << " -> " << lines[0];
  }
}

TEST_F(RollTest, NomadRollsThreeD6ToEveryone) {
  const auto nomad = Join("Nomad");
  const auto ann = Join("Ann");
  Roll(nomad, "/d6 3", 6);
  for (auto who : {nomad, ann}) {
    EXPECT_EQ(Told(who), std::vector<std::string>{"Nomad rolled 3d6 and got: 5, 1, 6 (Total: 12)"});
    EXPECT_EQ(Senders(who), std::vector<std::string>{"[Dice]"});
  }
}

TEST_F(RollTest, SingleDieLineShowsNoTotal) {
  const auto nomad = Join("Nomad");
  for (const char* text : {"/d20", "/d20 1", "/d20 0", "/d20 -5"}) {
    DiceEngine = SeededEngine(5489);
    simhost::ClearInboxes();
    Roll(nomad, text, 20);
    EXPECT_EQ(Told(nomad), std::vector<std::string>{"Nomad rolled 1d20 and got: 17"}) << text;
  }
}

TEST_F(RollTest, NamesReachPlayersUnchanged) {
  for (const char* name : {"{}", "{", "}}{{", "{0} {:>10}", "Zoë 🎲", ""}) {
    DiceEngine = SeededEngine(5489);
    const auto who = Join(name);
    Roll(who, "/d6", 6);
    EXPECT_EQ(Told(who).back(), std::string(name) + " rolled 1d6 and got: 5");
  }
}

TEST_F(RollTest, HundredD20ListsHundredValues) {
  const auto who = Join("Nomad");
  Roll(who, "/d20 100", 20);
  const std::string line = Told(who).at(0);
  static const std::regex shape(R"(^Nomad rolled 100d20 and got: ([0-9, ]+) \(Total: (\d+)\)$)");
  std::smatch match;
  ASSERT_TRUE(std::regex_match(line, match, shape)) << line;
  const std::string values = match[1];
  int total = 0, count = 0;
  for (std::size_t at = 0; at < values.size();) {
    const std::size_t end = values.find(", ", at);
    const int value = std::stoi(values.substr(at, end - at));
    EXPECT_GE(value, 1);
    EXPECT_LE(value, 20);
    total += value;
    ++count;
    at = end == std::string::npos ? values.size() : end + 2;
  }
  EXPECT_EQ(count, 100);
  EXPECT_EQ(total, std::stoi(match[2]));
  EXPECT_LE(total, 2000);
}

TEST_F(RollTest, StaleElementsAreSkippedAndTheRollerIsIncluded) {
  const auto ann = Join("Ann");
  const auto bob = Join("Bob");
  const auto cid = Join("Cid");
  simhost::Leave(bob);
  Roll(cid, "/d4 2", 4);
  EXPECT_EQ(Told(ann).size(), 1u);
  EXPECT_TRUE(Told(bob).empty());
  EXPECT_EQ(Told(cid), Told(ann));
}

TEST_F(RollTest, NullControllerDrawsNothing) {
  Join("Ann");
  FString message(HOST_TEXT("/d6 3"));
  RollCommand(nullptr, &message, 6);
  EXPECT_EQ(simhost::DeliveryCount(), 0u);
  EXPECT_EQ(RollDie(6), 5);  // the engine has not moved
}

TEST_F(RollTest, DrawsEvenWhenNobodyReceives) {
  const auto ann = Join("Ann");
  simhost::Leave(Join("Bob"));
  simhost::FaultPlan plan;
  plan.MissingNames = {"FWeakObjectPtr.Get()"};
  simhost::SetFaults(plan);
  Roll(ann, "/d6 2", 6);
  EXPECT_EQ(simhost::DeliveryCount(), 0u);
  EXPECT_EQ(RollDie(6), 6);  // 5 and 1 went to the roll
}

TEST_F(RollTest, SenderLabelIsReadAtEveryRoll) {
  const auto who = Join("Nomad");
  SenderTag = HOST_TEXT("[GM]");
  Roll(who, "/d6", 6);
  EXPECT_EQ(Senders(who), std::vector<std::string>{"[GM]"});
}

TEST_F(RollTest, MessageEdgesNeverBreakTheRoll) {
  const auto who = Join("Nomad");
  RollCommand(simhost::Controller(who), nullptr, 6);  // absent message
  FString empty;                                      // count 0, no block
  RollCommand(simhost::Controller(who), &empty, 6);
  FString longText(utf::Utf8ToWide("/d8 7 " + std::string(600, 'x')).c_str());  // heap conversion
  RollCommand(simhost::Controller(who), &longText, 8);
  const auto lines = Told(who);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(CountInLine(lines[0]), 1);
  EXPECT_EQ(CountInLine(lines[1]), 1);
  EXPECT_EQ(CountInLine(lines[2]), 7);
}

// Where the host yields nothing, the roll ends quietly, and nothing leaks (fixture). Each
// name goes missing only after a roll that found it: an address kept from an earlier roll
// would still be called.
TEST_F(RollTest, MissingHostPiecesEndTheRollQuietly) {
  const std::vector<std::string> names{"AShooterPlayerController.GetPlayerCharacterName()",
                                       "UWorld.PlayerControllerList", "FWeakObjectPtr.Get()"};
  const auto who = Join("Nomad");
  for (const auto& name : names) {
    simhost::ClearInboxes();
    Roll(who, "/d6 3", 6);
    ASSERT_EQ(Told(who).size(), 1u) << name;
    simhost::FaultPlan plan;
    plan.MissingNames = {name};
    simhost::SetFaults(plan);
    Roll(who, "/d6 3", 6);
    simhost::SetFaults({});
    EXPECT_EQ(Told(who).size(), 1u) << name;
  }
  simhost::FaultPlan plan;
  plan.EmptyRelay = true;
  simhost::SetFaults(plan);
  Roll(who, "/d6 3", 6);
  EXPECT_EQ(Told(who).size(), 1u);
}

// The allocator's own natives may go missing too, after rolls that used them: a missing
// Malloc is a failed allocation, a missing Free a block left to the host, never a crash.
TEST_F(RollTest, MissingAllocatorNativesNeverCrash) {
  struct Case {
    const char* name;
    int count;  // the long message's count as read
  };
  const std::vector<Case> cases{{"FMemory.Malloc(unsigned__int64,unsignedint)", 1},
                                {"FMemory.Free(void*)", 7}};
  const auto who = Join("Nomad");
  // 200 characters: reading the count needs a block of the plugin's own.
  const std::string text = "/d8 7" + std::string(200, ' ');
  for (const Case& c : cases) {
    simhost::ClearInboxes();
    Roll(who, text, 8);
    simhost::FaultPlan plan;
    plan.MissingNames = {c.name};
    simhost::SetFaults(plan);
    Roll(who, text, 8);
    simhost::SetFaults({});
    const auto lines = Told(who);
    ASSERT_EQ(lines.size(), 2u) << c.name;
    EXPECT_EQ(CountInLine(lines[0]), 7) << c.name;
    EXPECT_EQ(CountInLine(lines[1]), c.count) << c.name;
  }
  // Without Free the plugin could not give its blocks back: they stay with the host.
  before_.Blocks = simhost::Memory().Blocks;
  before_.Bytes = simhost::Memory().Bytes;
}

TEST_F(RollTest, AllocatorFailureWhileReadingTheCountMeansOneDie) {
  const auto who = Join("Nomad");
  // 200 characters: the conversion needs a block, the first Malloc after the message exists.
  FString message(utf::Utf8ToWide("/d6 5" + std::string(200, ' ')).c_str());
  simhost::FaultPlan plan;
  plan.FailMallocAt = 1;
  simhost::SetFaults(plan);
  RollCommand(simhost::Controller(who), &message, 6);
  ASSERT_EQ(Told(who).size(), 1u);
  EXPECT_EQ(CountInLine(Told(who)[0]), 1);
}

TEST_F(RollTest, RelayIsAskedWithThisModulesFullPath) {
#if defined(_WIN32)
  GTEST_SKIP() << "no /proc here; tests/windows checks the path of the loaded DLL";
#else
  const auto who = Join("Nomad");
  Roll(who, "/d6", 6);
  ASSERT_EQ(simhost::RelayRequests().size(), 1u);
  const std::string path = utf::WideToUtf8(simhost::RelayRequests()[0]);
  // Linked into this test program, the handler's module is the program itself.
  EXPECT_EQ(std::filesystem::weakly_canonical(path),
            std::filesystem::weakly_canonical("/proc/self/exe"));
#endif
}

}  // namespace
