// The host library's surface, as far as the plugin uses it. Virtual slot order matters:
// the host's objects are laid out by the host, so placeholders keep each called
// operation in its slot.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <spdlog/sinks/sink.h>

#include "host/fstring.h"
#include "host/platform.h"

// Game objects are opaque: the plugin only passes their addresses back to the host.
struct UObject;
struct UWorld;
struct AShooterPlayerController;

// An index into the host's object table plus a serial number; opaque to the plugin.
struct FWeakObjectPtr {
  std::int32_t ObjectIndex;
  std::int32_t ObjectSerialNumber;
};
static_assert(sizeof(FWeakObjectPtr) == 8);

// The world's player list: first element, then a signed 32-bit count (and capacity).
struct PlayerControllerList {
  FWeakObjectPtr* Data;
  std::int32_t Num;
  std::int32_t Max;
};

using ChatCommandCallback = std::function<void(AShooterPlayerController*, FString*, int, int)>;

// Shared by the host; the first data member is the world it relays into.
class HOST_API ChatRelay {
 public:
  virtual void Slot0();
  virtual void Slot1();
  virtual bool SendToPlayer(AShooterPlayerController* player, const FString& sender,
                            const FString& text) = 0;
  virtual ~ChatRelay();

  UWorld* World = nullptr;
};

namespace AsaApi {

class HOST_API ICommands {
 public:
  virtual void Slot0();
  virtual bool RegisterChatCommand(const FString& command, const ChatCommandCallback& callback) = 0;
  virtual void Slot2();
  virtual void Slot3();
  virtual void Slot4();
  virtual void Slot5();
  virtual void Slot6();
  virtual bool UnregisterChatCommand(const FString& command) = 0;
  virtual ~ICommands();
};

class HOST_API IApiUtils {
 public:
  virtual void Slot0();
  virtual void Slot1();
  virtual void Slot2();
  virtual void Slot3();
  virtual void Slot4();
  virtual void Slot5();
  virtual std::shared_ptr<ChatRelay> GetChatRelay(const FString& modulePath) = 0;
  virtual ~IApiUtils();
};

HOST_API ICommands& GetCommands();
HOST_API IApiUtils& GetApiUtils();

namespace Tools {
// The server directory, holding the "ArkApi" folder, without a trailing separator.
HOST_API std::string GetCurrentDir();
}  // namespace Tools

}  // namespace AsaApi

HOST_API std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks();

// Natives and fields by exact name; an unknown name yields null (or 0).
HOST_API void* GetAddress(const char* name);
HOST_API std::uint64_t GetAddress(const void* object, const char* name);

// Shapes of the natives the plugin calls.
using GetPlayerCharacterNameFn = FString* (*)(AShooterPlayerController* self, FString* result);
using WeakObjectGetFn = UObject* (*)(FWeakObjectPtr* self, bool evenIfPendingKill);
