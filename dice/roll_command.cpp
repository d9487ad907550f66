#include "dice/roll_command.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <string_view>

#include "dice/engine.h"
#include "host/ascii_conversion.h"

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

// The line is written straight as UTF-16 into room reserved up front. For the command
// table's dice (at most 100 of at most 20 sides) and names up to 64 characters the room is
// inline, so a roll takes nothing from the heap; anything longer still fits, from the heap.
using Line = fmt::basic_memory_buffer<WideChar, 640>;

// ASCII text, widened unit for unit.
WideChar* Put(WideChar* out, std::string_view ascii) {
  for (char c : ascii) *out++ = static_cast<WideChar>(c);
  return out;
}

// 0 to 99 as UTF-16 digits: the units (the second unused below 10) and how many there are.
struct SmallNumber {
  WideChar Units[2];
  std::uint8_t Length;
};
constexpr std::array<SmallNumber, 100> SmallNumbers = [] {
  std::array<SmallNumber, 100> table{};
  for (int value = 0; value < 100; ++value) {
    const auto tens = static_cast<WideChar>(u'0' + value / 10);
    const auto ones = static_cast<WideChar>(u'0' + value % 10);
    table[static_cast<std::size_t>(value)] =
        value < 10 ? SmallNumber{{ones, ones}, 1} : SmallNumber{{tens, ones}, 2};
  }
  return table;
}();

// Writes `value` in decimal. Room for one unit more than it needs must follow `out`.
WideChar* PutNumber(WideChar* out, long long value) {
  // Die values have one or two digits, unpredictably: a table read and two stores, with no
  // branch on the number of digits.
  if (value >= 0 && value < 100) {
    const SmallNumber& number = SmallNumbers[static_cast<std::size_t>(value)];
    out[0] = number.Units[0];
    out[1] = number.Units[1];
    return out + number.Length;
  }
  const fmt::format_int digits(value);
  return Put(out, std::string_view(digits.data(), digits.size()));
}

// The whole line, written once: the name unit for unit (so braces or anything else in it
// can never be read as formatting), then the words and numbers straight as UTF-16.
void BuildLine(Line& line, const FString& name, std::int32_t count, int sides,
               const std::int32_t* results, std::int64_t total) {
  const WideChar* text = *name;
  const std::size_t nameLength = std::char_traits<WideChar>::length(text);
  // The fixed words with count, sides and total at their widest (and a spare unit for
  // PutNumber); then per die ", " and a value, which has no more characters than `sides`
  // when it lies in 1..sides.
  constexpr std::size_t FixedRoom = 80;
  const std::size_t valueRoom = 2 + (sides >= 1 ? fmt::format_int(sides).size() : 11);
  line.resize(nameLength + FixedRoom + static_cast<std::size_t>(count) * valueRoom);

  WideChar* out = std::copy_n(text, nameLength, line.data());
  out = Put(out, " rolled ");
  out = PutNumber(out, count);
  out = Put(out, "d");
  out = PutNumber(out, sides);
  out = Put(out, " and got: ");
  for (std::int32_t i = 0; i < count; ++i) {
    if (i != 0) out = Put(out, ", ");
    out = PutNumber(out, results[i]);
  }
  // One die: its value is the total, and the line shows no total.
  if (count != 1) {
    out = Put(out, " (Total: ");
    out = PutNumber(out, total);
    out = Put(out, ")");
  }
  *out = 0;
}

// Sends `line` to every live player. Ends quietly where the host yields nothing: a missing
// relay, world, list or native must not take the server down.
void Deliver(const FString& line) {
  AsaApi::IApiUtils& utils = AsaApi::GetApiUtils();
  const FString sender(SenderTag.c_str());
  // A label always has its brackets, so an empty one means the host had no memory for it;
  // a roll without its label is not sent.
  if (sender.Num == 0) return;

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
  std::int64_t total = 0;  // wide enough for any number of sides
  for (std::int32_t i = 0; i < count; ++i) {
    results[i] = RollDie(static_cast<std::uint32_t>(sides));
    total += results[i];
  }

  FString name;
  auto* getName = reinterpret_cast<GetPlayerCharacterNameFn>(
      GetAddress("AShooterPlayerController.GetPlayerCharacterName()"));
  if (getName == nullptr) return;
  getName(player, &name);

  Line line;
  BuildLine(line, name, count, sides, results, total);
  const FString lineText(line.data());
  // The host had no memory for the line: better no line than an empty one to everybody.
  if (lineText.Num == 0) return;
  Deliver(lineText);
}
