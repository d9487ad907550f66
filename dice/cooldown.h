// The per-player cooldown between rolls, kept by the roller's element of the world's player
// list: it names their controller for that controller's lifetime and no other, where an
// address may be handed to the next player to join. Only players whose cooldown still runs
// are kept: the table holds at most as many entries as players rolled within one cooldown,
// however many come and go, and grows only when more do so than ever before.
#pragma once

#include <chrono>
#include <cstdint>

#include "host/asa_api.h"

using CooldownClock = std::chrono::steady_clock;  // monotonic: a clock change frees nobody

// The time the roll commands go by. Tests put a clock of their own here, so that what they
// check follows the order of events, not how fast the machine runs them.
inline CooldownClock::time_point (*CooldownNow)() = &CooldownClock::now;

// Seconds left at `now` of the cooldown of the player `roller` names, rounded up and at least
// 1; 0 when none runs. Forgets every cooldown that has run out by `now`.
std::int32_t CooldownSecondsLeft(const FWeakObjectPtr& roller, CooldownClock::time_point now);

// The player `roller` names rolled at `now`: no roll of theirs for `seconds` from then.
void StartCooldown(const FWeakObjectPtr& roller, CooldownClock::time_point now,
                   std::int32_t seconds);

// Forgets every cooldown, and the memory that held them (a fresh load starts over).
void ClearCooldowns();
