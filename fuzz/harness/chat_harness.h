// One chat message made from arbitrary bytes, typed by a player of a small simulated server
// into the registered dice commands, with every promise of the roll handler checked after.
// Shared by the fuzz target and the corpus replay test, so both judge by the same rules.
//
// Input layout (missing bytes read as zero):
//   byte 0  bits 0-2: command row 0..6 of the dice table, 7: a command nobody registered
//           bit 3: upper-case 'D' (commands match ignoring ASCII case)
//           bit 4: the rest is raw UTF-16LE code units instead of UTF-8
//           bit 5: inject a host fault chosen by byte 2 (see chat_harness.cpp)
//           bit 6: call the row's callback directly with a null player
//   byte 1  the speaker, an index into the roster (live and stale players)
//   byte 2  the fault: bits 0-2 a number, bits 3-4 its kind
//   rest    what the player typed right after the command text
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Empty when every check held; otherwise a description of the first broken promise.
std::string CheckChatMessage(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
