// The steps every dice command shares, before and after its own reading and drawing.
#pragma once

#include <optional>
#include <span>

#include "dice/audit.h"
#include "dice/line_writer.h"
#include "dice/roll_log.h"
#include "host/asa_api.h"

// Whom the cooldown gate found rolling: the roller's element of the world's player list, or
// none (the cooldown is off, or the list holds no element that resolves to the roller).
using CooldownRoller = std::optional<FWeakObjectPtr>;

// The cooldown gate every roll passes first. When the roller's cooldown still runs, tells
// them alone the Wait line ("Wait N s before rolling again") and returns true: the roll draws
// nothing.
// A roller the list does not hold (mid-disconnect, say) cannot be told from a newcomer who
// got a departed player's memory: they are not refused, and their roll starts no cooldown.
// When the host yields no list to look in, nothing could be delivered either: the roll is
// dropped, telling nobody, rather than let through a cooldown that may run.
bool WaitingForCooldown(const AShooterPlayerController* player, CooldownRoller& roller);

// Starts the cooldown of the roller the gate found, when the operator set one.
void StartRollerCooldown(const CooldownRoller& roller);

// Fills `name` with the roller's character name. False when the host has no such native.
bool GetCharacterName(AShooterPlayerController* player, FString& name);

// Sends a finished line to its audience (every live player, or the roller alone) and, when
// the operator asked for a roll log, logs it once it reached somebody.
// `line` is zero-terminated.
void SendRollLine(const AShooterPlayerController* player, const WideChar* line, Audience audience);

// With the audit on, records a roll whose dice are drawn: `named` says whether the host gave
// the roller's name (an empty one is still a name).
void RecordRoll(bool named, const FString& name, std::span<const AuditGroup> groups);

// Sends a line that is no roll (a refusal, an error) to the roller alone; never logged.
void TellRoller(const AShooterPlayerController* player, const WideChar* line);

// The roll's feed failed: tells the roller alone the NoSecureSource line ("Cannot roll now: no
// secure random source") and logs the failure once, as an error (the audit's own line when the
// audit is on: LogAuditFailure). The roll sends nothing else and starts no cooldown.
void RefuseWithoutSource(const AShooterPlayerController* player);
