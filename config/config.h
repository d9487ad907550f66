// The plugin's configuration: config.json in its own folder, read into the label and the
// roll settings.
#pragma once

#include <nlohmann/json_fwd.hpp>

#include <string>

// {"SenderName": "Dice"}
nlohmann::json MakeDefaultConfig();

// Where config.json lives for the host's current server directory.
std::string ConfigPath();

// The audit file's folder, beside config.json.
std::string AuditFolderPath();

// Creates config.json when missing, reads it and sets SenderTag, Settings and Messages. Every
// failure from the existence test on becomes one log line; the label then keeps its value and every
// setting is at its default. A member that is wrong on its own gets its own line after the
// "loaded" line and keeps its default; the rest of the file still applies.
void LoadConfig();
