// Players joining and leaving an in-memory world.
#include <algorithm>

#include "state.h"

namespace simhost::detail {

State& CreateState() {
  static State state;
  CurrentState.store(&state, std::memory_order_release);
  return state;
}

namespace {

Player* Find(PlayerId id) {
  State& state = GetState();
  if (id < 1 || static_cast<std::size_t>(id) > state.Players.size()) return nullptr;
  return &state.Players[static_cast<std::size_t>(id) - 1];
}

void SyncList(State& state) {
  state.World.PlayerControllerList.Data = state.ListStorage.data();
  state.World.PlayerControllerList.Num = static_cast<std::int32_t>(state.ListStorage.size());
  state.World.PlayerControllerList.Max = static_cast<std::int32_t>(state.ListStorage.capacity());
}

}  // namespace

void RecordDelivery(State& state, PlayerId player, const FString& sender, const FString& text) {
  ChatLine line{WideString(*sender), WideString(*text)};
  if (state.Observer) state.Observer(player, line);
  if (!state.Lean)
    state.Players[static_cast<std::size_t>(player) - 1].Inbox.push_back(std::move(line));
}

}  // namespace simhost::detail

namespace simhost {

using detail::GetState;

PlayerId Join(WideStringView characterName) {
  auto& state = GetState();
  const auto id = static_cast<PlayerId>(state.Players.size() + 1);
  std::unique_ptr<AShooterPlayerController> controller;
  std::int32_t slot = 0;
  if (state.ReuseControllers && !state.SpareControllers.empty()) {
    controller = std::move(state.SpareControllers.back());
    state.SpareControllers.pop_back();
    *controller = AShooterPlayerController{};
    slot = state.FreeSlots.back();
    state.FreeSlots.pop_back();
  } else {
    controller = std::make_unique<AShooterPlayerController>();
    slot = static_cast<std::int32_t>(state.Objects.size());
    state.Objects.push_back(0);
  }
  controller->Id = id;
  controller->Serial = ++state.LastSerial;
  controller->CharacterName = WideString(characterName);
  state.Objects[static_cast<std::size_t>(slot)] = id;
  // The element names the object slot and the serial of the controller in it.
  state.ListStorage.push_back({slot, controller->Serial});
  state.Players.push_back({WideString(characterName), std::move(controller), {}});
  detail::SyncList(state);
  return id;
}

bool Leave(PlayerId player) {
  detail::Player* found = detail::Find(player);
  if (found == nullptr || found->Controller == nullptr) return false;
  auto& state = GetState();
  if (state.ReuseControllers) {
    const auto slot = std::find(state.Objects.begin(), state.Objects.end(), player);
    state.FreeSlots.push_back(static_cast<std::int32_t>(slot - state.Objects.begin()));
    *slot = 0;
    state.SpareControllers.push_back(std::move(found->Controller));
  } else {
    found->Controller.reset();
  }
  return true;
}

void SetControllerReuse(bool reuse) {
  GetState().ReuseControllers = reuse;
}

FWeakObjectPtr ListElement(PlayerId player) {
  const auto& state = GetState();
  if (player < 1 || static_cast<std::size_t>(player) > state.ListStorage.size()) return {-1, 0};
  return state.ListStorage[static_cast<std::size_t>(player) - 1];
}

bool BeginLeave(PlayerId player) {
  detail::Player* found = detail::Find(player);
  if (found == nullptr || found->Controller == nullptr) return false;
  found->Controller->PendingKill = true;
  return true;
}

bool IsPresent(PlayerId player) {
  const detail::Player* found = detail::Find(player);
  return found != nullptr && found->Controller != nullptr;
}

int PlayerCount() {
  return static_cast<int>(GetState().Players.size());
}

WideString CharacterName(PlayerId player) {
  const detail::Player* found = detail::Find(player);
  return found != nullptr ? found->Name : WideString();
}

AShooterPlayerController* Controller(PlayerId player) {
  detail::Player* found = detail::Find(player);
  return found != nullptr ? found->Controller.get() : nullptr;
}

const std::vector<ChatLine>& Inbox(PlayerId player) {
  static const std::vector<ChatLine> none;
  const detail::Player* found = detail::Find(player);
  return found != nullptr ? found->Inbox : none;
}

void ClearInboxes() {
  for (auto& player : GetState().Players) player.Inbox.clear();
}

void Reset() {
  auto& state = GetState();
  std::string directory = std::move(state.ServerDir);
  // A command still registered may hold code of a module that is gone by now; destroying
  // its callable would run that code. Let it go without destroying it.
  static auto* const unreleased = new std::vector<detail::Command>;
  for (auto& command : state.Commands) unreleased->push_back(std::move(command));
  state = detail::State{};
  state.ServerDir = std::move(directory);
  detail::SyncList(state);
}

void SetServerDir(std::string directory) {
  GetState().ServerDir = std::move(directory);
}

void SetFaults(FaultPlan plan) {
  auto& state = GetState();
  state.Faults = std::move(plan);
  state.RegisterCalls = 0;
  state.UnregisterCalls = 0;
  state.MallocCalls = 0;
}

}  // namespace simhost
