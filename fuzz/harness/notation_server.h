// "/roll" typed on a small simulated server with live players and players who left, checked
// against what the notation module alone gives for the same text and engine state: the same
// line to every live player (or the same error line to the roller alone), the same dice
// drawn, the roll log and cooldown as the operator set them, no host memory or fault left.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "dice/engine.h"
#include "host/platform.h"

namespace fuzz {

// The roller's names, one live player each: empty, braces, the longest that must fit
// inline, one past it, a zero unit inside, a lone surrogate, non-ASCII.
const std::array<WideString, 7>& RollerNames();

struct ServerRoll {
  std::size_t Roller = 0;  // index into RollerNames()
  bool Tab = false;        // "/roll\t..." instead of "/roll ..."
  bool LogRolls = false;
  bool Cooldown = false;                // the operator's cooldown on (60 s)
  bool SecureRolls = false;             // dice from the system's secure source
  bool AuditRolls = false;              // dice from a key of its own, recorded and replayed
  std::int32_t MaxDice = 0;             // the operator's dice limit, 1..100
  WideStringView Text;                  // what follows the separator
  const EngineState* Engine = nullptr;  // the engine as the roll starts
};

// Empty when every check held; otherwise a description of the first broken promise.
// The roll settings and cooldowns are back to their defaults afterwards.
std::string CheckRollOnServer(const ServerRoll& roll);

}  // namespace fuzz
