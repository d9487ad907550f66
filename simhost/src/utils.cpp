// Host utilities: the chat relay, the server directory and the log sinks.
#include <utility>

#include "state.h"

namespace simhost::detail {

void RecordHostFault(std::string what) {
  GetState().HostFaults.push_back(std::move(what));
}

namespace {

class Relay final : public ChatRelay {
 public:
  explicit Relay(UWorld* world) { World = world; }

  bool SendToPlayer(AShooterPlayerController* player, const FString& sender,
                    const FString& text) override {
    State& state = GetState();
    if (player == nullptr) {
      RecordHostFault("SendToPlayer was given a null player");
      return false;
    }
    ++state.Deliveries;
    if (state.Lean && !state.Observer) return true;
    RecordDelivery(state, player->Id, sender, text);
    return true;
  }

  void Slot0() override {}
  void Slot1() override {}
};

class ApiUtils final : public AsaApi::IApiUtils {
 public:
  std::shared_ptr<ChatRelay> GetChatRelay(const FString& modulePath) override {
    State& state = GetState();
    if (!state.Lean) state.RelayRequests.emplace_back(*modulePath);
    if (state.Faults.EmptyRelay) return nullptr;
    // One relay per server, handed out shared, as a long-lived host object would be.
    static const auto relay = std::make_shared<Relay>(&state.World);
    return relay;
  }

  void Slot0() override {}
  void Slot1() override {}
  void Slot2() override {}
  void Slot3() override {}
  void Slot4() override {}
  void Slot5() override {}
};

}  // namespace
}  // namespace simhost::detail

void ChatRelay::Slot0() {}
void ChatRelay::Slot1() {}
ChatRelay::~ChatRelay() = default;

namespace AsaApi {

void IApiUtils::Slot0() {}
void IApiUtils::Slot1() {}
void IApiUtils::Slot2() {}
void IApiUtils::Slot3() {}
void IApiUtils::Slot4() {}
void IApiUtils::Slot5() {}
IApiUtils::~IApiUtils() = default;

IApiUtils& GetApiUtils() {
  static simhost::detail::ApiUtils utils;
  return utils;
}

namespace Tools {
std::string GetCurrentDir() {
  return simhost::detail::GetState().ServerDir;
}
}  // namespace Tools

}  // namespace AsaApi

std::vector<std::shared_ptr<spdlog::sinks::sink>>& GetLogSinks() {
  static std::vector<std::shared_ptr<spdlog::sinks::sink>> sinks;
  return sinks;
}

namespace simhost {

void SetChatObserver(std::function<void(PlayerId, const ChatLine&)> observer) {
  detail::GetState().Observer = std::move(observer);
}
void SetLeanRelay(bool lean) {
  detail::GetState().Lean = lean;
}
std::uint64_t DeliveryCount() {
  return detail::GetState().Deliveries;
}
const std::vector<WideString>& RelayRequests() {
  return detail::GetState().RelayRequests;
}

std::vector<std::string> TakeHostFaults() {
  return std::exchange(detail::GetState().HostFaults, {});
}

}  // namespace simhost
