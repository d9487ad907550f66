// The line a fixed dice command sends.
#pragma once

#include <cstdint>

#include "dice/line_writer.h"
#include "host/fstring.h"

// "NAME rolled 1dS and got: V" for one die, "NAME rolled CdS and got: V, V, ... (Total: T)"
// for several. The name is copied unit for unit, so braces in it are never formatting.
void BuildLine(Line& line, const FString& name, std::int32_t count, int sides,
               const std::int32_t* results, std::int64_t total);
