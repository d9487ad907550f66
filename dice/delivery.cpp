#include "dice/delivery.h"

#include <memory>

// Constant-initialised: the label is there before any static constructor of the module runs.
// Clang 14 cannot evaluate libstdc++'s short-string set-up at compile time, and MSVC's
// checked (debug) library allocates for every string; there the label is set up among the
// module's first statics, before anything can read it.
#if (defined(__clang__) && __clang_major__ < 15) || \
    (defined(_MSC_VER) && defined(_ITERATOR_DEBUG_LEVEL) && _ITERATOR_DEBUG_LEVEL > 0)
WideString SenderTag = HOST_TEXT("[Dice]");
#else
constinit WideString SenderTag = HOST_TEXT("[Dice]");
#endif

namespace {

std::shared_ptr<ChatRelay> GetRelay() {
  const FString modulePath(platform::OwnModulePath());
  if (modulePath.Num == 0) return nullptr;
  return AsaApi::GetApiUtils().GetChatRelay(modulePath);
}

// Calls `visit(player, element)` for each element of `world`'s player list that resolves,
// until it returns false. False when the host yields no list or no resolver.
template <class Visit>
bool VisitPlayers(const UWorld* world, Visit&& visit) {
  const std::uint64_t listAddress = GetAddress(world, "UWorld.PlayerControllerList");
  if (listAddress == 0) return false;
  const auto& players = *reinterpret_cast<const PlayerControllerList*>(listAddress);
  const std::int32_t count = players.Num;
  // Looked up by name once per walk, when the first element needs it (a lookup per element
  // cost a third of a roll over 100 players), and never kept beyond the walk.
  WeakObjectGetFn get = nullptr;
  for (std::int32_t i = 0; i < count; ++i) {
    FWeakObjectPtr element = players.Data[i];
    if (get == nullptr) {
      get = reinterpret_cast<WeakObjectGetFn>(GetAddress("FWeakObjectPtr.Get()"));
      if (get == nullptr) return false;
    }
    UObject* object = get(&element, false);
    if (object == nullptr) continue;
    if (!visit(reinterpret_cast<AShooterPlayerController*>(object), element)) break;
  }
  return true;
}

// Hands `line` to each player of the world's list that resolves and that `wanted` accepts.
template <class Wanted>
int Deliver(const FString& line, Wanted&& wanted) {
  const FString sender(SenderTag.c_str());
  // A label always has its brackets, so an empty one means the host had no memory for it;
  // a roll without its label is not sent.
  if (sender.Num == 0) return 0;

  const std::shared_ptr<ChatRelay> relay = GetRelay();
  if (relay == nullptr || relay->World == nullptr) return 0;

  int sent = 0;
  VisitPlayers(relay->World, [&](AShooterPlayerController* player, const FWeakObjectPtr&) {
    if (wanted(player)) {
      relay->SendToPlayer(player, sender, line);
      ++sent;
    }
    return true;
  });
  return sent;
}

}  // namespace

int DeliverToEveryone(const FString& line) {
  return Deliver(line, [](const AShooterPlayerController*) { return true; });
}

bool DeliverToPlayer(const AShooterPlayerController* player, const FString& line) {
  return Deliver(line, [player](const AShooterPlayerController* resolved) {
           return resolved == player;
         }) != 0;
}

ListSearch FindListElement(const AShooterPlayerController* player, FWeakObjectPtr& element) {
  const std::shared_ptr<ChatRelay> relay = GetRelay();
  if (relay == nullptr || relay->World == nullptr) return ListSearch::NoList;
  bool found = false;
  const bool read = VisitPlayers(
      relay->World, [&](const AShooterPlayerController* resolved, const FWeakObjectPtr& listed) {
        found = resolved == player;
        if (found) element = listed;
        return !found;
      });
  if (found) return ListSearch::Found;
  return read ? ListSearch::NotListed : ListSearch::NoList;
}
