// The handler behind every dice command: read the count, roll, tell every live player.
#pragma once

#include <cstdint>

#include "host/asa_api.h"

// The sender label of every roll line. "[Dice]" from module load, before any code runs;
// replaced whole, at most once, by the configuration loader.
extern WideString SenderTag;

inline constexpr std::int32_t MaxDiceCount = 100;

// The number of dice a chat message asks for: what follows its first space, read as a
// base-10 integer and limited to 1..MaxDiceCount; 1 when nothing readable is there.
std::int32_t ReadDiceCount(const FString* message);

// Rolls for `player` and sends the line to every player whose controller still resolves.
// A null player draws nothing. The handler reports nothing and keeps nothing.
void RollCommand(AShooterPlayerController* player, FString* message, int sides);
