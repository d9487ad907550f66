// The dice commands, in the order they are registered and removed.
#pragma once

#include <array>

#include "host/asa_api.h"

using DiceCallback = void (*)(AShooterPlayerController*, FString*, int, int);

struct DiceCommand {
  const char* Text;  // narrow; made into an FString each time it is handed to the host
  DiceCallback Callback;
};

extern const std::array<DiceCommand, 7> DiceCommandTable;

// "/pd3" to "/pd20": the same dice, seen by the roller alone; registered after the public
// ones when the operator switches them on, and removed after them.
extern const std::array<DiceCommand, 7> PrivateDiceCommandTable;

// "/roll" with dice notation: registered after every other command when the operator
// switches it on, and removed last.
extern const DiceCommand NotationCommand;

// "/dicekey": the roll audit's key as players may witness it; registered last when the audit
// is on, and removed last.
extern const DiceCommand DiceKeyCommand;

void DiceCallback3(AShooterPlayerController* player, FString* message, int, int);
void DiceCallback4(AShooterPlayerController* player, FString* message, int, int);
void DiceCallback6(AShooterPlayerController* player, FString* message, int, int);
void DiceCallback8(AShooterPlayerController* player, FString* message, int, int);
void DiceCallback10(AShooterPlayerController* player, FString* message, int, int);
void DiceCallback12(AShooterPlayerController* player, FString* message, int, int);
void DiceCallback20(AShooterPlayerController* player, FString* message, int, int);
