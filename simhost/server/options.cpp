#include "options.h"

#include <string_view>

namespace console {
namespace {

// Flags that take a value; the rest stand alone.
bool TakesValue(std::string_view name) {
  return name == "--plugin" || name == "--server-dir" || name == "--players" || name == "--script";
}

}  // namespace

std::vector<std::string> SplitPlayers(const std::string& list) {
  std::vector<std::string> names;
  if (list.empty()) return names;
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = list.find(',', start);
    names.push_back(list.substr(start, comma - start));
    if (comma == std::string::npos) return names;
    start = comma + 1;
  }
}

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  Options& options = parsed.Values;
  auto fail = [&](std::string why) {
    parsed.What = Action::Fail;
    parsed.Error = std::move(why);
    return parsed;
  };
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> value;
    if (const auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (TakesValue(name)) {
      if (!value) {
        if (i + 1 >= arguments.size()) return fail("option " + name + " needs a value");
        value = arguments[++i];
      }
      if (name == "--plugin") options.PluginPath = *value;
      if (name == "--server-dir") options.ServerDir = *value;
      if (name == "--players") options.Players = SplitPlayers(*value);
      if (name == "--script") options.ScriptPath = *value;
      continue;
    }
    if (value) return fail("option " + name + " takes no value");
    if (name == "--no-log-sinks") {
      options.LogSinks = false;
    } else if (name == "--json") {
      options.Json = true;
    } else if (name == "--help") {
      parsed.What = Action::Help;  // what follows is not looked at
      return parsed;
    } else if (name == "--version") {
      parsed.What = Action::Version;
      return parsed;
    } else {
      return fail("unknown option " + name);
    }
  }
  return parsed;
}

std::string UsageText() {
  return R"(usage: rollmoot-server [--plugin PATH] [--server-dir DIR] [--players NAME,NAME,...]
                       [--no-log-sinks] [--json] [--script FILE] [--help] [--version]

Runs a simulated game server with the Rollmoot plugin loaded from disk, and lets you play
its players from standard input, a script, or an interactive prompt.

  --plugin PATH       plugin module to load (default: Rollmoot module beside this program)
  --server-dir DIR    use DIR as the server directory as it is (default: a new temporary
                      folder holding ArkApi/Plugins/Rollmoot/ with a copy of the module,
                      removed at exit unless ROLLMOOT_KEEP_SERVER_DIR is set)
  --players LIST      comma-separated characters present at start, in order
  --no-log-sinks      give the plugin an empty list of log sinks
  --json              one JSON object per output line
  --script FILE       read commands from FILE instead of standard input
  --help, --version   print this text or the version and exit

Commands (one per line; blank lines and lines starting with # are skipped):
  join NAME         a player joins (NAME is the rest of the line; may be empty)
  leave P           a player leaves; P is #N (Nth to join) or a name without spaces
  say P TEXT        P types TEXT in chat, e.g. "say #1 /d20 2"
  unload | load     unload the plugin module, or load it again
  sleep SECONDS     wait that long before the next command (0 to 60, e.g. 1.5)
  stats             the host allocator's outstanding blocks
  help              this list
  quit              unload the plugin and exit (so does end of input)

Exit status: 0; 1 when host blocks are still outstanding at exit, the allocator saw a bad
free, or the plugin cannot be loaded at start; 2 for bad arguments or an unreadable script.
)";
}

}  // namespace console
