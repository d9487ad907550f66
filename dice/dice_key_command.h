// "/dicekey": what a player may note of the roll audit, so that a file published later can be
// held to it. Told to the asker alone; no roll, no cooldown, nothing logged.
#pragma once

#include "host/asa_api.h"

// The DiceKey line (the key in use: its commitment, when it was logged, the rolls so far) or,
// without a key, DiceKeyNone; then DiceKeyRevealed (the last key revealed since the load and
// its commitment) when there is one.
void TellDiceKey(const AShooterPlayerController* player);
