#include "dice/cooldown.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

struct Cooldown {
  FWeakObjectPtr Roller;  // the host's own value: copied and compared, never read
  CooldownClock::time_point Until;
};

std::vector<Cooldown> Cooldowns;

bool SameObject(const FWeakObjectPtr& a, const FWeakObjectPtr& b) {
  return std::memcmp(&a, &b, sizeof(FWeakObjectPtr)) == 0;
}

}  // namespace

std::int32_t CooldownSecondsLeft(const FWeakObjectPtr& roller, CooldownClock::time_point now) {
  std::erase_if(Cooldowns, [now](const Cooldown& entry) { return entry.Until <= now; });
  const auto found =
      std::find_if(Cooldowns.begin(), Cooldowns.end(),
                   [&roller](const Cooldown& entry) { return SameObject(entry.Roller, roller); });
  if (found == Cooldowns.end()) return 0;
  const auto left = found->Until - now;
  const auto seconds = std::chrono::ceil<std::chrono::seconds>(left).count();
  return static_cast<std::int32_t>(std::max<decltype(seconds)>(seconds, 1));
}

void StartCooldown(const FWeakObjectPtr& roller, CooldownClock::time_point now,
                   std::int32_t seconds) {
  // The caller has just asked CooldownSecondsLeft: the player has no running cooldown.
  Cooldowns.push_back({roller, now + std::chrono::seconds(seconds)});
}

void ClearCooldowns() {
  std::vector<Cooldown>().swap(Cooldowns);
}
