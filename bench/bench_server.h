// A simulated server set up for one roll scenario: the relay in lean mode (it counts
// deliveries and stores nothing), the players joined, and the chat text held as the host
// hands it to a command callback. What a roll costs beyond this is the roller's own work.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "dice/settings.h"
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

// The ways of handling a roll, called as a command callback calls the handler, and the
// operator's settings they run under.
using RollFn = void (*)(AShooterPlayerController* player, FString* message, int sides);
struct Implementation {
  const char* Name;
  RollFn Roll;
  RollSettings Options = {};
  bool EveryMessage = false;  // every member of Messages set (German)
  bool RollerLast = false;    // the roller is the last player of the list, not the first
};
// "ours" (RollCommand), "floor" (the unavoidable work), "conventional", all with every
// setting off; then ours with every setting on and the roll log going to a sink that
// drops it: "all_on" (the cooldown at 0, so that every roll rolls), "all_on_private"
// (PrivateRollCommand) and "refused" (a long cooldown, started by the warm-up roll, so
// every measured roll is refused); "cooldown", ours with a cooldown alone, let run out
// after each roll so that every measured roll rolls (and looks its roller up); "secure", ours
// with SecureRolls alone on; "messages", ours with every setting off and every message
// replaced; "audit", ours with AuditRolls alone on (the records going to a sink that drops
// them, a key's rotation every 1,000 rolls included); "audit_file", the same with the audit
// file on, written into a folder of the system's temporary folder; and "cooldown_last",
// "cooldown" with the roller last in the world's list, so that finding them walks every element.
const std::vector<Implementation>& Implementations();
const Implementation* FindImplementation(const std::string& name);

// Sets `options` up as a load of the plugin would (the settings, no cooldown running, the
// plugin's logger over a sink that drops every line, and the messages) until the server goes.
class BenchServer {
 public:
  explicit BenchServer(const Scenario& scenario, const RollSettings& options = {},
                       bool everyMessage = false, bool rollerLast = false);
  ~BenchServer();
  BenchServer(const BenchServer&) = delete;
  BenchServer& operator=(const BenchServer&) = delete;

  AShooterPlayerController* Roller() const { return roller_; }
  FString* Message() { return &*message_; }

 private:
  AShooterPlayerController* roller_ = nullptr;
  std::optional<FString> message_;  // a host block, as the host's command dispatch makes it
  std::string auditFolder_;         // the audit file's, removed with the server
};

}  // namespace bench
