// "/roll": dice notation, switched on by the operator.
#pragma once

#include "host/asa_api.h"

// Reads the expression after the message's first space or tab, rolls it and sends the line
// to every live player; a refused expression gets one line to the roller alone, draws
// nothing and leaves the cooldown as it was. The cooldown is checked first, the operator's
// dice limit bounds the expression, and the roll log applies, as for the fixed commands.
void NotationRollCommand(AShooterPlayerController* player, FString* message);
