// The module's two entry points. Neither catches anything: a host failure goes back to
// the host, which called us.
#include "config/config.h"
#include "dice/audit.h"
#include "dice/audit_file.h"
#include "dice/cooldown.h"
#include "dice/settings.h"
#include "host/asa_api.h"
#include "log/log.h"
#include "plugin/commands.h"

namespace {

template <class Table>
void Register(const Table& table) {
  for (const DiceCommand& row : table) {
    AsaApi::ICommands& commands = AsaApi::GetCommands();
    const FString text(row.Text);
    const ChatCommandCallback callback(row.Callback);
    commands.RegisterChatCommand(text, callback);
  }
}

// Same order as registration; every row is offered, accepted earlier or not.
template <class Table>
void Unregister(const Table& table) {
  for (const DiceCommand& row : table) {
    AsaApi::ICommands& commands = AsaApi::GetCommands();
    const FString text(row.Text);
    commands.UnregisterChatCommand(text);
  }
}

}  // namespace

ROLLMOOT_EXPORT void Plugin_Init() {
  CreatePluginLog(PluginLogHolder(), "Rollmoot");
  LoadConfig();
  // Committed to before any roll, right after the configuration's lines.
  if (Settings.AuditFile) UseAuditFile(AuditFolderPath());
  if (Settings.AuditRolls) StartAudit(AuditClock::now());
  ClearCooldowns();  // a load starts from the file again, with nobody waiting
  Register(DiceCommandTable);
  if (Settings.PrivateCommands) Register(PrivateDiceCommandTable);
  if (Settings.RollCommand) Register(std::array{NotationCommand});
  if (Settings.AuditRolls) Register(std::array{DiceKeyCommand});
}

ROLLMOOT_EXPORT void Plugin_Unload() {
  // The settings of this load decide what was registered, so they decide what goes.
  Unregister(DiceCommandTable);
  if (Settings.PrivateCommands) Unregister(PrivateDiceCommandTable);
  if (Settings.RollCommand) Unregister(std::array{NotationCommand});
  if (Settings.AuditRolls) Unregister(std::array{DiceKeyCommand});
  EndAudit();  // reveals the key in use, if any
  StopAuditFile();
  WriteLog(spdlog::level::info, "Rollmoot: Plugin unloaded");
}
