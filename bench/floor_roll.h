// The floor of a roll: the work no handler can avoid. It reads the count straight from
// the chat text, takes one raw MT19937 output per die (scaled by one multiply, no
// rejection), writes the line's digits and fixed words directly as UTF-16, and makes
// exactly the host calls a handler must make: the name native looked up once, the player
// list field once, the weak-pointer resolver once per list element, the line, sender and
// module-path FStrings, GetChatRelay, and SendToPlayer per live player. A measuring stick
// for the benchmark's own scenarios: it checks nothing, and their inputs fit its buffers.
#pragma once

#include "host/asa_api.h"

void FloorRoll(AShooterPlayerController* player, FString* message, int sides);
