#include "fuzz/harness/chat_harness.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <limits>
#include <memory>
#include <vector>

#include "dice/audit.h"
#include "dice/cooldown.h"
#include "dice/roll_command.h"
#include "dice/settings.h"
#include "fuzz/harness/audit_replay.h"
#include "fuzz/harness/fuzz_support.h"
#include "fuzz/harness/line_shape.h"
#include "host/utf.h"
#include "log/log.h"
#include "plugin/commands.h"
#include "simhost/recording_sink.h"
#include "simhost/simhost.h"

namespace fuzz {
namespace {

struct Seat {
  simhost::PlayerId Id;
  WideString Name;
  bool Gone;     // left: the host dispatches nothing of theirs, and they get no line
  bool Leaving;  // mid-disconnect: their commands still arrive, but they get no line
};

struct Delivery {
  simhost::PlayerId To;
  simhost::ChatLine Line;
};

struct LogLine {
  spdlog::level::level_enum Level;
  std::string Message;
};

// One server for the whole run: registering and joining anew for every input would spend
// the fuzzer's time on the host. The relay is lean (stores nothing) and an observer keeps
// what this input delivered, as the log sink keeps what it logged, so nothing grows from
// input to input.
struct Server {
  std::vector<Seat> Seats;
  std::vector<Delivery> Delivered;
  std::vector<LogLine> Logged;
  std::shared_ptr<spdlog::logger> Log;

  Server() { Build(); }

  // Rebuilt when someone else reset the host in between (a test binary shares it).
  void EnsureBuilt() {
    if (static_cast<std::size_t>(simhost::PlayerCount()) != Seats.size()) Build();
  }

  void Build() {
    simhost::Reset();
    Seats.clear();
    // Both tables: an input that uses a private command has them switched on.
    for (const auto* table : {&DiceCommandTable, &PrivateDiceCommandTable}) {
      for (const DiceCommand& row : *table) {
        const FString text(row.Text);
        AsaApi::GetCommands().RegisterChatCommand(text, ChatCommandCallback(row.Callback));
      }
    }
    WideString withNul = HOST_TEXT("a");
    withNul.push_back(0);
    withNul += HOST_TEXT("b");
    // Names that could upset a line builder: empty, braces read as format fields, text
    // that looks like a roll, non-ASCII, a lone surrogate, a NUL inside, a long one, one that
    // would start log lines of its own.
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
                                HOST_TEXT("Gone"),
                                HOST_TEXT("Parting %s"),
                                HOST_TEXT("Zed\rRollmoot: Plugin unloaded\n\u2028\u0085\x7F")};
    for (const WideString& name : names) {
      Seats.push_back({simhost::Join(name), name, false, false});
    }
    for (Seat& seat : Seats) {
      if (seat.Name == HOST_TEXT("Ghost") || seat.Name == HOST_TEXT("Gone")) {
        simhost::Leave(seat.Id);
        seat.Gone = true;
      } else if (seat.Name == HOST_TEXT("Parting %s")) {
        simhost::BeginLeave(seat.Id);
        seat.Leaving = true;
      }
    }
    simhost::SetLeanRelay(true);
    simhost::SetChatObserver([this](simhost::PlayerId to, const simhost::ChatLine& line) {
      Delivered.push_back({to, line});
    });
    Log = PluginLogOver(std::make_shared<simhost::RecordingSink>(
        [this](const simhost::RecordingSink::Entry& entry) {
          Logged.push_back({entry.Level, entry.Message});
        }));
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

// A roll line as the roll log shows it: UTF-16 to UTF-8 with U+FFFD for a lone surrogate and
// for control characters and line separators (no name may start a log line), written apart
// from the plugin's own conversion so that the roll log is judged independently.
std::string LogText(const WideString& units) {
  std::string out;
  for (std::size_t i = 0; i < units.size(); ++i) {
    std::uint32_t cp = static_cast<std::uint16_t>(units[i]);
    const bool high = cp >= 0xD800 && cp < 0xDC00;
    const std::uint32_t next = i + 1 < units.size() ? static_cast<std::uint16_t>(units[i + 1]) : 0;
    if (high && next >= 0xDC00 && next < 0xE000) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (next - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp < 0xE000) {
      cp = 0xFFFD;
    }
    if (cp < 0x20 || cp == 0x7F || cp == 0x85 || cp == 0x2028 || cp == 0x2029) cp = 0xFFFD;
    const int extra = cp < 0x80 ? 0 : cp < 0x800 ? 1 : cp < 0x10000 ? 2 : 3;
    static const unsigned char lead[] = {0x00, 0xC0, 0xE0, 0xF0};
    out.push_back(static_cast<char>(lead[extra] | (cp >> (6 * extra))));
    for (int k = extra - 1; k >= 0; --k) {
      out.push_back(static_cast<char>(0x80 | ((cp >> (6 * k)) & 0x3F)));
    }
  }
  return out;
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

// One message as the input describes it, and what the handler must do with it.
struct Message {
  const Seat* Speaker;
  DiceCallback Callback;  // null: a command nobody registered
  bool Private;
  int Sides;
  WideString Text;
  bool Faulty;
  bool NullPlayer;
  bool Dispatched;  // the host hands it to the callback
};

bool IsAuditLine(const std::string& line) {
  return line.rfind("Rollmoot: Roll audit: ", 0) == 0;
}

// Types the message once and checks the outcome. `waitLeft`: seconds of the speaker's
// cooldown the handler must find (0: none); set to the cooldown the roll started, if any.
// `audit`: the audit lines of the input so far, to which this roll's record is added.
std::string CheckOneMessage(Server& server, const Message& message, std::uint8_t faultCode,
                            std::int32_t& waitLeft, std::vector<std::string>& audit) {
  server.Delivered.clear();
  server.Logged.clear();
  const Seat& speaker = *message.Speaker;
  const EngineState engineBefore = DiceEngine;
  const simhost::MemoryStats memoryBefore = simhost::Memory();

  if (message.Faulty) simhost::SetFaults(MakeFault(faultCode));
  bool said = false;
  if (message.NullPlayer && message.Callback != nullptr) {
    FString text(message.Text.c_str());
    message.Callback(nullptr, &text, 0, 0);
  } else {
    said = simhost::Say(speaker.Id, message.Text);
  }
  if (message.Faulty) simhost::SetFaults({});

  const simhost::MemoryStats memoryAfter = simhost::Memory();
  if (memoryAfter.Blocks != memoryBefore.Blocks || memoryAfter.Bytes != memoryBefore.Bytes) {
    return "host blocks left outstanding";
  }
  if (memoryAfter.BadFrees != memoryBefore.BadFrees) return "double or foreign free";
  if (!simhost::TakeHostFaults().empty()) return "a call the host would not accept";
  if (said != message.Dispatched) return "host dispatch differs from the command word rule";

  // The audit's lines apart from the roll log's.
  std::vector<std::string> records;
  std::erase_if(server.Logged, [&](const LogLine& line) {
    if (!IsAuditLine(line.Message)) return false;
    records.push_back(line.Message);
    return true;
  });

  const bool drew = !SameEngine(DiceEngine, engineBefore);
  if (!message.Dispatched || waitLeft > 0) {
    if (drew) return "dice were drawn for a message that rolled nothing";
    if (!server.Logged.empty()) return "a message that rolled nothing was logged";
    if (!records.empty()) return "a message that rolled nothing was recorded";
  }
  if (!message.Dispatched) {
    if (!server.Delivered.empty()) return "a line was sent for a message that rolled nothing";
    return {};
  }

  // Refused: one line to the roller alone, unless they are on their way out.
  if (waitLeft > 0) {
    const WideString expected =
        Widen("Wait " + std::to_string(waitLeft) + " s before rolling again");
    const std::size_t lines = speaker.Leaving ? 0 : 1;
    if (server.Delivered.size() > lines) return "a refusal went to more than the roller";
    if (!message.Faulty && server.Delivered.size() != lines) return "a refusal was not sent";
    for (const Delivery& delivery : server.Delivered) {
      if (delivery.To != speaker.Id) return "a refusal went to someone else";
      if (delivery.Line.Text != expected) return "refusal differs from the seconds left";
      if (delivery.Line.Sender != UpToNul(SenderTag)) return "refusal sent under another label";
    }
    return {};
  }
  // A roller mid-disconnect no longer resolves: the plugin cannot tell who they are, so it
  // neither refuses them nor starts a cooldown for them.
  if (Settings.CooldownSeconds > 0 && !speaker.Leaving) waitLeft = Settings.CooldownSeconds;
  // A host fault may leave the roll undrawn (with a cooldown set and no player list to find
  // the roller in, it is dropped), so then it may have no record; never more than one.
  const std::size_t recordsDue = Settings.AuditRolls ? 1 : 0;
  if (records.size() > recordsDue || (!message.Faulty && records.size() != recordsDue))
    return "a roll recorded other than once";
  if (!records.empty()) audit.push_back(records.front());

  // At most one line per player who is still there, all lines alike; a private one to the
  // roller alone.
  std::vector<int> lines(server.Seats.size() + 1, 0);
  for (const Delivery& delivery : server.Delivered) {
    const Seat& to = server.Seats[static_cast<std::size_t>(delivery.To) - 1];
    if (to.Gone || to.Leaving) return "a line reached a player who left";
    if (message.Private && delivery.To != speaker.Id) return "a private line reached another";
    if (++lines[static_cast<std::size_t>(delivery.To)] > 1) return "a player got two lines";
    if (delivery.Line.Text != server.Delivered.front().Line.Text)
      return "players got different lines";
    // A name the host had no memory for comes out empty, like a character without one.
    const bool nameless = message.Faulty && delivery.Line.Text.rfind(HOST_TEXT(" rolled "), 0) == 0;
    const WideString name = nameless ? WideString() : UpToNul(speaker.Name);
    ParsedRoll roll;
    const std::string shape = CheckLineShape(delivery.Line.Text, name, message.Sides, roll);
    if (!shape.empty()) return shape;
    if (roll.Count > Settings.MaxDice) return "more dice than MaxDice";
  }

  // The roll log: the line as players got it, once, exactly when it reached somebody.
  const std::size_t logLines = Settings.LogRolls && !server.Delivered.empty() ? 1 : 0;
  if (server.Logged.size() != logLines) return "roll log lines differ from the lines sent";
  if (logLines != 0) {
    const std::string expected =
        (message.Private ? "Rollmoot: Private roll: " : "Rollmoot: Roll: ") +
        LogText(server.Delivered.front().Line.Text);
    if (server.Logged.front().Message != expected) return "roll log differs from the line";
    if (server.Logged.front().Level != spdlog::level::info) return "roll logged not at info";
  }
  if (message.Faulty) return {};

  // Without faults: exactly the dice the engine gives, in order, to every player still there;
  // with secure rolls, the engine unmoved and the dice of the line (in range, checked above).
  const std::int64_t count = std::min<std::int64_t>(ExpectedCount(message.Text), Settings.MaxDice);
  std::vector<std::int32_t> dice;
  const bool ownSource = Settings.SecureRolls || Settings.AuditRolls;
  if (ownSource) {
    if (drew) return "a secure or audited roll moved the engine";
    ParsedRoll roll;
    if (!server.Delivered.empty()) {
      CheckLineShape(server.Delivered.front().Line.Text, UpToNul(speaker.Name), message.Sides,
                     roll);
    }
    // A line that reached nobody (a private roll of a roller on their way out) shows no dice.
    if (!server.Delivered.empty() && roll.Count != count)
      return "a secure roll drew another count of dice";
    for (const std::int64_t value : roll.Values) dice.push_back(static_cast<std::int32_t>(value));
  }
  const EngineState engineAfter = DiceEngine;
  DiceEngine = engineBefore;
  for (std::int64_t i = 0; i < count && !ownSource; ++i)
    dice.push_back(RollDie(static_cast<std::uint32_t>(message.Sides)));
  const bool sameDraws = SameEngine(DiceEngine, engineAfter);
  DiceEngine = engineAfter;
  if (!sameDraws) return "the engine moved by other than the dice of the line";
  // The record: the roller's name and the dice of the line (replayed from the key later).
  if (Settings.AuditRolls && !server.Delivered.empty() &&
      audit.back() != "Rollmoot: Roll audit: #" + std::to_string(audit.size() - 1) + " " +
                          JsonName(UpToNul(speaker.Name)) + AuditGroupText(message.Sides, dice)) {
    return "the record differs from the roller and the dice of the line";
  }

  std::size_t audience = 0;
  for (const Seat& seat : server.Seats) {
    const bool there = !seat.Gone && !seat.Leaving;
    if (there && (!message.Private || &seat == &speaker)) ++audience;
  }
  if (server.Delivered.size() != audience) return "a player still there got no line";
  const WideString expected = ExpectedLine(speaker.Name, message.Sides, dice);
  for (const Delivery& delivery : server.Delivered) {
    if (delivery.Line.Text != expected) return "line differs from the dice drawn";
    if (delivery.Line.Sender != UpToNul(SenderTag)) return "line sent under another label";
  }
  return {};
}

std::string CheckChat(Server& server, const std::uint8_t* data, std::size_t size) {
  Input in(data, size);
  const std::uint8_t flags = in.Byte();
  const std::size_t row = flags & 7u;
  const bool upper = (flags & 8u) != 0, utf16 = (flags & 16u) != 0;
  const bool withSettings = (flags & 128u) != 0;
  Message message{};
  message.Faulty = (flags & 32u) != 0;
  message.NullPlayer = (flags & 64u) != 0;
  message.Speaker = &server.Seats[in.Byte() % server.Seats.size()];
  const std::uint8_t faultCode = in.Byte();

  Settings = {};
  bool speakerWaits = false, othersWait = false, twice = false;
  std::int32_t since = 0;
  if (withSettings) {
    const std::uint8_t bits = in.Byte();
    const std::uint8_t maxDice = in.Byte(), cooldown = in.Byte(), started = in.Byte();
    message.Private = (bits & 1u) != 0;
    Settings.PrivateCommands = message.Private;
    Settings.LogRolls = (bits & 2u) != 0;
    if ((bits & 4u) != 0) Settings.CooldownSeconds = MaxCooldownSeconds - 14 * cooldown;
    Settings.MaxDice = MaxDiceCount - maxDice % MaxDiceCount;
    speakerWaits = (bits & 8u) != 0;
    othersWait = (bits & 16u) != 0;
    twice = (bits & 32u) != 0;
    Settings.SecureRolls = (bits & 64u) != 0;
    Settings.AuditRolls = (bits & 128u) != 0;
    since = 15 * started;
  }
  const WideString typed = in.RestAsText(utf16);

  // The die a command rolls is the number in its text; "/d7" is no command of ours.
  const auto& table = message.Private ? PrivateDiceCommandTable : DiceCommandTable;
  const bool known = row < table.size();
  const std::string command = known ? table[row].Text : message.Private ? "/pd7" : "/d7";
  message.Callback = known ? table[row].Callback : nullptr;
  message.Sides = std::stoi(command.substr(command.find('d') + 1));
  message.Text = Widen(command) + typed;
  for (std::size_t i = 0; upper && i < command.size(); ++i) {
    if (command[i] >= 'a' && command[i] <= 'z')
      message.Text[i] = static_cast<WideChar>(command[i] - 32);
  }
  // The host hands over a message only when the command word (up to a space or tab) matches.
  const Seat& speaker = *message.Speaker;
  message.Dispatched = known && !message.NullPlayer && !speaker.Gone &&
                       (typed.empty() || typed[0] == ' ' || typed[0] == '\t');

  // Cooldowns that were already running when the message came; one started exactly
  // CooldownSeconds ago has just run out. The clock stands still while the message is
  // handled, so the seconds left are whole however slowly the machine runs.
  std::int32_t waitLeft = 0;
  if (Settings.CooldownSeconds > 0 && (speakerWaits || othersWait)) {
    const auto start = CooldownNow() - std::chrono::seconds(since);
    for (const Seat& seat : server.Seats) {
      const bool waits = &seat == &speaker ? speakerWaits : othersWait;
      if (waits && !seat.Gone) {
        StartCooldown(simhost::ListElement(seat.Id), start, Settings.CooldownSeconds);
      }
    }
    if (speakerWaits && !speaker.Gone && !speaker.Leaving)
      waitLeft = std::max(Settings.CooldownSeconds - since, 0);
  }

  DiceEngine = SeededEngine(Fnv1a(data, size));
  // With the audit on, the input's rolls are under a key of their own: committed to first,
  // revealed after, and the whole record replayed from it as a verifier would.
  std::vector<std::string> audit;
  const auto takeAuditLines = [&] {
    for (const LogLine& line : server.Logged) {
      if (IsAuditLine(line.Message)) audit.push_back(line.Message);
    }
    server.Logged.clear();
  };
  if (Settings.AuditRolls) {
    server.Logged.clear();
    StartAudit(AuditClock::now());
    takeAuditLines();
    if (audit.size() != 1) return "the audit did not commit to one key";
  }
  for (int round = 0; round < (twice ? 2 : 1); ++round) {
    const std::string broken = CheckOneMessage(server, message, faultCode, waitLeft, audit);
    if (!broken.empty()) return broken;
  }
  if (Settings.AuditRolls) {
    server.Logged.clear();
    EndAudit();
    takeAuditLines();
    std::vector<AuditedRoll> rolls;
    const std::string replayed = ReplayAudit(audit, rolls);
    if (!replayed.empty()) return "the record does not replay: " + replayed;
  }
  return {};
}

}  // namespace

std::string CheckChatMessage(const std::uint8_t* data, std::size_t size) {
  Server& server = GetServer();
  server.EnsureBuilt();
  PluginLogHolder() = server.Log;
  static CooldownClock::time_point frozen;
  frozen = CooldownClock::now();
  CooldownNow = [] { return frozen; };
  const std::string broken = CheckChat(server, data, size);
  // Each input starts from the same plugin: every setting off, nobody waiting, no key.
  CooldownNow = &CooldownClock::now;
  EndAudit();
  Settings = {};
  ClearCooldowns();
  return broken;
}

}  // namespace fuzz
