#include "plugin/commands.h"

#include "dice/dice_key_command.h"
#include "dice/notation_command.h"
#include "dice/roll_command.h"

// The host's two integers mean nothing to a roll and are not passed on.
void DiceCallback3(AShooterPlayerController* player, FString* message, int, int) {
  RollCommand(player, message, 3);
}
void DiceCallback4(AShooterPlayerController* player, FString* message, int, int) {
  RollCommand(player, message, 4);
}
void DiceCallback6(AShooterPlayerController* player, FString* message, int, int) {
  RollCommand(player, message, 6);
}
void DiceCallback8(AShooterPlayerController* player, FString* message, int, int) {
  RollCommand(player, message, 8);
}
void DiceCallback10(AShooterPlayerController* player, FString* message, int, int) {
  RollCommand(player, message, 10);
}
void DiceCallback12(AShooterPlayerController* player, FString* message, int, int) {
  RollCommand(player, message, 12);
}
void DiceCallback20(AShooterPlayerController* player, FString* message, int, int) {
  RollCommand(player, message, 20);
}

namespace {

template <int Sides>
void PrivateDiceCallback(AShooterPlayerController* player, FString* message, int, int) {
  PrivateRollCommand(player, message, Sides);
}

void NotationCallback(AShooterPlayerController* player, FString* message, int, int) {
  NotationRollCommand(player, message);
}

void DiceKeyCallback(AShooterPlayerController* player, FString*, int, int) {
  TellDiceKey(player);
}

}  // namespace

const std::array<DiceCommand, 7> DiceCommandTable{{
    {"/d3", &DiceCallback3},
    {"/d4", &DiceCallback4},
    {"/d6", &DiceCallback6},
    {"/d8", &DiceCallback8},
    {"/d10", &DiceCallback10},
    {"/d12", &DiceCallback12},
    {"/d20", &DiceCallback20},
}};

const std::array<DiceCommand, 7> PrivateDiceCommandTable{{
    {"/pd3", &PrivateDiceCallback<3>},
    {"/pd4", &PrivateDiceCallback<4>},
    {"/pd6", &PrivateDiceCallback<6>},
    {"/pd8", &PrivateDiceCallback<8>},
    {"/pd10", &PrivateDiceCallback<10>},
    {"/pd12", &PrivateDiceCallback<12>},
    {"/pd20", &PrivateDiceCallback<20>},
}};

const DiceCommand NotationCommand{"/roll", &NotationCallback};

const DiceCommand DiceKeyCommand{"/dicekey", &DiceKeyCallback};
