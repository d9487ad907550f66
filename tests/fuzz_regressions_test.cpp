// Faults that fuzzing found, kept as plain tests.
#include <gtest/gtest.h>

#include <regex>

#include "dice/engine.h"
#include "host_fixture.h"
#include "plugin/commands.h"

namespace {

class FuzzRegressions : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    DiceEngine = SeededEngine(5489);
    for (const DiceCommand& row : DiceCommandTable) {
      const FString text(row.Text);
      AsaApi::GetCommands().RegisterChatCommand(text, ChatCommandCallback(row.Callback));
    }
  }
  void TearDown() override {
    for (const DiceCommand& row : DiceCommandTable) {
      const FString text(row.Text);
      AsaApi::GetCommands().UnregisterChatCommand(text);
    }
    HostTest::TearDown();
  }
};

// With the host allocator failing at any one point of a roll, players were sent an empty
// line (or one without its label). A roll that cannot be told whole is not told at all;
// whatever is told is the full line under the label.
TEST_F(FuzzRegressions, HeapExhaustionNeverSendsAnEmptyOrUnlabelledLine) {
  const std::regex WholeLine(
      R"((Nomad)? rolled (1d6 and got: [1-6]|3d6 and got: [1-6], [1-6], [1-6] \(Total: \d+\)))");
  const auto nomad = Join("Nomad");
  const auto ann = Join("Ann");
  for (std::uint64_t failing = 1; failing <= 8; ++failing) {
    simhost::ClearInboxes();
    simhost::FaultPlan plan;
    plan.FailMallocAt = failing;
    simhost::SetFaults(plan);
    Say(nomad, "/d6 3");
    simhost::SetFaults({});
    for (auto who : {nomad, ann}) {
      for (const auto& line : Told(who)) {
        // Without the host's copy of the message the count reads as 1; without the name
        // the line starts at the blank, as for a nameless character.
        EXPECT_TRUE(std::regex_match(line, WholeLine)) << "malloc #" << failing << ": " << line;
      }
      for (const auto& sender : Senders(who)) EXPECT_EQ(sender, "[Dice]") << "malloc #" << failing;
    }
  }
}

TEST_F(FuzzRegressions, NoHeapAtAllSendsNothing) {
  const auto nomad = Join("Nomad");
  simhost::FaultPlan plan;
  plan.FailAllMallocs = true;
  simhost::SetFaults(plan);
  // The host cannot even copy the message; the roll still happens, but nothing can be told.
  EXPECT_TRUE(Say(nomad, "/d20 100"));
  simhost::SetFaults({});
  EXPECT_TRUE(Told(nomad).empty());
}

}  // namespace
