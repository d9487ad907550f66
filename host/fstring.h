// The host's text value as the plugin sees it: a UTF-16 block from the host allocator,
// its used count (terminator included) and its capacity. Only the host constructs one
// with text; the plugin releases the block through FMemory when its value goes away.
#pragma once

#include <cstdint>

#include "host/fmemory.h"
#include "host/platform.h"

struct FString {
  WideChar* Data = nullptr;  // null when the string owns no block
  std::int32_t Num = 0;      // code units in use, terminating zero included
  std::int32_t Max = 0;      // code units the block can hold

  // An empty value, as handed to a native that fills it.
  FString() = default;
  // Host constructors: each copies the zero-terminated text into a new FMemory block.
  HOST_API FString(const char* text);
  HOST_API FString(const WideChar* text);

  FString(const FString&) = delete;
  FString& operator=(const FString&) = delete;

  // The count is not consulted: whatever block is owned goes back to the host.
  ~FString() {
    if (Data != nullptr) FMemory::Free(Data);
  }

  // The text, or a static empty text when nothing is in use.
  const WideChar* operator*() const { return Num != 0 ? Data : HOST_TEXT(""); }
};
