// The host allocator. Every call resolves its native by exact name at the moment of use:
// the host may relocate natives between loads, so no address is kept.
#pragma once

#include <cstdint>

namespace FMemory {

void* Malloc(std::uint64_t size, std::uint32_t alignment);
void* Realloc(void* block, std::uint64_t size, std::uint32_t alignment);
void Free(void* block);

}  // namespace FMemory

// A null block is a fresh allocation, and then the alignment is deliberately not passed on.
void* AllocateOrResize(void* block, std::uint64_t size, std::uint32_t alignment);
