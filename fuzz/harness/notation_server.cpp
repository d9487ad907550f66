#include "fuzz/harness/notation_server.h"

#include <spdlog/sinks/base_sink.h>

#include <algorithm>
#include <memory>
#include <mutex>
#include <vector>

#include "dice/audit.h"
#include "dice/cooldown.h"
#include "dice/delivery.h"
#include "dice/notation.h"
#include "dice/settings.h"
#include "fuzz/harness/audit_replay.h"
#include "fuzz/harness/fuzz_support.h"
#include "fuzz/harness/notation_harness.h"
#include "host/utf.h"
#include "log/log.h"
#include "plugin/commands.h"
#include "simhost/simhost.h"

namespace fuzz {

const std::array<WideString, 7>& RollerNames() {
  static const std::array<WideString, 7> names{
      HOST_TEXT("Nomad"),
      HOST_TEXT(""),
      HOST_TEXT("{0} {:>9} }{"),
      WideString(64, static_cast<WideChar>('N')),
      WideString(65, static_cast<WideChar>('W')),
      WideString(HOST_TEXT("a")) + WideChar{0} + HOST_TEXT("b"),
      WideString(1, static_cast<WideChar>(0xD800)) + utf::Utf8ToWide("Zo\xC3\xAB \xF0\x9F\x8E\xB2"),
  };
  return names;
}

namespace {

// Keeps the messages of one input; cleared before the next, so nothing grows.
class MessageSink final : public spdlog::sinks::base_sink<std::mutex> {
 public:
  struct Entry {
    spdlog::level::level_enum Level;
    std::string Message;
  };
  std::vector<Entry> Entries;

 protected:
  void sink_it_(const spdlog::details::log_msg& message) override {
    Entries.push_back({message.level, std::string(message.payload.data(), message.payload.size())});
  }
  void flush_() override {}
};

struct Seat {
  simhost::PlayerId Id;
  bool Stale;
};

struct Delivery {
  simhost::PlayerId To;
  simhost::ChatLine Line;
};

// Names of the players who left; no other harness uses them, so a server rebuilt by someone
// else is told apart from ours.
const WideString FirstLeft = HOST_TEXT("Left early");
const WideString LastLeft = HOST_TEXT("Left late");

// One server for the whole run, as in the chat harness: joining anew for every input would
// spend the fuzzer's time on the host. The relay is lean and an observer keeps this input's
// deliveries. A player who left sits between the rollers, so delivery must skip over one.
struct Server {
  std::vector<Seat> Seats;  // by player id, from 1
  std::vector<simhost::PlayerId> Rollers;
  std::vector<Delivery> Delivered;
  std::shared_ptr<MessageSink> Sink = std::make_shared<MessageSink>();
  std::shared_ptr<spdlog::logger> Log;

  // Rebuilt when another harness or test reset the host in between (a test binary shares it).
  void EnsureBuilt() {
    const auto count = static_cast<simhost::PlayerId>(Seats.size());
    if (count == 0 || simhost::PlayerCount() != count || simhost::CharacterName(count) != LastLeft)
      Build();
  }

  void Build() {
    simhost::Reset();
    Seats.clear();
    Rollers.clear();
    const FString command(NotationCommand.Text);
    AsaApi::GetCommands().RegisterChatCommand(command,
                                              ChatCommandCallback(NotationCommand.Callback));
    const auto join = [this](WideStringView name, bool stale) {
      const simhost::PlayerId id = simhost::Join(name);
      if (stale) simhost::Leave(id);
      Seats.push_back({id, stale});
      return id;
    };
    const auto& names = RollerNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
      if (i == 2) join(FirstLeft, true);
      Rollers.push_back(join(names[i], false));
    }
    join(LastLeft, true);
    simhost::SetLeanRelay(true);
    simhost::SetChatObserver([this](simhost::PlayerId to, const simhost::ChatLine& line) {
      Delivered.push_back({to, line});
    });
    Log = PluginLogOver(Sink);
  }
};

Server& GetServer() {
  static Server server;
  return server;
}

// Every input starts from the operator's defaults and leaves them so, whatever it returns.
// The cooldown's clock stands still meanwhile: the seconds left right after a roll are the
// whole cooldown, however slowly the machine runs.
struct SettingsScope {
  SettingsScope() {
    static CooldownClock::time_point frozen;
    frozen = CooldownClock::now();
    CooldownNow = [] { return frozen; };
  }
  ~SettingsScope() {
    CooldownNow = &CooldownClock::now;
    EndAudit();
    Settings = {};
    ClearCooldowns();
  }
};

std::string CheckDeliveries(const Server& server, const ServerRoll& roll, bool accepted,
                            WideStringView expected) {
  const simhost::PlayerId roller = server.Rollers[roll.Roller];
  const WideString label = SenderTag.substr(0, SenderTag.find(WideChar{0}));
  std::vector<int> lines(server.Seats.size() + 1, 0);
  for (const Delivery& delivery : server.Delivered) {
    if (delivery.To < 1 || static_cast<std::size_t>(delivery.To) > server.Seats.size())
      return "a line to nobody on the server";
    if (server.Seats[static_cast<std::size_t>(delivery.To) - 1].Stale)
      return "a line reached a player who left";
    if (!accepted && delivery.To != roller) return "an error line reached another player";
    if (++lines[static_cast<std::size_t>(delivery.To)] > 1) return "a player got two lines";
    if (delivery.Line.Sender != label) return "line sent under another label";
    if (delivery.Line.Text != expected)
      return accepted ? "line differs from the notation's for these dice"
                      : "error line differs from the notation's";
  }
  const std::size_t audience = accepted ? server.Rollers.size() : 1;
  if (server.Delivered.size() != audience)
    return accepted ? "a live player got no line" : "the roller got no error line";
  return {};
}

// Words that give chosen dice: for value v of an s-sided die, the middle of v's share of the
// 32-bit words, which the draw never rejects. Fails (as a feed does) when a value is no face
// of its die or the words run out.
class ReplayFeed {
 public:
  // Groups of (sides, values), in the order drawn.
  explicit ReplayFeed(
      const std::vector<std::pair<std::int32_t, std::vector<std::int32_t>>>& groups) {
    for (const auto& [sides, values] : groups) {
      for (const std::int32_t value : values) Add(sides, value);
    }
  }

  // The dice of an accepted notation of plain terms (no modifier but kh/kl) as `line` shows
  // them: the numbers inside the brackets, after " and got: " (searched past the name, which
  // may hold anything).
  ReplayFeed(const Notation& notation, WideStringView line, std::size_t nameUnits) {
    std::size_t at = line.find(HOST_TEXT(" and got: "), nameUnits);
    std::vector<std::int64_t> values;
    bool inside = false;
    for (; at < line.size(); ++at) {
      const WideChar unit = line[at];
      if (unit == '[' || unit == ']') inside = unit == '[';
      if (!inside || unit < '0' || unit > '9') continue;
      std::int64_t value = 0;
      for (; at < line.size() && line[at] >= '0' && line[at] <= '9' && value < 1000000; ++at)
        value = value * 10 + (line[at] - '0');
      --at;
      values.push_back(value);
    }
    std::size_t die = 0;
    for (std::int32_t t = 0; t < notation.TermCount; ++t) {
      const NotationTerm& term = notation.Terms[t];
      for (std::int32_t i = 0; term.Dice && i < term.Count; ++i, ++die) {
        Add(term.Sides, die < values.size() ? values[die] : 0);
      }
    }
    if (die != values.size()) ok_ = false;
  }
  std::uint32_t Next() noexcept {
    if (next_ < words_.size()) return words_[next_++];
    ok_ = false;
    return 0;
  }
  bool Ok() const noexcept { return ok_; }
  bool AllUsed() const { return next_ == words_.size(); }

 private:
  void Add(std::int32_t sides, std::int64_t value) {
    if (sides < 1 || value < 1 || value > sides) {
      ok_ = false;
      sides = 1;
      value = 1;
    }
    words_.push_back(
        static_cast<std::uint32_t>(((2 * static_cast<std::uint64_t>(value) - 1) << 32) /
                                   (2 * static_cast<std::uint64_t>(sides))));
  }
  std::vector<std::uint32_t> words_;
  std::size_t next_ = 0;
  bool ok_ = true;
};

// Terms whose line shows every value as drawn: no explosion, reroll or Fudge die.
bool PlainTerms(const Notation& notation) {
  return std::all_of(
      notation.Terms, notation.Terms + notation.TermCount, [](const NotationTerm& t) {
        return t.Explode == ExplodeKind::None && t.Reroll == RerollKind::None && !t.Fudge;
      });
}

}  // namespace

std::string CheckRollOnServer(const ServerRoll& roll) {
  Server& server = GetServer();
  server.EnsureBuilt();
  PluginLogHolder() = server.Log;
  server.Delivered.clear();
  server.Sink->Entries.clear();
  const SettingsScope restore;
  Settings = {};
  Settings.MaxDice = roll.MaxDice;
  Settings.LogRolls = roll.LogRolls;
  Settings.CooldownSeconds = roll.Cooldown ? 60 : 0;
  Settings.SecureRolls = roll.SecureRolls;
  Settings.AuditRolls = roll.AuditRolls;
  ClearCooldowns();
  // The audit's lines of this roll: the key's commitment, then the record, then the reveal.
  std::vector<std::string> audit;
  const auto takeAuditLines = [&] {
    std::erase_if(server.Sink->Entries, [&](const MessageSink::Entry& entry) {
      if (entry.Message.rfind("Rollmoot: Roll audit: ", 0) != 0) return false;
      audit.push_back(entry.Message);
      return true;
    });
  };
  if (roll.AuditRolls) {
    StartAudit(AuditClock::now());
    takeAuditLines();
    if (audit.size() != 1) return "the audit did not commit to one key";
  }

  // The handler reads the message as the host's zero-terminated text: up to a zero unit.
  const WideStringView text = roll.Text.substr(0, roll.Text.find(WideChar{0}));
  DiceEngine = *roll.Engine;
  const Notation notation = ParseNotation(text, roll.MaxDice);
  const bool accepted = notation.Error == NotationError::None;
  NotationLine expected;
  if (accepted) {
    NotationDraw draw;
    DrawNotation(notation, draw);
    WriteNotationLine(expected, RollerNames()[roll.Roller], notation, draw);
  } else {
    WriteNotationError(expected, text, notation);
  }
  const EngineState drawn = DiceEngine;
  DiceEngine = *roll.Engine;

  WideString message = HOST_TEXT("/roll");
  message += static_cast<WideChar>(roll.Tab ? '\t' : ' ');
  message += roll.Text;
  const simhost::PlayerId roller = server.Rollers[roll.Roller];
  const simhost::MemoryStats memoryBefore = simhost::Memory();
  const bool said = simhost::Say(roller, message);
  const simhost::MemoryStats memoryAfter = simhost::Memory();

  if (!said) return "the host did not hand /roll to the plugin";
  if (memoryAfter.Blocks != memoryBefore.Blocks || memoryAfter.Bytes != memoryBefore.Bytes) {
    return "host blocks left outstanding";
  }
  if (memoryAfter.BadFrees != memoryBefore.BadFrees) return "double or foreign free";
  if (!simhost::TakeHostFaults().empty()) return "a call the host would not accept";
  takeAuditLines();
  // A roll of numbers alone draws no dice, so it has no record.
  bool drawsDice = false;
  for (std::int32_t t = 0; accepted && t < notation.TermCount; ++t)
    drawsDice |= notation.Terms[t].Dice;
  if (audit.size() != (roll.AuditRolls ? (drawsDice ? 2u : 1u) : 0u))
    return "a roll recorded other than once, or a refusal was recorded";
  if ((roll.SecureRolls || roll.AuditRolls) && accepted) {
    // The dice came from the system or the audit's key: the engine stays, and the line must
    // be the notation's for the values drawn.
    if (!SameEngine(DiceEngine, *roll.Engine)) return "a secure or audited roll moved the engine";
    if (server.Delivered.empty()) return "a live player got no line";
    const WideStringView name = RollerNames()[roll.Roller];
    const WideStringView shownName = name.substr(0, name.find(WideChar{0}));
    const WideStringView sent = server.Delivered.front().Line.Text;
    if (roll.AuditRolls) {
      // The record names the roller and holds one group per dice term; the whole of it
      // replays from the key once revealed, and its values, drawn again through the notation,
      // give the very line sent.
      EndAudit();
      takeAuditLines();
      std::vector<AuditedRoll> rolls;
      const std::string replayed = ReplayAudit(audit, rolls);
      if (!replayed.empty()) return "the record does not replay: " + replayed;
      if (rolls.size() != (drawsDice ? 1u : 0u)) return "not one record for the roll";
      if (drawsDice) {
        if (rolls[0].Name != JsonName(shownName)) return "the record names another roller";
        std::size_t values = 0;
        std::size_t group = 0;
        for (std::int32_t t = 0; t < notation.TermCount; ++t) {
          if (!notation.Terms[t].Dice) continue;
          if (group >= rolls[0].Groups.size() ||
              rolls[0].Groups[group].first != notation.Terms[t].Sides)
            return "the record's groups are not the dice terms";
          values += rolls[0].Groups[group++].second.size();
        }
        if (group != rolls[0].Groups.size()) return "the record has groups beyond the terms";
        if (values > static_cast<std::size_t>(MaxNotationValues))
          return "a record of more than 200 values";
        ReplayFeed replay(rolls[0].Groups);
        NotationDraw draw;
        DrawNotation(notation, draw, replay);
        if (!replay.Ok() || !replay.AllUsed())
          return "the record's values are not what the roll drew";
        WriteNotationLine(expected, RollerNames()[roll.Roller], notation, draw);
      }
    } else if (PlainTerms(notation)) {
      ReplayFeed replay(notation, sent, shownName.size());
      NotationDraw draw;
      DrawNotation(notation, draw, replay);
      if (!replay.Ok()) return "a secure roll shows other dice than its notation's";
      WriteNotationLine(expected, RollerNames()[roll.Roller], notation, draw);
    } else {
      // Rerolled-away values leave no trace in the line: judge the line on its own.
      const std::string shape =
          CheckRollLine(sent, shownName, text, notation, nullptr, roll.MaxDice);
      if (!shape.empty()) return "a secure roll's line: " + shape;
      expected.clear();
      expected.append(sent.data(), sent.data() + sent.size());
    }
  } else if (!SameEngine(DiceEngine, drawn)) {
    return accepted ? "the engine moved by other than the dice of the line"
                    : "dice were drawn for a refused expression";
  }
  const std::string delivered =
      CheckDeliveries(server, roll, accepted, {expected.data(), expected.size()});
  if (!delivered.empty()) return delivered;

  const auto& logged = server.Sink->Entries;
  if (accepted && roll.LogRolls) {
    if (logged.size() != 1) return "a roll logged other than one line";
    if (logged[0].Level != spdlog::level::info ||
        logged[0].Message !=
            "Rollmoot: Roll: " + utf::WideToUtf8({expected.data(), expected.size()})) {
      return "roll log line differs from the line sent";
    }
  } else if (!logged.empty()) {
    return accepted ? "a roll was logged with the roll log off" : "a refused expression was logged";
  }

  if (roll.Cooldown) {
    const std::int32_t left = CooldownSecondsLeft(simhost::ListElement(roller), CooldownNow());
    if (accepted && left != 60) return "a roll did not start the cooldown";
    if (!accepted && left != 0) return "a refused expression started a cooldown";
  }
  return {};
}

}  // namespace fuzz
