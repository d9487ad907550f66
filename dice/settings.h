// The operator's roll settings: written by the configuration loader, read by the roll code.
#pragma once

#include <cstdint>

#include "dice/roll_command.h"

inline constexpr std::int32_t MaxCooldownSeconds = 3600;

// Every member's default is "off": with none of them in config.json the plugin behaves
// as it does without them.
struct RollSettings {
  std::int32_t CooldownSeconds = 0;  // 0..MaxCooldownSeconds, 0 = off
  bool PrivateCommands = false;
  bool LogRolls = false;
  std::int32_t MaxDice = MaxDiceCount;  // 1..MaxDiceCount
  bool RollCommand = false;
  bool SecureRolls = false;  // every die from the system's secure source, not the engine
  bool AuditRolls = false;   // every die from the audit's committed stream, each roll recorded
  bool AuditFile = false;    // the audit's lines also in a file per UTC day; only with AuditRolls
  bool operator==(const RollSettings&) const = default;
};

// Defaults from module load, before any code runs; replaced whole by each configuration load.
extern RollSettings Settings;
