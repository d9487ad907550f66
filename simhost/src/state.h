// The simulated server's state, shared by the host operations and the control surface.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "simhost/simhost.h"

// The host owns its game types; the plugin sees them only as opaque pointers.
struct UObject {};
struct AShooterPlayerController : UObject {
  simhost::PlayerId Id = 0;
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
  std::vector<Player> Players;                // index = id - 1; also the object table
  std::vector<FWeakObjectPtr> ListStorage;    // backs World.PlayerControllerList
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
};

State& GetState();

bool IsMissing(const char* name);

// The allocator's own entry points, as the natives resolve to them.
void* Malloc(std::uint64_t size, std::uint32_t alignment);
void* Realloc(void* block, std::uint64_t size, std::uint32_t alignment);
void Free(void* block);

// Fills an empty FString with a copy of `text`, as every host constructor does.
void Assign(FString& target, WideStringView text);

}  // namespace simhost::detail
