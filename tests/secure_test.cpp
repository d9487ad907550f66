// Rolls from the system's secure source: every command draws from it alone, and a failed
// source refuses the roll with one line and one log entry.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "dice/cooldown.h"
#include "dice/engine.h"
#include "dice/messages.h"
#include "dice/notation_command.h"
#include "dice/roll_command.h"
#include "dice/secure_feed.h"
#include "dice/settings.h"
#include "host_fixture.h"
#include "log/log.h"

#if !defined(_WIN32)
#include <sys/random.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>

// The platform layer's system call, replaced for this program: it fails on request, or
// hands out words the test chose, and otherwise asks the kernel.
namespace source {
int calls = 0;
bool fail = false;
std::vector<std::uint32_t> words;  // the next block starts with these
ssize_t shortBy = 0;               // the next call fills this many bytes fewer than asked
}  // namespace source

extern "C" ssize_t getrandom(void* buffer, size_t size, unsigned int flags) {
  ++source::calls;
  if (source::fail) {
    errno = EIO;
    return -1;
  }
  const auto result = syscall(SYS_getrandom, buffer, size, flags) - source::shortBy;
  source::shortBy = 0;
  const std::size_t given = std::min(source::words.size() * 4, size);
  if (given != 0) std::memcpy(buffer, source::words.data(), given);
  source::words.clear();
  return result;
}
#endif

namespace {

class SecureTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    DiceEngine = SeededEngine(5489);
    SenderTag = HOST_TEXT("[Dice]");
    Settings = {};
    Settings.SecureRolls = true;
    ClearCooldowns();
    CreatePluginLog(PluginLogHolder(), "Rollmoot");
  }
  void TearDown() override {
#if !defined(_WIN32)
    source::fail = false;
    source::words.clear();
#endif
    Settings = {};
    ClearCooldowns();
    PluginLogHolder().reset();
    HostTest::TearDown();
  }
  // One of the three kinds of dice command, typed by `who`.
  static void Type(simhost::PlayerId who, const std::string& text, int sides) {
    FString message(utf::Utf8ToWide(text).c_str());
    auto* player = simhost::Controller(who);
    if (text.rfind("/roll", 0) == 0) {
      NotationRollCommand(player, &message);
    } else if (text.rfind("/pd", 0) == 0) {
      PrivateRollCommand(player, &message, sides);
    } else {
      RollCommand(player, &message, sides);
    }
  }
};

struct Command {
  std::string Text;
  int Sides;      // of every die it rolls; unused for /roll
  int Dice;       // how many it rolls
  bool Everyone;  // seen by every player, or the roller alone
};
const std::vector<Command> Commands{
    {"/d20 100", 20, 100, true},
    {"/pd3 70", 3, 70, false},
    {"/roll 100d1000", 1000, 100, true},
};

// The die values of a line, whichever command wrote it.
std::vector<int> Values(const std::string& line) {
  std::vector<int> values;
  const std::string shown = line.substr(line.find("got: ") + 5);
  static const std::regex number(R"(\d+)");
  for (auto it = std::sregex_iterator(shown.begin(), shown.end(), number);
       it != std::sregex_iterator(); ++it) {
    values.push_back(std::stoi(it->str()));
  }
  if (values.size() > 1) values.pop_back();  // the total
  return values;
}

TEST_F(SecureTest, EveryCommandDrawsInRangeAndLeavesTheEngineAlone) {
  Settings.RollCommand = true;
  const auto ann = Join("Ann");
  for (const Command& command : Commands) {
    SCOPED_TRACE(command.Text);
    simhost::ClearInboxes();
    Type(ann, command.Text, command.Sides);
    ASSERT_EQ(Told(ann).size(), 1u);
    const std::vector<int> values = Values(Told(ann)[0]);
    ASSERT_EQ(values.size(), static_cast<std::size_t>(command.Dice));
    for (int value : values) {
      ASSERT_GE(value, 1);
      ASSERT_LE(value, command.Sides);
    }
  }
  EXPECT_EQ(RollDie(6), 5) << "the engine moved";
}

#if !defined(_WIN32)

// Whichever command, and whether the block ran dry before the roll or in the middle of it.
TEST_F(SecureTest, FailedSourceRefusesTheRollWithOneLineAndOneLogEntry) {
  Settings.RollCommand = true;
  Settings.LogRolls = true;
  Settings.CooldownSeconds = 60;
  const auto ann = Join("Ann");
  const auto bob = Join("Bob");
  for (const Command& command : Commands) {
    for (const std::uint32_t left : {0u, 5u}) {
      SCOPED_TRACE(command.Text + " with " + std::to_string(left) + " words left");
      simhost::ClearInboxes();
      const std::size_t logged = sink_->Entries().size();
      const std::size_t deliveries = simhost::DeliveryCount();
      SecureWords.Position = SecureBlockWords - left;
      SecureWords.End = SecureBlockWords;
      source::fail = true;
      source::calls = 0;
      Type(ann, command.Text, command.Sides);
      EXPECT_EQ(source::calls, 1) << "a failed source was asked again";
      EXPECT_EQ(Told(ann), std::vector<std::string>{"Cannot roll now: no secure random source"});
      EXPECT_EQ(Senders(ann), std::vector<std::string>{"[Dice]"});
      EXPECT_TRUE(Told(bob).empty());
      EXPECT_EQ(simhost::DeliveryCount(), deliveries + 1);
      const auto entries = sink_->Entries();
      ASSERT_EQ(entries.size(), logged + 1);
      EXPECT_EQ(entries.back().Level, spdlog::level::err);
      EXPECT_EQ(entries.back().Message, "Rollmoot: Secure rolls: the system random source failed");

      // No cooldown started: the source is back, and so is the roll.
      source::fail = false;
      simhost::ClearInboxes();
      Type(ann, command.Text, command.Sides);
      ASSERT_EQ(Told(ann).size(), 1u);
      EXPECT_NE(Told(ann)[0].find("Ann rolled"), std::string::npos);
      ClearCooldowns();
    }
  }
  EXPECT_EQ(RollDie(6), 5) << "the engine stood in for the failed source";
}

// The refusal is a message like any other: the operator's NoSecureSource text when set.
TEST_F(SecureTest, FailedSourceSendsTheOperatorsMessage) {
  const auto ann = Join("Ann");
  MessageTemplate& message = Messages[static_cast<std::size_t>(MessageId::NoSecureSource)];
  ASSERT_EQ(ParseMessage(MessageId::NoSecureSource, U"Jetzt nicht", message).Error,
            TemplateError::None);
  SecureWords.Position = SecureWords.End = SecureBlockWords;
  source::fail = true;
  Type(ann, "/d6", 6);
  Messages = DefaultMessages;
  EXPECT_EQ(Told(ann), std::vector<std::string>{"Jetzt nicht"});
}

// The midpoint of value `v`'s share of the 32-bit words, for a d20.
std::uint32_t D20Word(std::uint64_t v) {
  return static_cast<std::uint32_t>(((2 * v - 1) << 32) / 40);
}

TEST_F(SecureTest, RollThatOutrunsTheBlockTakesTheRestFromOneFreshBlock) {
  const auto ann = Join("Ann");
  SecureWords.Position = SecureBlockWords - 2;
  SecureWords.End = SecureBlockWords;
  SecureWords.Words[SecureBlockWords - 2] = D20Word(7);
  SecureWords.Words[SecureBlockWords - 1] = D20Word(20);
  source::words = {D20Word(1), D20Word(13), D20Word(4)};
  source::calls = 0;
  Type(ann, "/d20 4", 20);
  EXPECT_EQ(Told(ann),
            std::vector<std::string>{"Ann rolled 4d20 and got: 7, 20, 1, 13 (Total: 41)"});
  EXPECT_EQ(source::calls, 1);
  EXPECT_EQ(SecureWords.Position, 2u);
  EXPECT_EQ(SecureWords.Words[2], D20Word(4)) << "an unused word was lost";
  for (std::uint32_t i : {0u, 1u})
    EXPECT_EQ(SecureWords.Words[i], 0u) << "word " << i << " was kept after use";

  // A short fetch (two whole words and a part) gives its whole words, and the next die
  // fetches again.
  simhost::ClearInboxes();
  SecureWords.Position = SecureWords.End;
  source::shortBy = static_cast<ssize_t>(sizeof SecureWords.Words) - 10;
  source::words = {D20Word(2), D20Word(3), D20Word(20)};
  source::calls = 0;
  Type(ann, "/d20 3", 20);
  ASSERT_EQ(Told(ann).size(), 1u);
  EXPECT_EQ(Told(ann)[0].rfind("Ann rolled 3d20 and got: 2, 3, ", 0), 0u) << Told(ann)[0];
  EXPECT_EQ(source::calls, 2);
  SecureWords.Position = SecureWords.End;
}

#endif

}  // namespace
