// The operator's roll log: each roll line that was sent, also written to the server log.
#pragma once

#include "host/fstring.h"

enum class Audience { Everyone, Roller };

// "Rollmoot: Roll: <line>", or "Rollmoot: Private roll: <line>" for a roll the roller alone
// saw; the line as UTF-8, written as it is (braces and percent signs included) but for
// control characters, which show as U+FFFD (ShownInLog): a name cannot break the line.
void LogRollLine(const FString& line, Audience audience);
