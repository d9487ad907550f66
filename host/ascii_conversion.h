// A narrow copy of host text: each UTF-16 unit above 127 becomes '?', so only plain
// ASCII can ever act as a separator or digit. Texts of up to 127 units need no heap.
#pragma once

#include <cstdint>

#include "host/platform.h"

struct AsciiConversion {
  char Inline[128];
  char* Heap = nullptr;        // from FMemory, only for longer texts
  const char* Text = nullptr;  // null when the source was null or no block could be had
  std::int32_t Length = 0;     // converted characters, terminator not included

  explicit AsciiConversion(const WideChar* source);
  ~AsciiConversion();

  AsciiConversion(const AsciiConversion&) = delete;
  AsciiConversion& operator=(const AsciiConversion&) = delete;
};
