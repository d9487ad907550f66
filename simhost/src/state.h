// The simulated server's state, shared by the host operations and the control surface.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "simhost/simhost.h"

// The host owns its game types; the plugin sees them only as opaque pointers.
struct UObject {};
struct AShooterPlayerController : UObject {
  simhost::PlayerId Id = 0;
  std::int32_t Serial = 0;   // of its object slot; a new controller never gets a used one
  bool PendingKill = false;  // disconnecting: still there, no longer resolved
  WideString CharacterName;
};
struct UWorld {
  ::PlayerControllerList PlayerControllerList{nullptr, 0, 0};
};

namespace simhost::detail {

struct Player {
  WideString Name;
  std::unique_ptr<AShooterPlayerController> Controller;  // null once the player left
  std::vector<ChatLine> Inbox;
};

struct Command {
  WideString Text;  // the registry's own copy
  ChatCommandCallback Callback;
};

struct State {
  std::vector<Player> Players;    // index = id - 1
  std::vector<PlayerId> Objects;  // the object table: slot -> whose controller (0: none)
  std::int32_t LastSerial = 0;
  bool ReuseControllers = false;
  // Destroyed controllers' memory and slots, for the next to join (last in, first out).
  std::vector<std::unique_ptr<AShooterPlayerController>> SpareControllers;
  std::vector<std::int32_t> FreeSlots;
  std::vector<FWeakObjectPtr> ListStorage;  // backs World.PlayerControllerList
  UWorld World;
  std::vector<Command> Commands;
  std::vector<RegistryCall> Log;
  int RegisterCalls = 0;
  int UnregisterCalls = 0;
  FaultPlan Faults;
  std::uint64_t MallocCalls = 0;
  std::string ServerDir = ".";
  std::function<void(PlayerId, const ChatLine&)> Observer;
  bool Lean = false;
  std::uint64_t Deliveries = 0;
  std::vector<WideString> RelayRequests;
  std::vector<std::string> HostFaults;
};

// The one State, made on first use (thread-safe). Every later use is one load: the host's
// per-call paths (name lookups, the weak-pointer resolver, the relay) are inline and need
// no call, no guard and no stack frame for it.
State& CreateState();
inline constinit std::atomic<State*> CurrentState{nullptr};
inline State& GetState() {
  State* state = CurrentState.load(std::memory_order_acquire);
  return state != nullptr ? *state : CreateState();
}

bool IsListedMissing(const char* name);
// Whether lookups of `name` are to fail. Inline: with no fault planned it costs no call.
inline bool IsMissing(const char* name) {
  return !GetState().Faults.MissingNames.empty() && IsListedMissing(name);
}

// The allocator's own entry points, as the natives resolve to them.
void* Malloc(std::uint64_t size, std::uint32_t alignment);
void* Realloc(void* block, std::uint64_t size, std::uint32_t alignment);
void Free(void* block);

// Shows a delivered line to the observer and, unless the relay is lean, puts it in the
// player's inbox. Out of line, so that a lean delivery costs the relay no more than a count.
void RecordDelivery(State& state, PlayerId player, const FString& sender, const FString& text);

// Records a call the real host would not accept (see TakeHostFaults).
void RecordHostFault(std::string what);

// Fills an empty FString with a copy of `text`, as every host constructor does.
void Assign(FString& target, WideStringView text);

}  // namespace simhost::detail
