// Handing a finished line to the players through the host's chat relay, under SenderTag.
#pragma once

#include "host/asa_api.h"

// The sender label of every roll line. "[Dice]" from module load, before any code runs;
// replaced whole, at most once per load, by the configuration loader.
extern WideString SenderTag;

// Sends `line` to every player of the world's list whose controller still resolves, the
// roller included. Ends quietly where the host yields nothing: a missing relay, world, list
// or native must not take the server down.
void DeliverToEveryone(const FString& line);
