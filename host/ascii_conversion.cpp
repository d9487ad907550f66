#include "host/ascii_conversion.h"

#include <cstddef>

#include "host/fmemory.h"

AsciiConversion::AsciiConversion(const WideChar* source) {
  if (source == nullptr) return;

  std::size_t length = 0;
  while (source[length] != 0) ++length;
  const std::size_t units = length + 1;

  char* target = Inline;
  if (units > sizeof(Inline)) {
    Heap = static_cast<char*>(AllocateOrResize(nullptr, units, 0));
    // The host allocator may come back empty; the caller then sees no text at all,
    // rather than a write through a null block.
    if (Heap == nullptr) return;
    target = Heap;
  }

  // One select per unit and no early exit: the compiler turns this into vector code.
  for (std::size_t i = 0; i < units; ++i) {
    const auto unit = static_cast<std::uint32_t>(source[i]);
    target[i] = unit > 127u ? '?' : static_cast<char>(unit);
  }

  Text = target;
  Length = static_cast<std::int32_t>(length);
}

AsciiConversion::~AsciiConversion() {
  if (Heap != nullptr) FMemory::Free(Heap);
}
