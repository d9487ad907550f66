// The command interpreter: plays the server around a plugin module loaded from disk, one
// console line at a time, and reports every event through Events.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "events.h"
#include "simhost/plugin_module.h"
#include "simhost/simhost.h"

namespace console {

inline constexpr double MaxSleepSeconds = 60;

class Session {
 public:
  // Watches the host's chat relay from now on; the plugin is not loaded yet.
  Session(Events& events, std::string modulePath);
  ~Session();

  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Loads the module and runs Plugin_Init. Reports and returns false when the module
  // cannot be loaded.
  bool Load();
  // Runs Plugin_Unload, then unloads the module.
  void Unload();
  bool Loaded() const { return module_ != nullptr; }

  simhost::PlayerId Join(const std::string& name);

  // Carries out one console line (without its line ending). Returns false for "quit".
  bool Execute(std::string_view line);

  // Unloads the plugin if it is loaded and reports the allocator's final balance. Returns
  // the exit status: 1 when host blocks are outstanding, a bad free or a host fault was
  // seen, else 0.
  int Finish();

 private:
  bool Dispatch(std::string_view line);
  void Leave(std::string_view player);
  void Say(std::string_view rest);
  void Sleep(std::string_view seconds);
  void Help();
  // "#N" or a name without spaces, to a present player; reports and returns nothing else.
  std::optional<simhost::PlayerId> Resolve(std::string_view player);
  std::string Describe(simhost::PlayerId player) const;  // "#N NAME"
  // Reports each call the host would not have accepted as an error, and remembers it.
  void ReportHostFaults();

  Events& events_;
  std::string modulePath_;
  std::unique_ptr<simhost::PluginModule> module_;
  bool sawHostFault_ = false;
};

}  // namespace console
