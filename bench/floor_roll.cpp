#include "bench/floor_roll.h"

#include <dlfcn.h>

#include <array>
#include <cstdint>
#include <cstring>

#include "dice/engine.h"
#include "dice/roll_command.h"

namespace {

// The same engine code as the plugin's: the floor's outputs cost what the best MT19937
// we have costs.
EngineState FloorEngine = SeededEngine(5489u);

struct SmallNumber {
  WideChar Units[2];
  std::uint8_t Length;
};
constexpr std::array<SmallNumber, 100> SmallNumbers = [] {
  std::array<SmallNumber, 100> table{};
  for (unsigned value = 0; value < 100; ++value) {
    const auto tens = static_cast<WideChar>(u'0' + value / 10);
    const auto ones = static_cast<WideChar>(u'0' + value % 10);
    table[value] = value < 10 ? SmallNumber{{ones, ones}, 1} : SmallNumber{{tens, ones}, 2};
  }
  return table;
}();

struct WideWriter {
  WideChar* At;

  void Text(const char* text) {
    while (*text != 0) *At++ = static_cast<WideChar>(*text++);
  }
  // Two digits at most for a die: a table read and two stores, no branch (the line has
  // room for the spare unit); the general loop only for the count and the total.
  void Number(std::uint32_t value) {
    if (value < 100) {
      const SmallNumber& number = SmallNumbers[value];
      At[0] = number.Units[0];
      At[1] = number.Units[1];
      At += number.Length;
      return;
    }
    WideChar reversed[10];
    int n = 0;
    do {
      reversed[n++] = static_cast<WideChar>(u'0' + value % 10);
      value /= 10;
    } while (value != 0);
    while (n != 0) *At++ = reversed[--n];
  }
};

std::int32_t CountOf(const FString* message) {
  if (message == nullptr || message->Num <= 1) return 1;
  const WideChar* text = **message;
  while (*text != 0 && *text != u' ') ++text;
  if (*text++ == 0) return 1;
  std::int32_t count = 0;
  while (*text >= u'0' && *text <= u'9' && count <= MaxDiceCount)
    count = count * 10 + (*text++ - u'0');
  return count < 1 ? 1 : (count > MaxDiceCount ? MaxDiceCount : count);
}

}  // namespace

void FloorRoll(AShooterPlayerController* player, FString* message, int sides) {
  if (player == nullptr) return;
  const std::int32_t count = CountOf(message);
  const auto range = static_cast<std::uint32_t>(sides);
  std::uint32_t values[MaxDiceCount];
  std::uint32_t total = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    values[i] =
        static_cast<std::uint32_t>((std::uint64_t{NextOutput(FloorEngine)} * range) >> 32) + 1;
    total += values[i];
  }

  FString name;
  reinterpret_cast<GetPlayerCharacterNameFn>(
      GetAddress("AShooterPlayerController.GetPlayerCharacterName()"))(player, &name);

  WideChar line[640];
  WideWriter out{line};
  const WideChar* nameText = *name;
  while (*nameText != 0) *out.At++ = *nameText++;
  out.Text(" rolled ");
  out.Number(static_cast<std::uint32_t>(count));
  out.Text("d");
  out.Number(range);
  out.Text(" and got: ");
  for (std::int32_t i = 0; i < count; ++i) {
    if (i != 0) {
      *out.At++ = u',';
      *out.At++ = u' ';
    }
    out.Number(values[i]);
  }
  if (count != 1) {
    out.Text(" (Total: ");
    out.Number(total);
    out.Text(")");
  }
  *out.At = 0;
  const FString lineText(line);
  const FString sender(SenderTag.c_str());

  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&FloorRoll), &info);
  WideChar path[260];
  std::size_t length = 0;
  for (; info.dli_fname[length] != 0 && length + 1 < 260; ++length) {
    path[length] = static_cast<WideChar>(info.dli_fname[length]);
  }
  path[length] = 0;
  std::shared_ptr<ChatRelay> relay;
  {
    const FString modulePath(path);
    relay = AsaApi::GetApiUtils().GetChatRelay(modulePath);
  }

  const auto& players = *reinterpret_cast<const PlayerControllerList*>(
      GetAddress(relay->World, "UWorld.PlayerControllerList"));
  const std::int32_t listed = players.Num;
  for (std::int32_t i = 0; i < listed; ++i) {
    FWeakObjectPtr element = players.Data[i];
    UObject* object =
        reinterpret_cast<WeakObjectGetFn>(GetAddress("FWeakObjectPtr.Get()"))(&element, false);
    if (object != nullptr) {
      relay->SendToPlayer(reinterpret_cast<AShooterPlayerController*>(object), sender, lineText);
    }
  }
}
