#include "bench/conventional_roll.h"

#include <dlfcn.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "dice/roll_command.h"
#include "host/utf.h"

std::mt19937 ConventionalEngine{std::random_device{}()};

void ConventionalRoll(AShooterPlayerController* player, FString* message, int sides) {
  if (player == nullptr) return;

  int count = 1;
  if (message != nullptr && message->Num > 1) {
    const std::u16string wide(**message);
    std::string text;
    for (char16_t c : wide) text += c <= 127 ? static_cast<char>(c) : '?';
    const auto space = text.find(' ');
    if (space != std::string::npos) {
      try {
        count = std::clamp(std::stoi(text.substr(space + 1)), 1, MaxDiceCount);
      } catch (const std::logic_error&) {  // nothing readable, or out of range
        count = 1;
      }
    }
  }

  std::uniform_int_distribution<int> die(1, sides);
  std::vector<int> results;
  int total = 0;
  for (int i = 0; i < count; ++i) {
    results.push_back(die(ConventionalEngine));
    total += results.back();
  }
  std::ostringstream joined;
  for (std::size_t i = 0; i < results.size(); ++i) {
    if (i != 0) joined << ", ";
    joined << results[i];
  }

  auto getName = reinterpret_cast<GetPlayerCharacterNameFn>(
      GetAddress("AShooterPlayerController.GetPlayerCharacterName()"));
  FString name;
  getName(player, &name);

  std::ostringstream tail;
  if (count == 1) {
    tail << " rolled 1d" << sides << " and got: " << total;
  } else {
    tail << " rolled " << count << "d" << sides << " and got: " << joined.str()
         << " (Total: " << total << ")";
  }
  const std::string tailText = tail.str();
  const std::u16string line =
      std::u16string(*name) + std::u16string(tailText.begin(), tailText.end());
  const FString lineText(line.c_str());
  const FString sender(SenderTag.c_str());

  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&ConventionalRoll), &info);
  const std::u16string path = utf::Utf8ToWide(std::string(info.dli_fname));
  const FString modulePath(path.c_str());
  std::shared_ptr<ChatRelay> relay = AsaApi::GetApiUtils().GetChatRelay(modulePath);

  auto* players = reinterpret_cast<PlayerControllerList*>(
      GetAddress(relay->World, "UWorld.PlayerControllerList"));
  const int listed = players->Num;
  for (int i = 0; i < listed; ++i) {
    FWeakObjectPtr element = players->Data[i];
    auto get = reinterpret_cast<WeakObjectGetFn>(GetAddress("FWeakObjectPtr.Get()"));
    if (UObject* object = get(&element, false)) {
      relay->SendToPlayer(reinterpret_cast<AShooterPlayerController*>(object), sender, lineText);
    }
  }
}
