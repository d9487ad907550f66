#include "dice/roll_command.h"

#include <fmt/format.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <string_view>

#include "dice/engine.h"
#include "host/ascii_conversion.h"

// Constant-initialised: the label is there before any static constructor of the module runs.
constinit WideString SenderTag = HOST_TEXT("[Dice]");

namespace {

constexpr std::size_t ModulePathUnits = 260;

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// strtol's base-10 rules in the C locale, without its errno and locale machinery.
// Returns false when no digit is read or the value leaves the signed 32-bit range.
bool ParseInt32(const char* text, std::int32_t& value) {
  while (IsCSpace(*text)) ++text;
  bool negative = false;
  if (*text == '+' || *text == '-') negative = *text++ == '-';
  if (*text < '0' || *text > '9') return false;
  constexpr std::int64_t limit = std::int64_t{1} << 31;  // |INT32_MIN|
  std::int64_t magnitude = 0;
  bool overflow = false;
  for (; *text >= '0' && *text <= '9'; ++text) {
    if (!overflow) magnitude = magnitude * 10 + (*text - '0');
    overflow = overflow || magnitude > limit;
  }
  if (overflow || (!negative && magnitude == limit)) return false;
  value = static_cast<std::int32_t>(negative ? -magnitude : magnitude);
  return true;
}

using Tail = fmt::basic_memory_buffer<char, 512>;
using Line = fmt::basic_memory_buffer<WideChar, 640>;

void FormatTail(Tail& tail, std::int32_t count, int sides, const std::int32_t* results,
                std::int32_t total) {
  auto out = std::back_inserter(tail);
  if (count == 1) {
    fmt::format_to(out, " rolled 1d{} and got: {}", sides, total);
    return;
  }
  fmt::basic_memory_buffer<char, 512> joined;
  for (std::int32_t i = 0; i < count; ++i) {
    if (i != 0) joined.append(std::string_view(", "));
    fmt::format_int digits(results[i]);
    joined.append(digits.data(), digits.data() + digits.size());
  }
  fmt::format_to(out, " rolled {}d{} and got: {} (Total: {})", count, sides,
                 std::string_view(joined.data(), joined.size()), total);
}

// The name is the line's first field and is copied unit for unit, so braces or anything
// else in it can never be read as formatting.
void BuildLine(Line& line, const FString& name, const Tail& tail) {
  const WideChar* text = *name;
  line.append(text, text + std::char_traits<WideChar>::length(text));
  for (char c : tail) line.push_back(static_cast<WideChar>(static_cast<unsigned char>(c)));
  line.push_back(0);
}

// Sends `line` to every live player. Ends quietly where the host yields nothing: a missing
// relay, world, list or native must not take the server down.
void Deliver(const FString& line) {
  AsaApi::IApiUtils& utils = AsaApi::GetApiUtils();
  const FString sender(SenderTag.c_str());

  std::shared_ptr<ChatRelay> relay;
  {
    WideChar inlinePath[ModulePathUnits];
    std::unique_ptr<WideChar[]> longPath;
    WideChar* path = inlinePath;
    std::size_t capacity = ModulePathUnits;
    std::size_t length = platform::OwnModulePath(path, capacity);
    while (length >= capacity) {  // a path longer than the usual limit still goes whole
      capacity = length + 1 > capacity * 2 ? length + 1 : capacity * 2;
      longPath = std::make_unique<WideChar[]>(capacity);
      path = longPath.get();
      length = platform::OwnModulePath(path, capacity);
    }
    if (length == 0) return;
    const FString modulePath(path);
    relay = utils.GetChatRelay(modulePath);
  }
  if (relay == nullptr || relay->World == nullptr) return;

  const std::uint64_t listAddress = GetAddress(relay->World, "UWorld.PlayerControllerList");
  if (listAddress == 0) return;
  const auto& players = *reinterpret_cast<const PlayerControllerList*>(listAddress);
  const std::int32_t count = players.Num;
  for (std::int32_t i = 0; i < count; ++i) {
    FWeakObjectPtr element = players.Data[i];
    auto* get = reinterpret_cast<WeakObjectGetFn>(GetAddress("FWeakObjectPtr.Get()"));
    if (get == nullptr) return;
    UObject* object = get(&element, false);
    if (object == nullptr) continue;
    relay->SendToPlayer(reinterpret_cast<AShooterPlayerController*>(object), sender, line);
  }
}

}  // namespace

std::int32_t ReadDiceCount(const FString* message) {
  if (message == nullptr || message->Num <= 1) return 1;
  const AsciiConversion narrow(**message);
  if (narrow.Text == nullptr) return 1;
  const char* space = std::strchr(narrow.Text, ' ');
  std::int32_t value = 0;
  if (space == nullptr || !ParseInt32(space + 1, value)) return 1;
  if (value < 1) return 1;
  return value > MaxDiceCount ? MaxDiceCount : value;
}

void RollCommand(AShooterPlayerController* player, FString* message, int sides) {
  if (player == nullptr) return;

  const std::int32_t count = ReadDiceCount(message);
  std::int32_t results[MaxDiceCount];
  std::int32_t total = 0;
  for (std::int32_t i = 0; i < count; ++i) {
    results[i] = RollDie(static_cast<std::uint32_t>(sides));
    total += results[i];
  }

  Tail tail;
  FormatTail(tail, count, sides, results, total);

  FString name;
  auto* getName = reinterpret_cast<GetPlayerCharacterNameFn>(
      GetAddress("AShooterPlayerController.GetPlayerCharacterName()"));
  if (getName == nullptr) return;
  getName(player, &name);

  Line line;
  BuildLine(line, name, tail);
  const FString lineText(line.data());
  Deliver(lineText);
}
