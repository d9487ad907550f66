// rollmoot-server: a console game server around the Rollmoot plugin, loaded from disk as
// the real server loads it. See UsageText() for the interface.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "console_platform.h"
#include "events.h"
#include "host/asa_api.h"
#include "line_input.h"
#include "options.h"
#include "paths.h"
#include "server_dir.h"
#include "session.h"
#include "simhost/recording_sink.h"
#include "simhost/simhost.h"

namespace {

using namespace console;

// Shown to a person at a prompt who did not name any players.
const std::vector<std::string> SamplePlayers = {"Ann", "Björn", "Nomad"};

// The host's sinks for one run: handed over before the plugin starts, taken back at exit
// so that nothing calls into a finished session.
class HostSinks {
 public:
  HostSinks(Events& events, bool enabled) {
    if (!enabled) return;
    GetLogSinks().push_back(std::make_shared<simhost::RecordingSink>(
        [&events](const simhost::RecordingSink::Entry& entry) { events.Log(entry.Line); }));
  }
  ~HostSinks() { GetLogSinks().clear(); }
  HostSinks(const HostSinks&) = delete;
  HostSinks& operator=(const HostSinks&) = delete;
};

std::unique_ptr<LineSource> OpenInput(const Options& options, bool interactive,
                                      std::string& error) {
  if (options.ScriptPath) return ScriptLines(*options.ScriptPath, error);
  return interactive ? PromptLines(options.Json) : StdinLines();
}

bool IsSkipped(const std::string& line) {
  return line.find_first_not_of(" \t") == std::string::npos || line.front() == '#';
}

int Run(const Options& options) {
  const bool interactive = !options.ScriptPath && StdinIsTerminal();
  std::string error;
  const std::unique_ptr<LineSource> input = OpenInput(options, interactive, error);
  if (!input) {
    std::fprintf(stderr, "rollmoot-server: %s\n", error.c_str());
    return 2;
  }

  Events events(stdout, options.Json);
  std::string modulePath =
      options.PluginPath.value_or(PathText(Utf8Path(ExecutableDir()) / ModuleFileName));
  // Declared before the session: the folder goes only after the module copy is unloaded.
  std::unique_ptr<TempServerDir> tempDir;
  if (options.ServerDir) {
    simhost::SetServerDir(*options.ServerDir);
    events.Host("server directory " + *options.ServerDir);
  } else {
    tempDir = TempServerDir::Create(modulePath, error);
    if (!tempDir) {
      events.Error("cannot load the plugin: " + error);
      return 1;
    }
    simhost::SetServerDir(tempDir->Root());
    modulePath = tempDir->ModuleCopy();
    events.Host("server directory " + tempDir->Root() +
                (tempDir->Kept() ? " (temporary, kept)" : " (temporary, removed at exit)"));
  }

  HostSinks sinks(events, options.LogSinks);
  Session session(events, modulePath);
  if (!session.Load()) return 1;
  for (const std::string& name :
       options.Players.value_or(interactive ? SamplePlayers : std::vector<std::string>{})) {
    session.Join(name);
  }
  if (interactive) events.Host("type help for the commands; quit or Ctrl-D ends the session");

  std::string line;
  while (input->Next(line)) {
    if (IsSkipped(line)) continue;
    if (!session.Execute(line)) break;
  }
  return session.Finish();
}

}  // namespace

int main(int argc, char** argv) {
  PrepareStdio();
  const ParsedOptions parsed = ParseOptions(Arguments(argc, argv));
  switch (parsed.What) {
    case Action::Help:
      std::fputs(UsageText().c_str(), stdout);
      return 0;
    case Action::Version:
      std::puts("rollmoot-server " ROLLMOOT_VERSION);
      return 0;
    case Action::Fail:
      std::fprintf(stderr, "rollmoot-server: %s\nTry 'rollmoot-server --help'.\n",
                   parsed.Error.c_str());
      return 2;
    case Action::Run:
      break;
  }
  return Run(parsed.Values);
}
