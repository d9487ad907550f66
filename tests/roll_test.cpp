#include <gtest/gtest.h>

#include "dice/engine.h"
#include "dice/roll_command.h"
#include "host_fixture.h"

namespace {

class RollTest : public HostTest {
 protected:
  void SetUp() override {
    HostTest::SetUp();
    DiceEngine.seed(5489);
  }
  void Roll(simhost::PlayerId who, const std::string& text, int sides) {
    FString message(utf::Utf8ToWide(text).c_str());
    RollCommand(simhost::Controller(who), &message, sides);
  }
};

TEST_F(RollTest, NomadRollsThreeD6) {
  const auto nomad = Join("Nomad");
  const auto other = Join("Ann");
  Roll(nomad, "/d6 3", 6);
  for (auto who : {nomad, other}) {
    EXPECT_EQ(Told(who), std::vector<std::string>{"Nomad rolled 3d6 and got: 5, 1, 6 (Total: 12)"});
    EXPECT_EQ(Senders(who), std::vector<std::string>{"[Dice]"});
  }
}

}  // namespace
