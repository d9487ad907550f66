#include "session.h"

#include <charconv>
#include <chrono>
#include <exception>
#include <thread>

#include "host/utf.h"

namespace console {
namespace {

// Splits "word rest" at the first space; `rest` is everything after that one space.
std::pair<std::string_view, std::string_view> SplitWord(std::string_view line) {
  const auto space = line.find(' ');
  if (space == std::string_view::npos) return {line, {}};
  return {line.substr(0, space), line.substr(space + 1)};
}

bool IsJoinNumber(std::string_view player) {
  return player.size() > 1 && player.front() == '#' &&
         player.find_first_not_of("0123456789", 1) == std::string_view::npos;
}

std::string NameOf(simhost::PlayerId player) {
  return utf::WideToUtf8(simhost::CharacterName(player));
}

// Exceptions from the plugin or the host end the command, not the session.
template <class Action>
bool Guarded(Events& events, std::string_view what, Action&& action) {
  try {
    action();
    return true;
  } catch (const std::exception& error) {
    events.Error(std::string(what) + " failed: " + error.what());
  } catch (...) {
    events.Error(std::string(what) + " failed: unknown exception");
  }
  return false;
}

}  // namespace

Session::Session(Events& events, std::string modulePath)
    : events_(events), modulePath_(std::move(modulePath)) {
  // Lines are printed as they come and never read back: keeping them too would make a
  // long-running console grow with every roll.
  simhost::SetLeanRelay(true);
  // As a game server's allocator may: a newcomer gets the memory of the last to leave.
  simhost::SetControllerReuse(true);
  simhost::SetChatObserver([this](simhost::PlayerId player, const simhost::ChatLine& line) {
    events_.Chat(player, NameOf(player), utf::WideToUtf8(line.Sender), utf::WideToUtf8(line.Text));
  });
}

Session::~Session() {
  if (module_) Unload();
  simhost::SetChatObserver({});
}

bool Session::Load() {
  std::string error;
  module_ = simhost::PluginModule::Load(modulePath_, error);
  if (!module_) {
    events_.Error("cannot load the plugin: " + error);
    return false;
  }
  // Even when Init fails half-way, the module counts as loaded: whatever it registered
  // must be taken back by Plugin_Unload before its code goes away.
  if (Guarded(events_, "Plugin_Init", [&] { module_->Init(); })) {
    events_.Host("loaded " + module_->Path());
  }
  ReportHostFaults();
  return true;
}

void Session::Unload() {
  const std::string path = module_->Path();
  Guarded(events_, "Plugin_Unload", [&] { module_->Unload(); });
  module_.reset();
  events_.Host("unloaded " + path);
}

simhost::PlayerId Session::Join(const std::string& name) {
  const simhost::PlayerId player = simhost::Join(utf::Utf8ToWide(name));
  events_.Host(name.empty() ? "joined #" + std::to_string(player) + " with an empty name"
                            : "joined " + Describe(player));
  return player;
}

bool Session::Execute(std::string_view line) {
  const bool more = Dispatch(line);
  ReportHostFaults();
  return more;
}

void Session::ReportHostFaults() {
  for (const std::string& fault : simhost::TakeHostFaults()) {
    events_.Error("host fault: " + fault);
    sawHostFault_ = true;
  }
}

bool Session::Dispatch(std::string_view line) {
  // Plain variables, not structured bindings: lambdas below capture them.
  const auto split = SplitWord(line);
  const std::string_view command = split.first, rest = split.second;
  const bool hasArgument = command.size() < line.size();
  auto noArgument = [&] {
    if (hasArgument) events_.Error(std::string(command) + " takes no argument");
    return !hasArgument;
  };
  if (command == "join") {
    Join(std::string(rest));
  } else if (command == "leave") {
    Leave(rest);
  } else if (command == "say") {
    Say(rest);
  } else if (command == "unload") {
    if (!noArgument()) return true;
    if (!module_) {
      events_.Error("the plugin is not loaded");
    } else {
      Unload();
    }
  } else if (command == "load") {
    if (!noArgument()) return true;
    if (module_) {
      events_.Error("the plugin is already loaded");
    } else {
      Load();
    }
  } else if (command == "sleep") {
    Sleep(rest);
  } else if (command == "stats") {
    if (noArgument()) events_.Stats(simhost::Memory());
  } else if (command == "help") {
    if (noArgument()) Help();
  } else if (command == "quit") {
    return !noArgument();
  } else {
    events_.Error("unknown command: " + std::string(command));
  }
  return true;
}

void Session::Sleep(std::string_view seconds) {
  // A decimal number of seconds, so scripts can wait out a cooldown; a minute at most, so a
  // typo cannot stall a session for good.
  double value = -1;
  const char* end = seconds.data() + seconds.size();
  const auto parsed = std::from_chars(seconds.data(), end, value, std::chars_format::fixed);
  if (seconds.empty() || parsed.ec != std::errc() || parsed.ptr != end || !(value >= 0) ||
      value > MaxSleepSeconds) {
    events_.Error("sleep takes a number of seconds from 0 to 60, e.g. sleep 1.5");
    return;
  }
  std::this_thread::sleep_for(std::chrono::duration<double>(value));
}

void Session::Leave(std::string_view player) {
  if (player.find(' ') != std::string_view::npos) {
    events_.Error("leave takes one player, #N or a name without spaces");
    return;
  }
  const auto id = Resolve(player);
  if (!id) return;
  simhost::Leave(*id);
  events_.Host("left " + Describe(*id));
}

void Session::Say(std::string_view rest) {
  const auto split = SplitWord(rest);
  const std::string_view player = split.first, text = split.second;
  const auto id = Resolve(player);
  if (!id) return;
  bool command = false;
  if (!Guarded(events_, "say", [&] { command = simhost::Say(*id, utf::Utf8ToWide(text)); })) {
    return;
  }
  if (!command) events_.Host(Describe(*id) + ": not a command: " + std::string(text));
}

std::optional<simhost::PlayerId> Session::Resolve(std::string_view player) {
  if (player.empty()) {
    events_.Error("missing player: give #N or a name");
    return std::nullopt;
  }
  // "#" and digits only is a join number; anything else after "#" is a name.
  if (IsJoinNumber(player)) {
    int number = 0;  // stays 0 when too large, which no player has
    std::from_chars(player.data() + 1, player.data() + player.size(), number);
    if (number < 1 || number > simhost::PlayerCount()) {
      events_.Error("no player " + std::string(player));
      return std::nullopt;
    }
    if (!simhost::IsPresent(number)) {
      events_.Error(Describe(number) + " has left");
      return std::nullopt;
    }
    return number;
  }
  for (simhost::PlayerId id = 1; id <= simhost::PlayerCount(); ++id) {
    if (simhost::IsPresent(id) && NameOf(id) == player) return id;
  }
  events_.Error("no player named " + std::string(player) + " is present");
  return std::nullopt;
}

std::string Session::Describe(simhost::PlayerId player) const {
  // Appended piece by piece: gcc 12 at -O3 misreads "#" + std::string as an overlapping copy.
  std::string text = "#";
  text += std::to_string(player);
  text += ' ';
  text += NameOf(player);
  return text;
}

void Session::Help() {
  for (const char* line :
       {"join NAME: a player joins", "leave P: a player leaves (P: #N or name)",
        "say P TEXT: P types TEXT, e.g. say #1 /d20 2", "sleep SECONDS: wait (at most 60)",
        "unload, load: unload or reload the plugin", "stats: host allocator balance",
        "quit: unload and exit"}) {
    events_.Host(line);
  }
}

int Session::Finish() {
  if (module_) Unload();
  ReportHostFaults();
  const simhost::MemoryStats stats = simhost::Memory();
  events_.Stats(stats);
  int status = 0;
  if (stats.Blocks != 0) {
    events_.Host(std::to_string(stats.Blocks) + " host blocks (" + std::to_string(stats.Bytes) +
                 " bytes) still outstanding");
    status = 1;
  }
  if (stats.BadFrees != 0) {
    events_.Host("the host allocator saw " + std::to_string(stats.BadFrees) +
                 " double or foreign frees");
    status = 1;
  }
  if (sawHostFault_) {
    events_.Host("the plugin made calls the host would not accept (see the errors above)");
    status = 1;
  }
  return status;
}

}  // namespace console
