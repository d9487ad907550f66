// The "Messages" member of config.json: the operator's own text for each line players get.
#pragma once

#include <nlohmann/json_fwd.hpp>

// Takes each well-formed member of "Messages" into Messages; the others keep their default.
// Logs "Messages: N customised" when N were taken, then one error line per member not taken,
// in the byte order of their names. Messages must hold the defaults when it is called.
void ReadMessages(const nlohmann::json& document);
