// The host's own FMemory, for the FStrings it owns (the chat message it hands a command):
// their inline destructor releases through FMemory::Free. The host reaches its allocator
// directly; resolving natives by name is the plugin's way, not the host's.
#include "host/fmemory.h"

#include "state.h"

namespace FMemory {

void* Malloc(std::uint64_t size, std::uint32_t alignment) {
  return simhost::detail::Malloc(size, alignment);
}

void* Realloc(void* block, std::uint64_t size, std::uint32_t alignment) {
  return simhost::detail::Realloc(block, size, alignment);
}

void Free(void* block) {
  simhost::detail::Free(block);
}

}  // namespace FMemory
