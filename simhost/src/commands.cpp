// The command registry: keeps its own copies of each text and callable, and dispatches a
// player's chat text to the command it starts with.
#include <stdexcept>

#include "state.h"

namespace simhost::detail {
namespace {

WideChar AsciiLower(WideChar c) {
  return c >= 'A' && c <= 'Z' ? static_cast<WideChar>(c - 'A' + 'a') : c;
}

bool SameIgnoringAsciiCase(WideStringView a, WideStringView b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  }
  return true;
}

WideStringView CommandWord(WideStringView text) {
  const auto end = text.find_first_of(HOST_TEXT(" \t"));
  return end == WideStringView::npos ? text : text.substr(0, end);
}

// The registry's call log is for tests; a lean server (the console, benchmarks) keeps none,
// so that it does not grow with every load and unload.
void Record(State& state, RegistryCall call) {
  if (!state.Lean) state.Log.push_back(std::move(call));
}

class Commands final : public AsaApi::ICommands {
 public:
  bool RegisterChatCommand(const FString& command, const ChatCommandCallback& callback) override {
    State& state = GetState();
    const int call = ++state.RegisterCalls;
    const WideString text(*command);
    if (call == state.Faults.ThrowRegisterAt) {
      Record(state, {Registry::Register, text, false});
      throw std::runtime_error("simulated registry failure");
    }
    bool accepted = call != state.Faults.RefuseRegisterAt && callback != nullptr;
    for (const Command& existing : state.Commands) {
      if (SameIgnoringAsciiCase(existing.Text, text)) accepted = false;  // first one keeps it
    }
    if (accepted) state.Commands.push_back({text, callback});
    Record(state, {Registry::Register, text, accepted});
    return accepted;
  }

  bool UnregisterChatCommand(const FString& command) override {
    State& state = GetState();
    const int call = ++state.UnregisterCalls;
    const WideString text(*command);
    if (call == state.Faults.ThrowUnregisterAt) {
      Record(state, {Registry::Unregister, text, false});
      throw std::runtime_error("simulated registry failure");
    }
    bool removed = false;
    if (call != state.Faults.RefuseUnregisterAt) {
      for (auto it = state.Commands.begin(); it != state.Commands.end(); ++it) {
        if (it->Text == text) {
          state.Commands.erase(it);
          removed = true;
          break;
        }
      }
    }
    Record(state, {Registry::Unregister, text, removed});
    return removed;
  }

  void Slot0() override {}
  void Slot2() override {}
  void Slot3() override {}
  void Slot4() override {}
  void Slot5() override {}
  void Slot6() override {}
};

}  // namespace
}  // namespace simhost::detail

namespace AsaApi {

void ICommands::Slot0() {}
void ICommands::Slot2() {}
void ICommands::Slot3() {}
void ICommands::Slot4() {}
void ICommands::Slot5() {}
void ICommands::Slot6() {}
ICommands::~ICommands() = default;

ICommands& GetCommands() {
  static simhost::detail::Commands commands;
  return commands;
}

}  // namespace AsaApi

namespace simhost {

bool Say(PlayerId player, WideStringView text, int arg1, int arg2) {
  detail::State& state = detail::GetState();
  AShooterPlayerController* controller = Controller(player);
  if (controller == nullptr) return false;
  const WideStringView word = detail::CommandWord(text);
  for (const detail::Command& command : state.Commands) {
    if (!detail::SameIgnoringAsciiCase(command.Text, word)) continue;
    // A copy, so that a callback that changes the registry cannot pull the rug.
    const ChatCommandCallback callback = command.Callback;
    FString message;
    detail::Assign(message, text);
    callback(controller, &message, arg1, arg2);
    return true;
  }
  return false;
}

const std::vector<RegistryCall>& RegistryLog() {
  return detail::GetState().Log;
}

std::vector<WideString> RegisteredCommands() {
  std::vector<WideString> texts;
  for (const auto& command : detail::GetState().Commands) texts.push_back(command.Text);
  return texts;
}

}  // namespace simhost
