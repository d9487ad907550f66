// The lines a fixed dice command sends, from the operator's templates (English by default).
#pragma once

#include <cstdint>

#include "dice/line_writer.h"
#include "host/fstring.h"

// The Roll template for one die ("NAME rolled 1dS and got: V"), RollMany for several
// ("NAME rolled CdS and got: V, V, ... (Total: T)"); a private roll's line from PrivateRoll or
// PrivateRollMany. The name is copied unit for unit, so braces in it are never read as
// placeholders.
void BuildLine(Line& line, const FString& name, std::int32_t count, int sides,
               const std::int32_t* results, std::int64_t total, bool privateRoll = false);

// The Wait template: "Wait N s before rolling again".
void BuildWaitLine(Line& line, std::int32_t seconds);

// The NoSecureSource template: "Cannot roll now: no secure random source".
void BuildNoSecureSourceLine(Line& line);
