// Control surface of the simulated host: what a test, a benchmark or the console server
// uses to play the server around a loaded plugin. The plugin itself never sees this; it
// sees only the host operations declared in host/.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/asa_api.h"

namespace simhost {

// Players are numbered in join order from 1, as the console's "#N".
using PlayerId = int;

struct ChatLine {
  WideString Sender;
  WideString Text;
};

// The host allocator's books.
struct MemoryStats {
  std::int64_t Blocks = 0;           // outstanding
  std::int64_t Bytes = 0;            // outstanding
  std::uint64_t Allocations = 0;     // Malloc calls that gave a block (and Realloc of null)
  std::uint64_t Frees = 0;           // blocks returned
  std::uint64_t BadFrees = 0;        // double frees and pointers the allocator never handed out
  std::uint64_t AlignedMallocs = 0;  // Malloc calls that asked for an alignment other than 0
};

// Faults to inject; counters start when the plan is set. "At" numbers are 1-based call
// numbers of that operation (0: never).
struct FaultPlan {
  int RefuseRegisterAt = 0;
  int ThrowRegisterAt = 0;
  int RefuseUnregisterAt = 0;
  int ThrowUnregisterAt = 0;
  std::uint64_t FailMallocAt = 0;         // that one Malloc yields null
  bool FailAllMallocs = false;            // every Malloc yields null
  std::vector<std::string> MissingNames;  // natives/fields whose lookup yields null
  bool EmptyRelay = false;                // GetChatRelay yields an empty handle
};

enum class Registry { Register, Unregister };
struct RegistryCall {
  Registry Kind;
  WideString Command;
  bool Accepted;
};

// Back to an empty server: no players, no commands, no faults, no observers, server
// directory unchanged. Allocator books are kept (blocks may still be out).
HOST_API void Reset();

// --- allocator -------------------------------------------------------------------------
HOST_API MemoryStats Memory();

// --- world -----------------------------------------------------------------------------
HOST_API PlayerId Join(WideStringView characterName);
// Destroys the player's controller; its list element stays and resolves to nothing.
HOST_API bool Leave(PlayerId player);
// The player is disconnecting: the controller still exists (a command of theirs may still
// arrive), but their list element no longer resolves, unless asked for objects pending kill.
HOST_API bool BeginLeave(PlayerId player);
HOST_API bool IsPresent(PlayerId player);
HOST_API int PlayerCount();  // everyone who joined since Reset
HOST_API WideString CharacterName(PlayerId player);
HOST_API AShooterPlayerController* Controller(PlayerId player);  // null once left
// The player's element of the world's list (a slot out of range when there is no such player).
HOST_API FWeakObjectPtr ListElement(PlayerId player);
// On: a player who joins gets the memory and the object slot of the controller destroyed
// last, as a game server's allocator and object table may give them; the serial in their list
// element is new all the same. Off after Reset.
HOST_API void SetControllerReuse(bool reuse);

// --- chat ------------------------------------------------------------------------------
// The player types `text`. Returns false when no registered command matches (the command
// is the text up to the first space or tab, compared ignoring ASCII case) or the player is
// gone. Whatever the callback throws reaches the caller.
HOST_API bool Say(PlayerId player, WideStringView text, int arg1 = 0, int arg2 = 0);
// Every line SendToPlayer delivered to this player, oldest first.
HOST_API const std::vector<ChatLine>& Inbox(PlayerId player);
HOST_API void ClearInboxes();
// Called for every delivered line, also in lean mode.
HOST_API void SetChatObserver(std::function<void(PlayerId, const ChatLine&)> observer);
// Lean server: count deliveries and store nothing, no inboxes, relay requests or registry
// log (for benchmarks and long-running sessions).
HOST_API void SetLeanRelay(bool lean);
HOST_API std::uint64_t DeliveryCount();
// Module paths that GetChatRelay was asked for, oldest first.
HOST_API const std::vector<WideString>& RelayRequests();

// --- commands --------------------------------------------------------------------------
HOST_API const std::vector<RegistryCall>& RegistryLog();
HOST_API std::vector<WideString> RegisteredCommands();

// --- host faults -----------------------------------------------------------------------
// Calls the real host would not accept: a delivery to a null player, a weak-pointer lookup
// that asks for objects being destroyed. The call is answered safely and recorded here, so a
// test or the console can fail on it. Returns the records, oldest first, and forgets them.
HOST_API std::vector<std::string> TakeHostFaults();

// --- server --------------------------------------------------------------------------
HOST_API void SetServerDir(std::string directory);
HOST_API void SetFaults(FaultPlan plan);

}  // namespace simhost
