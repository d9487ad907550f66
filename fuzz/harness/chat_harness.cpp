#include "fuzz/harness/chat_harness.h"

#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <vector>

#include "dice/engine.h"
#include "dice/roll_command.h"
#include "fuzz/harness/line_shape.h"
#include "host/utf.h"
#include "plugin/commands.h"
#include "plugin/log.h"
#include "simhost/simhost.h"

namespace fuzz {
namespace {

// Counts lines only: the handler must never write one.
class CountingSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  std::size_t Lines = 0;

 protected:
  void sink_it_(const spdlog::details::log_msg&) override { ++Lines; }
  void flush_() override {}
};

struct Seat {
  simhost::PlayerId Id;
  WideString Name;
  bool Stale;
};

struct Delivery {
  simhost::PlayerId To;
  simhost::ChatLine Line;
};

// One server for the whole run: registering and joining anew for every input would spend
// the fuzzer's time on the host. The relay is lean (stores nothing) and an observer keeps
// what this input delivered, so nothing grows from input to input.
struct Server {
  std::vector<Seat> Seats;
  std::vector<Delivery> Delivered;
  std::shared_ptr<CountingSink> Sink = std::make_shared<CountingSink>();
  std::shared_ptr<spdlog::logger> Log;

  Server() { Build(); }

  // Rebuilt when someone else reset the host in between (a test binary shares it).
  void EnsureBuilt() {
    if (static_cast<std::size_t>(simhost::PlayerCount()) != Seats.size()) Build();
  }

  void Build() {
    simhost::Reset();
    Seats.clear();
    for (const DiceCommand& row : DiceCommandTable) {
      const FString text(row.Text);
      AsaApi::GetCommands().RegisterChatCommand(text, ChatCommandCallback(row.Callback));
    }
    WideString withNul = HOST_TEXT("a");
    withNul.push_back(0);
    withNul += HOST_TEXT("b");
    // Names that could upset a line builder: empty, braces read as format fields, text
    // that looks like a roll, non-ASCII, a lone surrogate, a NUL inside, a long one.
    const WideString names[] = {HOST_TEXT("Nomad"),
                                HOST_TEXT(""),
                                HOST_TEXT("{}"),
                                HOST_TEXT("{0} {:>9} }{"),
                                HOST_TEXT("Ann rolled 1d6 and got: 6"),
                                utf::Utf8ToWide("Zo\xC3\xAB \xF0\x9F\x8E\xB2"),
                                WideString(1, static_cast<WideChar>(0xD800)),
                                withNul,
                                WideString(300, static_cast<WideChar>('W')),
                                HOST_TEXT("Ghost"),
                                HOST_TEXT("Gone")};
    for (const WideString& name : names) Seats.push_back({simhost::Join(name), name, false});
    for (Seat& seat : Seats) {
      if (seat.Name == HOST_TEXT("Ghost") || seat.Name == HOST_TEXT("Gone")) {
        simhost::Leave(seat.Id);
        seat.Stale = true;
      }
    }
    simhost::SetLeanRelay(true);
    simhost::SetChatObserver([this](simhost::PlayerId to, const simhost::ChatLine& line) {
      Delivered.push_back({to, line});
    });
    std::shared_ptr<spdlog::logger> holder;
    GetLogSinks().assign({Sink});
    CreatePluginLog(holder, "Rollmoot");
    GetLogSinks().clear();
    Log = holder;
  }
};

Server& GetServer() {
  static Server server;
  return server;
}

class Input {
 public:
  Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
  std::uint8_t Byte() { return at_ < size_ ? data_[at_++] : 0; }
  WideString RestAsText(bool utf16) {
    WideString text;
    if (utf16) {
      for (; at_ + 1 < size_; at_ += 2) {
        text.push_back(static_cast<WideChar>(data_[at_] | (data_[at_ + 1] << 8)));
      }
    } else if (at_ < size_) {
      text = utf::Utf8ToWide({reinterpret_cast<const char*>(data_ + at_), size_ - at_});
    }
    at_ = size_;
    return text;
  }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

// What strtol makes of the text after the first space, as the count is defined; written
// with the C library so that it judges the handler's own reader independently.
std::int64_t ExpectedCount(const WideString& message) {
  std::string narrow;
  for (WideChar unit : message) {
    if (unit == 0) break;
    narrow.push_back(static_cast<std::uint16_t>(unit) <= 0x7F ? static_cast<char>(unit) : '?');
  }
  const std::size_t space = narrow.find(' ');
  if (space == std::string::npos) return 1;
  const char* start = narrow.c_str() + space + 1;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(start, &end, 10);
  if (end == start || errno == ERANGE || value < std::numeric_limits<std::int32_t>::min() ||
      value > std::numeric_limits<std::int32_t>::max()) {
    return 1;
  }
  return value < 1 ? 1 : value > 100 ? 100 : value;
}

WideString UpToNul(const WideString& text) {
  return text.substr(0, text.find(WideChar{0}));
}

WideString Widen(const std::string& ascii) {
  return WideString(ascii.begin(), ascii.end());
}

// The exact line for these dice, built apart from the handler's formatting.
WideString ExpectedLine(const WideString& name, int sides, const std::vector<std::int32_t>& dice) {
  std::int64_t total = 0;
  std::string joined;
  for (std::int32_t value : dice) {
    if (!joined.empty()) joined += ", ";
    joined += std::to_string(value);
    total += value;
  }
  std::string tail = " rolled " + std::to_string(dice.size()) + "d" + std::to_string(sides) +
                     " and got: " + joined;
  if (dice.size() > 1) tail += " (Total: " + std::to_string(total) + ")";
  return UpToNul(name) + Widen(tail);
}

simhost::FaultPlan MakeFault(std::uint8_t code) {
  static const char* const natives[] = {"AShooterPlayerController.GetPlayerCharacterName()",
                                        "UWorld.PlayerControllerList", "FWeakObjectPtr.Get()"};
  const int number = code & 7;
  simhost::FaultPlan plan;
  switch ((code >> 3) & 3) {
    case 0:
      plan.FailMallocAt = static_cast<std::uint64_t>(number) + 1;
      break;
    case 1:
      plan.FailAllMallocs = true;
      break;
    case 2:
      plan.MissingNames = {natives[number % 3]};
      break;
    default:
      plan.EmptyRelay = true;
      break;
  }
  return plan;
}

bool SameEngine(const EngineState& a, const EngineState& b) {
  return a.Position == b.Position && std::equal(std::begin(a.Words), std::end(a.Words), b.Words);
}

std::uint32_t Fnv1a(const std::uint8_t* data, std::size_t size) {
  std::uint32_t hash = 2166136261u;
  for (std::size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
  return hash;
}

}  // namespace

std::string CheckChatMessage(const std::uint8_t* data, std::size_t size) {
  Server& server = GetServer();
  server.EnsureBuilt();
  PluginLogHolder() = server.Log;
  server.Delivered.clear();
  const std::size_t logLinesBefore = server.Sink->Lines;

  Input in(data, size);
  const std::uint8_t flags = in.Byte();
  const std::size_t row = flags & 7u;
  const bool upper = (flags & 8u) != 0, utf16 = (flags & 16u) != 0;
  const bool faulty = (flags & 32u) != 0, nullPlayer = (flags & 64u) != 0;
  const Seat& speaker = server.Seats[in.Byte() % server.Seats.size()];
  const std::uint8_t faultCode = in.Byte();
  const WideString typed = in.RestAsText(utf16);

  // The die a command rolls is the number in its text; "/d7" is no command of ours.
  const std::string command = row < DiceCommandTable.size() ? DiceCommandTable[row].Text : "/d7";
  const int sides = std::stoi(command.substr(2));
  WideString message = Widen(command) + typed;
  if (upper) message[1] = static_cast<WideChar>('D');
  // The host hands over a message only when the command word (up to a space or tab) matches.
  const bool known = row < DiceCommandTable.size();
  const bool dispatched = known && !nullPlayer && !speaker.Stale &&
                          (typed.empty() || typed[0] == ' ' || typed[0] == '\t');

  DiceEngine = SeededEngine(Fnv1a(data, size));
  const EngineState engineBefore = DiceEngine;
  const simhost::MemoryStats memoryBefore = simhost::Memory();

  if (faulty) simhost::SetFaults(MakeFault(faultCode));
  bool said = false;
  if (nullPlayer && known) {
    FString text(message.c_str());
    DiceCommandTable[row].Callback(nullptr, &text, 0, 0);
  } else {
    said = simhost::Say(speaker.Id, message);
  }
  if (faulty) simhost::SetFaults({});

  const simhost::MemoryStats memoryAfter = simhost::Memory();
  if (memoryAfter.Blocks != memoryBefore.Blocks || memoryAfter.Bytes != memoryBefore.Bytes) {
    return "host blocks left outstanding";
  }
  if (memoryAfter.BadFrees != memoryBefore.BadFrees) return "double or foreign free";
  if (!simhost::TakeHostFaults().empty()) return "a call the host would not accept";
  if (server.Sink->Lines != logLinesBefore) return "the roll handler wrote a log line";
  if (said != dispatched) return "host dispatch differs from the command word rule";

  if (!dispatched) {
    if (!server.Delivered.empty()) return "a line was sent for a message that rolled nothing";
    if (!SameEngine(DiceEngine, engineBefore))
      return "dice were drawn for a message that rolled nothing";
    return {};
  }

  // At most one line per live player, none to a stale one, all lines alike.
  std::vector<int> lines(server.Seats.size() + 1, 0);
  for (const Delivery& delivery : server.Delivered) {
    const Seat& to = server.Seats[static_cast<std::size_t>(delivery.To) - 1];
    if (to.Stale) return "a line reached a player who left";
    if (++lines[static_cast<std::size_t>(delivery.To)] > 1) return "a player got two lines";
    if (delivery.Line.Text != server.Delivered.front().Line.Text)
      return "players got different lines";
    // A name the host had no memory for comes out empty, like a character without one.
    const bool nameless = faulty && delivery.Line.Text.rfind(HOST_TEXT(" rolled "), 0) == 0;
    const WideString name = nameless ? WideString() : UpToNul(speaker.Name);
    ParsedRoll roll;
    const std::string shape = CheckLineShape(delivery.Line.Text, name, sides, roll);
    if (!shape.empty()) return shape;
  }
  if (faulty) return {};

  // Without faults: exactly the dice the engine gives, in order, to every live player.
  const std::int64_t count = ExpectedCount(message);
  const EngineState engineAfter = DiceEngine;
  DiceEngine = engineBefore;
  std::vector<std::int32_t> dice;
  for (std::int64_t i = 0; i < count; ++i)
    dice.push_back(RollDie(static_cast<std::uint32_t>(sides)));
  const bool sameDraws = SameEngine(DiceEngine, engineAfter);
  DiceEngine = engineAfter;
  if (!sameDraws) return "the engine moved by other than the dice of the line";

  std::size_t live = 0;
  for (const Seat& seat : server.Seats) live += seat.Stale ? 0 : 1;
  if (server.Delivered.size() != live) return "a live player got no line";
  const WideString expected = ExpectedLine(speaker.Name, sides, dice);
  for (const Delivery& delivery : server.Delivered) {
    if (delivery.Line.Text != expected) return "line differs from the dice drawn";
    if (delivery.Line.Sender != UpToNul(SenderTag)) return "line sent under another label";
  }
  return {};
}

}  // namespace fuzz
