// Natives and fields by exact name, as the plugin resolves them at every use.
#include <algorithm>
#include <cstring>

#include "state.h"

namespace simhost::detail {
namespace {

FString* GetPlayerCharacterName(AShooterPlayerController* self, FString* result) {
  if (self != nullptr && !self->CharacterName.empty()) Assign(*result, self->CharacterName);
  return result;
}

UObject* WeakObjectGet(FWeakObjectPtr* self, bool evenIfPendingKill) {
  State& state = GetState();
  // A player mid-disconnect would still resolve: nobody should be sent a line then.
  if (evenIfPendingKill) RecordHostFault("FWeakObjectPtr.Get() was asked for objects pending kill");
  const auto index = static_cast<std::size_t>(self->ObjectIndex);
  if (self->ObjectIndex < 0 || index >= state.Objects.size()) return nullptr;
  const PlayerId owner = state.Objects[index];
  if (owner == 0) return nullptr;
  // The serial ties an element to one controller; a destroyed one never comes back, even
  // when a new controller has its slot.
  AShooterPlayerController* controller =
      state.Players[static_cast<std::size_t>(owner) - 1].Controller.get();
  if (controller == nullptr || self->ObjectSerialNumber != controller->Serial) return nullptr;
  return controller->PendingKill && !evenIfPendingKill ? nullptr : controller;
}

struct Native {
  const char* Name;
  void* Address;
};

// The table's names differ in their first two bytes (the allocator's three excepted), so
// those two rule out the other entries before a full comparison is made.
bool SameName(const char* known, const char* name) {
  // known[0] is never 0, so a match there makes name[1] safe to read.
  return name[0] == known[0] && name[1] == known[1] && std::strcmp(name, known) == 0;
}

const Native Natives[] = {
    {"FMemory.Malloc(unsigned__int64,unsignedint)", reinterpret_cast<void*>(&Malloc)},
    {"FMemory.Realloc(void*,unsigned__int64,unsignedint)", reinterpret_cast<void*>(&Realloc)},
    {"FMemory.Free(void*)", reinterpret_cast<void*>(&Free)},
    {"AShooterPlayerController.GetPlayerCharacterName()",
     reinterpret_cast<void*>(&GetPlayerCharacterName)},
    {"FWeakObjectPtr.Get()", reinterpret_cast<void*>(&WeakObjectGet)},
};

}  // namespace

bool IsListedMissing(const char* name) {
  const auto& missing = GetState().Faults.MissingNames;
  return std::find(missing.begin(), missing.end(), name) != missing.end();
}

}  // namespace simhost::detail

void* GetAddress(const char* name) {
  using namespace simhost::detail;
  if (name == nullptr || IsMissing(name)) return nullptr;
  for (const Native& native : Natives) {
    if (SameName(native.Name, name)) return native.Address;
  }
  return nullptr;
}

std::uint64_t GetAddress(const void* object, const char* name) {
  using namespace simhost::detail;
  if (object == nullptr || name == nullptr || IsMissing(name)) return 0;
  State& state = GetState();
  if (object == &state.World && std::strcmp(name, "UWorld.PlayerControllerList") == 0) {
    return reinterpret_cast<std::uintptr_t>(&state.World.PlayerControllerList);
  }
  return 0;
}
