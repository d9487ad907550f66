// The module's two entry points. Neither catches anything: a host failure goes back to
// the host, which called us.
#include "config/config.h"
#include "host/asa_api.h"
#include "plugin/commands.h"
#include "plugin/log.h"

ROLLMOOT_EXPORT void Plugin_Init() {
  CreatePluginLog(PluginLogHolder(), "Rollmoot");
  LoadConfig();
  for (const DiceCommand& row : DiceCommandTable) {
    AsaApi::ICommands& commands = AsaApi::GetCommands();
    const FString text(row.Text);
    const ChatCommandCallback callback(row.Callback);
    commands.RegisterChatCommand(text, callback);
  }
}

ROLLMOOT_EXPORT void Plugin_Unload() {
  // Same order as registration; every row is offered, accepted earlier or not.
  for (const DiceCommand& row : DiceCommandTable) {
    AsaApi::ICommands& commands = AsaApi::GetCommands();
    const FString text(row.Text);
    commands.UnregisterChatCommand(text);
  }
  WriteLog(spdlog::level::info, "Rollmoot: Plugin unloaded");
}
