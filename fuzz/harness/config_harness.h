// Arbitrary bytes as config.json, loaded the way start-up loads it, with the loader's
// promises checked after: the file's label and settings with exactly their lines, or one
// failure line and every setting off; the file untouched, no host block left out.
// Shared by the fuzz target and the corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Empty when every check held; otherwise a description of the first broken promise.
std::string CheckConfigFile(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
