// The steps every dice command shares, before and after its own reading and drawing.
#pragma once

#include "dice/line_writer.h"
#include "dice/roll_log.h"
#include "host/asa_api.h"

// The cooldown gate every roll passes first. When the roller's cooldown still runs, tells
// them alone "Wait N s before rolling again" and returns true: the roll draws nothing.
bool WaitingForCooldown(const AShooterPlayerController* player);

// Starts the roller's cooldown, when the operator set one.
void StartRollerCooldown(const AShooterPlayerController* player);

// Fills `name` with the roller's character name. False when the host has no such native.
bool GetCharacterName(AShooterPlayerController* player, FString& name);

// Sends a finished line to its audience (every live player, or the roller alone) and, when
// the operator asked for a roll log, logs it once it reached somebody.
// `line` is zero-terminated.
void SendRollLine(const AShooterPlayerController* player, const WideChar* line, Audience audience);

// Sends a line that is no roll (a refusal, an error) to the roller alone; never logged.
void TellRoller(const AShooterPlayerController* player, const WideChar* line);
