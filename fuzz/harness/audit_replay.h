// The roll audit's lines under one key replayed as an outside verifier would: the key against
// its commitment, the records numbered from 1, every die against the key's stream. The stream
// is computed here again from its description, not with the plugin's code.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "host/platform.h"

namespace fuzz {

struct AuditedRoll {
  std::string Name;  // as recorded: a JSON string, or null
  std::vector<std::pair<std::int32_t, std::vector<std::int32_t>>> Groups;  // sides, values
};

// `lines`: the commitment line, the record lines and the reveal line of one key, in order, as
// logged. Empty when they replay; `rolls` then holds the records.
std::string ReplayAudit(const std::vector<std::string>& lines, std::vector<AuditedRoll>& rolls);

// NAME as the record must show it: a JSON string of the UTF-8 text.
std::string JsonName(WideStringView name);

// " d<sides>:<v>,<v>,..." for one group.
std::string AuditGroupText(std::int32_t sides, const std::vector<std::int32_t>& values);

}  // namespace fuzz
