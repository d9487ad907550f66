// The per-player cooldown between rolls. Only players whose cooldown still runs are kept:
// the table holds at most as many entries as players rolled within one cooldown, however
// many come and go, and grows only when more do so than ever before.
#pragma once

#include <chrono>
#include <cstdint>

struct AShooterPlayerController;

using CooldownClock = std::chrono::steady_clock;  // monotonic: a clock change frees nobody

// Seconds left of `player`'s cooldown at `now`, rounded up and at least 1; 0 when none runs.
// Forgets every cooldown that has run out by `now`.
std::int32_t CooldownSecondsLeft(const AShooterPlayerController* player,
                                 CooldownClock::time_point now);

// `player` rolled at `now`: no roll of theirs for `seconds` from then.
void StartCooldown(const AShooterPlayerController* player, CooldownClock::time_point now,
                   std::int32_t seconds);

// Forgets every cooldown, and the memory that held them (a fresh load starts over).
void ClearCooldowns();
