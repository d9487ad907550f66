// One chat message made from arbitrary bytes, typed by a player of a small simulated server
// into the registered dice commands, with every promise of the roll handler checked after.
// Shared by the fuzz target and the corpus replay test, so both judge by the same rules.
//
// Input layout (missing bytes read as zero):
//   byte 0  bits 0-2: command row 0..6 of the dice table, 7: a command nobody registered
//           bit 3: the command word in upper case (commands match ignoring ASCII case)
//           bit 4: the rest is raw UTF-16LE code units instead of UTF-8
//           bit 5: inject a host fault chosen by byte 2 (see chat_harness.cpp)
//           bit 6: call the row's callback directly with a null player
//           bit 7: bytes 3-6 set the operator's settings; without it every setting is off
//   byte 1  the speaker, an index into the roster (live, stale and mid-disconnect players)
//   byte 2  the fault: bits 0-2 a number, bits 3-4 its kind
//   with bit 7 of byte 0:
//   byte 3  bit 0: PrivateCommands, and the command is the row's private twin ("/pd6")
//           bit 1: LogRolls
//           bit 2: a cooldown (CooldownSeconds from byte 5)
//           bit 3: the speaker's cooldown started byte 6 times 15 s before the message
//           bit 4: so did every other present player's
//           bit 5: the speaker types the same message twice
//           bit 6: SecureRolls
//           bit 7: AuditRolls (each input under a key of its own, revealed and replayed after)
//   byte 4  MaxDice: 100 - byte % 100
//   byte 5  CooldownSeconds: 3600 - 14 * byte (30..3600)
//   byte 6  see byte 3 bit 3
//   rest    what the player typed right after the command text
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// Empty when every check held; otherwise a description of the first broken promise. The
// settings and cooldowns an input switched on are off again afterwards.
std::string CheckChatMessage(const std::uint8_t* data, std::size_t size);

}  // namespace fuzz
