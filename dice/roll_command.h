// The handler behind every dice command: read the count, roll, tell every live player.
#pragma once

#include "dice/delivery.h"
#include "dice/dice_count.h"
#include "host/asa_api.h"

// Rolls for `player` and sends the line to every player whose controller still resolves.
// A null player draws nothing. The handler reports nothing and keeps nothing.
void RollCommand(AShooterPlayerController* player, FString* message, int sides);
