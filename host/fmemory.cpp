#include "host/fmemory.h"

#include "host/asa_api.h"

namespace {

using MallocFn = void* (*)(std::uint64_t, std::uint32_t);
using ReallocFn = void* (*)(void*, std::uint64_t, std::uint32_t);
using FreeFn = void (*)(void*);

}  // namespace

namespace FMemory {

// A native that cannot be found behaves as an allocator that has no memory to give,
// or, for Free, as a release that cannot happen: a missing native must not crash the server.

void* Malloc(std::uint64_t size, std::uint32_t alignment) {
  auto* native =
      reinterpret_cast<MallocFn>(GetAddress("FMemory.Malloc(unsigned__int64,unsignedint)"));
  return native != nullptr ? native(size, alignment) : nullptr;
}

void* Realloc(void* block, std::uint64_t size, std::uint32_t alignment) {
  auto* native =
      reinterpret_cast<ReallocFn>(GetAddress("FMemory.Realloc(void*,unsigned__int64,unsignedint)"));
  return native != nullptr ? native(block, size, alignment) : nullptr;
}

void Free(void* block) {
  auto* native = reinterpret_cast<FreeFn>(GetAddress("FMemory.Free(void*)"));
  if (native != nullptr) native(block);
}

}  // namespace FMemory

void* AllocateOrResize(void* block, std::uint64_t size, std::uint32_t alignment) {
  if (block == nullptr) return FMemory::Malloc(size, 0);
  return FMemory::Realloc(block, size, alignment);
}
