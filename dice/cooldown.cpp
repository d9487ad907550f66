#include "dice/cooldown.h"

#include <algorithm>
#include <vector>

namespace {

struct Cooldown {
  const AShooterPlayerController* Player;  // the controller the host passed; never dereferenced
  CooldownClock::time_point Until;
};

std::vector<Cooldown> Cooldowns;

}  // namespace

std::int32_t CooldownSecondsLeft(const AShooterPlayerController* player,
                                 CooldownClock::time_point now) {
  std::erase_if(Cooldowns, [now](const Cooldown& entry) { return entry.Until <= now; });
  const auto found =
      std::find_if(Cooldowns.begin(), Cooldowns.end(),
                   [player](const Cooldown& entry) { return entry.Player == player; });
  if (found == Cooldowns.end()) return 0;
  const auto left = found->Until - now;
  const auto seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
  return static_cast<std::int32_t>(std::max<decltype(seconds)>(seconds, 1));
}

void StartCooldown(const AShooterPlayerController* player, CooldownClock::time_point now,
                   std::int32_t seconds) {
  // The caller has just asked CooldownSecondsLeft: the player has no running cooldown.
  Cooldowns.push_back({player, now + std::chrono::seconds(seconds)});
}

void ClearCooldowns() {
  std::vector<Cooldown>().swap(Cooldowns);
}
