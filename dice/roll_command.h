// The handler behind every dice command: read the count, roll, tell every live player.
#pragma once

#include "dice/delivery.h"
#include "dice/dice_count.h"
#include "host/asa_api.h"

// Rolls for `player` and sends the line to every player whose controller still resolves.
// A null player draws nothing. With the operator's settings off, the handler reports nothing
// and keeps nothing; a cooldown, a lower dice limit and the roll log apply when set.
void RollCommand(AShooterPlayerController* player, FString* message, int sides);

// The same roll, the same line, to the roller alone.
void PrivateRollCommand(AShooterPlayerController* player, FString* message, int sides);
