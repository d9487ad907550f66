// A simulated server set up for one roll scenario: the relay in lean mode (it counts
// deliveries and stores nothing), the players joined, and the chat text held as the host
// hands it to a command callback. What a roll costs beyond this is the roller's own work.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "host/asa_api.h"

namespace bench {

struct Scenario {
  std::string Name;
  std::u16string Message;
  int Sides;
  int Players;
};

// "d6_1p": "/d6" to 1 player; "d20x100_100p": "/d20 100" to 100 players; "msg500_1p": a
// 500-character chat line ("/d6 3" and chatter) to 1 player.
const std::vector<Scenario>& Scenarios();
const Scenario* FindScenario(const std::string& name);

// The three ways of handling a roll, called as a command callback calls the handler.
using RollFn = void (*)(AShooterPlayerController* player, FString* message, int sides);
struct Implementation {
  const char* Name;
  RollFn Roll;
};
// "ours" (RollCommand), "floor" (the unavoidable work), "conventional".
const std::vector<Implementation>& Implementations();
const Implementation* FindImplementation(const std::string& name);

class BenchServer {
 public:
  explicit BenchServer(const Scenario& scenario);
  ~BenchServer();
  BenchServer(const BenchServer&) = delete;
  BenchServer& operator=(const BenchServer&) = delete;

  AShooterPlayerController* Roller() const { return roller_; }
  FString* Message() { return &*message_; }

 private:
  AShooterPlayerController* roller_ = nullptr;
  std::optional<FString> message_;  // a host block, as the host's command dispatch makes it
};

}  // namespace bench
