// Handing a finished line to the players through the host's chat relay, under SenderTag.
#pragma once

#include "host/asa_api.h"

// The sender label of every roll line. "[Dice]" from module load, before any code runs;
// replaced whole, at most once per load, by the configuration loader.
extern WideString SenderTag;

// Sends `line` to every player of the world's list whose controller still resolves, the
// roller included, and returns how many were sent it. Ends quietly where the host yields
// nothing: a missing relay, world, list or native must not take the server down.
int DeliverToEveryone(const FString& line);

// Sends `line` to `player` alone, when the world's list still resolves to that controller
// (a player mid-disconnect gets nothing). Returns whether it was sent.
bool DeliverToPlayer(const AShooterPlayerController* player, const FString& line);

enum class ListSearch { Found, NotListed, NoList };

// Copies the element of the world's player list that resolves to `player` into `element`: the
// host's name for that controller for as long as it lives, never given to another. NotListed
// when no element does (a player mid-disconnect, a controller the list does not hold); NoList
// when the host yields no relay, world, list or resolver (nor could a line be delivered).
ListSearch FindListElement(const AShooterPlayerController* player, FWeakObjectPtr& element);
