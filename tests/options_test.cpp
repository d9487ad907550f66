// The operator's roll settings, as a roll meets them: cooldown, private rolls, the roll log
// and the dice limit. Each is off unless config.json switches it on.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "config/messages_config.h"
#include "dice/cooldown.h"
#include "dice/engine.h"
#include "dice/messages.h"
#include "dice/notation_command.h"
#include "dice/roll_command.h"
#include "dice/settings.h"
#include "host_fixture.h"
#include "log/log.h"

namespace {

using namespace std::chrono_literals;

class OptionsTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    DiceEngine = SeededEngine(5489);
    SenderTag = HOST_TEXT("[Dice]");
    Settings = {};
    ClearCooldowns();
    CreatePluginLog(PluginLogHolder(), "Rollmoot");
  }
  void TearDown() override {
    CooldownNow = &CooldownClock::now;
    Settings = {};
    ClearCooldowns();
    PluginLogHolder().reset();
    HostTest::TearDown();
  }
  static void Roll(simhost::PlayerId who, const std::string& text, int sides,
                   void (*command)(AShooterPlayerController*, FString*, int) = &RollCommand) {
    FString message(utf::Utf8ToWide(text).c_str());
    command(simhost::Controller(who), &message, sides);
  }
  static void Private(simhost::PlayerId who, const std::string& text, int sides) {
    Roll(who, text, sides, &PrivateRollCommand);
  }
};

// --- cooldown ----------------------------------------------------------------------------

TEST(CooldownTable, CountsDownInWholeSecondsRoundedUpAndForgets) {
  ClearCooldowns();
  const auto t0 = CooldownClock::now();
  // Two controllers in the same object slot, one after the other: only the serial differs.
  const FWeakObjectPtr ann{0, 1};
  const FWeakObjectPtr bob{0, 2};
  StartCooldown(ann, t0, 3);
  EXPECT_EQ(CooldownSecondsLeft(ann, t0), 3);
  EXPECT_EQ(CooldownSecondsLeft(ann, t0 + 500ms), 3);
  EXPECT_EQ(CooldownSecondsLeft(ann, t0 + 2001ms), 1);
  EXPECT_EQ(CooldownSecondsLeft(ann, t0 + 2999ms), 1);
  EXPECT_EQ(CooldownSecondsLeft(bob, t0 + 1s), 0) << "one player's cooldown is not another's";
  EXPECT_EQ(CooldownSecondsLeft(ann, t0 + 3s), 0);
  EXPECT_EQ(CooldownSecondsLeft(ann, t0 + 1s), 0) << "a cooldown that ran out is forgotten";
  ClearCooldowns();
}

TEST_F(OptionsTest, CooldownRefusesWithoutDrawingAndWithoutExtending) {
  Settings.CooldownSeconds = 1;
  Settings.PrivateCommands = true;
  Settings.LogRolls = true;
  const auto ann = Join("Ann");
  const auto bob = Join("Bob");
  // Time moves only when the test says so: a busy machine cannot run a cooldown out early.
  static CooldownClock::time_point now;
  now = CooldownClock::time_point{} + 1h;
  CooldownNow = [] { return now; };
  Roll(ann, "/d6 3", 6);
  const std::string rolled = "Ann rolled 3d6 and got: 5, 1, 6 (Total: 12)";
  Roll(ann, "/d6 3", 6);
  Private(ann, "/pd6", 6);  // public and private commands share one cooldown
  Roll(bob, "/d6", 6);      // Bob's own cooldown starts here
  EXPECT_EQ(Told(ann), (std::vector<std::string>{rolled, "Wait 1 s before rolling again",
                                                 "Wait 1 s before rolling again",
                                                 "Bob rolled 1d6 and got: 6"}));
  EXPECT_EQ(Senders(ann), std::vector<std::string>(4, "[Dice]"));
  EXPECT_EQ(Told(bob), (std::vector<std::string>{rolled, "Bob rolled 1d6 and got: 6"}));
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Rollmoot: Roll: " + rolled,
                                                     "Rollmoot: Roll: Bob rolled 1d6 and got: 6"}))
      << "refusals are not logged";

  // A refusal half-way through does not extend the cooldown.
  now += 500ms;
  simhost::ClearInboxes();
  Roll(ann, "/d6", 6);
  EXPECT_EQ(Told(ann), std::vector<std::string>{"Wait 1 s before rolling again"});
  now += 500ms;
  Roll(ann, "/d6", 6);
  EXPECT_EQ(Told(ann).back(), "Ann rolled 1d6 and got: 1") << "the dice refused were not drawn";
}

// A newcomer may get a departed player's memory, and even their object slot: the cooldown
// stays with the player who rolled. Public and private rolls and /roll all meet it.
TEST_F(OptionsTest, CooldownStaysWithTheRollerWhoeverGetsTheirMemory) {
  Settings.CooldownSeconds = 30;
  Settings.PrivateCommands = true;
  simhost::SetControllerReuse(true);
  const auto watcher = Join("Watcher");
  const auto ann = Join("Ann");
  const AShooterPlayerController* annMemory = simhost::Controller(ann);
  Roll(ann, "/d20", 20);
  simhost::Leave(ann);
  const auto bob = Join("Bob");
  ASSERT_EQ(simhost::Controller(bob), annMemory) << "the host did not reuse the memory";
  ASSERT_EQ(simhost::ListElement(bob).ObjectIndex, simhost::ListElement(ann).ObjectIndex);
  Private(bob, "/pd6", 6);  // his own cooldown starts here
  Roll(bob, "/d6", 6);
  simhost::Leave(bob);
  const auto cy = Join("Cy");
  FString expression(HOST_TEXT("/roll 1d4"));
  NotationRollCommand(simhost::Controller(cy), &expression);
  simhost::Leave(cy);
  const auto annAgain = Join("Ann");  // a new controller (Cy's memory): no cooldown of hers
  Roll(annAgain, "/d8", 8);
  Roll(annAgain, "/d8", 8);
  EXPECT_EQ(Told(bob), (std::vector<std::string>{"Bob rolled 1d6 and got: 1",
                                                 "Wait 30 s before rolling again"}));
  EXPECT_EQ(Told(annAgain), (std::vector<std::string>{"Ann rolled 1d8 and got: 7",
                                                      "Wait 30 s before rolling again"}));
  EXPECT_EQ(Told(watcher), (std::vector<std::string>{"Ann rolled 1d20 and got: 17",
                                                     "Cy rolled 1d4 and got: [4] (Total: 4)",
                                                     "Ann rolled 1d8 and got: 7"}));
}

// --- private rolls -----------------------------------------------------------------------

TEST_F(OptionsTest, PrivateRollTellsTheRollerAloneTheLineItsTwinWouldSend) {
  const auto ann = Join("Ann");
  const auto bob = Join("Bob");
  simhost::Leave(Join("Cid"));
  Private(ann, "/pd6 3", 6);
  EXPECT_EQ(Told(ann), std::vector<std::string>{"Ann rolled 3d6 and got: 5, 1, 6 (Total: 12)"});
  EXPECT_EQ(Senders(ann), std::vector<std::string>{"[Dice]"});
  EXPECT_TRUE(Told(bob).empty());
  EXPECT_EQ(simhost::DeliveryCount(), 1u);

  // Mid-disconnect the roller's controller still calls, but no longer resolves: the dice are
  // drawn, and nobody is told.
  simhost::BeginLeave(bob);
  Private(bob, "/pd20", 20);
  EXPECT_TRUE(Told(bob).empty());
  EXPECT_EQ(simhost::DeliveryCount(), 1u);
  EXPECT_EQ(RollDie(6), 1) << "the private d20 drew one die";
}

// Unset, a private line is its public twin's, customised or not; set, it is the roller's own.
TEST_F(OptionsTest, PrivateLinesFollowTheirPublicTwinsUnlessSet) {
  struct Case {
    const char* Messages;
    std::vector<std::string> Lines;  // /pd6, /pd6 2, /d6
  };
  const std::vector<Case> cases{
      {"{}",
       {"Ann rolled 1d6 and got: 5", "Ann rolled 2d6 and got: 1, 6 (Total: 7)",
        "Ann rolled 1d6 and got: 6"}},
      {R"({"Roll": "{name}: {results}", "RollMany": "{name}: {results} = {total}"})",
       {"Ann: 5", "Ann: 1, 6 = 7", "Ann: 6"}},
      {R"({"Roll": "{name}: {results}", "PrivateRoll": "{name} (only you saw it): {results}"})",
       {"Ann (only you saw it): 5", "Ann rolled 2d6 and got: 1, 6 (Total: 7)", "Ann: 6"}},
      // A refused private line follows its twin as an unset one does.
      {R"({"Roll": "{name}: {results}", "PrivateRoll": "{x}", "PrivateRollMany": "{total}!"})",
       {"Ann: 5", "7!", "Ann: 6"}},
  };
  Settings.LogRolls = true;
  const auto ann = Join("Ann");
  const auto bob = Join("Bob");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Messages);
    Messages = DefaultMessages;
    ReadMessages(nlohmann::json::parse(std::string(R"({"Messages": )") + c.Messages + "}"));
    DiceEngine = SeededEngine(5489);
    simhost::ClearInboxes();
    const auto logged = LogMessages().size();
    Private(ann, "/pd6", 6);
    Private(ann, "/pd6 2", 6);
    Roll(ann, "/d6", 6);
    EXPECT_EQ(Told(ann), c.Lines);
    EXPECT_EQ(Told(bob), std::vector<std::string>{c.Lines[2]});
    const auto lines = LogMessages();
    EXPECT_EQ(
        std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(logged), lines.end()),
        (std::vector<std::string>{"Rollmoot: Private roll: " + c.Lines[0],
                                  "Rollmoot: Private roll: " + c.Lines[1],
                                  "Rollmoot: Roll: " + c.Lines[2]}));
  }
  Messages = DefaultMessages;
}

// --- roll log ----------------------------------------------------------------------------

TEST_F(OptionsTest, RollLogWritesEverySentLineAsPlayersGotIt) {
  const auto quiet = Join("Quiet");
  Roll(quiet, "/d6", 6);
  EXPECT_TRUE(LogMessages().empty()) << "off unless switched on";

  Settings.LogRolls = true;
  const auto odd = simhost::Join(WideString(HOST_TEXT("{} %s %% ")) + WideChar(0xD800));
  Roll(odd, "/d4 2", 4);
  Private(odd, "/pd8", 8);
  const std::vector<std::string> expected{
      "Rollmoot: Roll: {} %s %% \xEF\xBF\xBD rolled 2d4 and got: 1, 4 (Total: 5)",
      "Rollmoot: Private roll: {} %s %% \xEF\xBF\xBD rolled 1d8 and got: 7"};
  EXPECT_EQ(LogMessages(), expected);
  for (const auto& entry : sink_->Entries()) EXPECT_EQ(entry.Level, spdlog::level::info);
}

// A name is player text: whatever it holds, each roll is one log line, with the name's control
// characters and line separators shown as U+FFFD, while players still get the name as it is.
TEST_F(OptionsTest, RollLogShowsControlCharactersOfNamesAsReplacement) {
  Settings.LogRolls = true;
  const std::string r = "\xEF\xBF\xBD";
  const std::string zeros(64, '0');
  struct Case {
    std::string name;
    std::string shown;
  };
  const std::vector<Case> cases{
      {"Zed\rRollmoot: Roll audit: commitment " + zeros + "\rx",
       "Zed" + r + "Rollmoot: Roll audit: commitment " + zeros + r + "x"},
      {"Ann\nRollmoot: Plugin unloaded", "Ann" + r + "Rollmoot: Plugin unloaded"},
      {"Li\xE2\x80\xA8ne Pa\xE2\x80\xA9ra", "Li" + r + "ne Pa" + r + "ra"},  // U+2028, U+2029
      {"Nel\xC2\x85!Del\x7F", "Nel" + r + "!Del" + r},                       // U+0085, DEL
      {"Tab\tEsc\x1B[2J\x01\x1F ok", "Tab" + r + "Esc" + r + "[2J" + r + r + " ok"},
  };
  for (const Case& c : cases) {
    const std::size_t logged = LogMessages().size();
    const auto who = Join(c.name);
    Roll(who, "/d6 2\nRollmoot: Plugin unloaded", 6);
    Private(who, "/pd4", 4);
    FString notation(HOST_TEXT("/roll 1d8+2"));
    NotationRollCommand(simhost::Controller(who), &notation);
    const std::vector<std::string> told = Told(who);
    ASSERT_EQ(told.size(), 3u) << c.shown;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < told.size(); ++i) {
      ASSERT_EQ(told[i].rfind(c.name, 0), 0u) << "players get the name as it is: " << told[i];
      expected.push_back((i == 1 ? "Rollmoot: Private roll: " : "Rollmoot: Roll: ") + c.shown +
                         told[i].substr(c.name.size()));
    }
    const std::vector<std::string> log = LogMessages();
    EXPECT_EQ(
        std::vector<std::string>(log.begin() + static_cast<std::ptrdiff_t>(logged), log.end()),
        expected);
  }
}

// --- dice limit --------------------------------------------------------------------------

TEST_F(OptionsTest, DiceLimitCapsTheCountAndNothingElse) {
  struct Case {
    std::int32_t maxDice;
    const char* message;
    int count;
  };
  const std::vector<Case> cases{{1, "/d6 500", 1}, {1, "/d6 0", 1},       {7, "/d6 5", 5},
                                {7, "/d6 8", 7},   {100, "/d6 500", 100}, {100, "/d6 -3", 1}};
  const auto who = Join("Nomad");
  for (const Case& c : cases) {
    Settings.MaxDice = c.maxDice;
    simhost::ClearInboxes();
    Roll(who, c.message, 6);
    const std::string line = Told(who).at(0);
    const std::string shown =
        c.count == 1 ? "rolled 1d6 " : "rolled " + std::to_string(c.count) + "d6 ";
    EXPECT_NE(line.find(shown), std::string::npos) << c.maxDice << " " << c.message << ": " << line;
  }
}

// --- /roll ---------------------------------------------------------------------------------

TEST_F(OptionsTest, RollCommandReadsAfterTheFirstBlankAndMeetsEverySetting) {
  Settings.CooldownSeconds = 60;
  Settings.LogRolls = true;
  Settings.MaxDice = 3;
  const auto ann = Join("Ann");
  const auto bob = Join("Bob");
  const auto roll = [](simhost::PlayerId who, const WideString& text) {
    FString message(text.c_str());
    NotationRollCommand(simhost::Controller(who), &message);
  };
  roll(ann, HOST_TEXT("/roll  2 d6"));  // refused: no draw, no log, no cooldown
  roll(ann, HOST_TEXT("/roll 4d6"));    // more dice than the operator allows
  roll(ann, HOST_TEXT("/roll\t3d6-1"));
  roll(ann, HOST_TEXT("/roll 1d4 + nonsense"));            // the cooldown is checked first
  NotationRollCommand(simhost::Controller(bob), nullptr);  // no expression at all: 1d20
  const std::string annRolled = "Ann rolled 3d6-1 and got: [5, 1, 6] - 1 (Total: 11)";
  const std::string bobRolled = "Bob rolled 1d20 and got: [17] (Total: 17)";
  EXPECT_EQ(Told(ann), (std::vector<std::string>{
                           "Cannot roll \"2 d6\": no space allowed inside a term at character 2",
                           "Cannot roll \"4d6\": at most 3 dice in one roll", annRolled,
                           "Wait 60 s before rolling again", bobRolled}));
  EXPECT_EQ(Told(bob), (std::vector<std::string>{annRolled, bobRolled}));
  EXPECT_EQ(LogMessages(), (std::vector<std::string>{"Rollmoot: Roll: " + annRolled,
                                                     "Rollmoot: Roll: " + bobRolled}));
}

}  // namespace
