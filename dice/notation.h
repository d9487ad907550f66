// Dice notation for /roll ("2d20kh1+5", "4d6!", "6d10>=8f1 # Attack"): reading what a player
// typed (notation/read.h), drawing its dice and applying its modifiers (notation/draw.h) and
// writing the line (notation/write.h). No host calls, and no heap of its own for anything the
// grammar accepts.
#pragma once

#include "dice/notation/draw.h"
#include "dice/notation/read.h"
#include "dice/notation/terms.h"
#include "dice/notation/write.h"
