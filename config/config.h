// The plugin's one setting, "SenderName", read from config.json in its own folder.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

// {"SenderName": "Dice"}
nlohmann::json MakeDefaultConfig();

// Where config.json lives for the host's current server directory.
std::string ConfigPath();

// Creates config.json when missing, reads it and sets SenderTag. Every failure from the
// existence test on becomes one log line; the label then keeps its value.
void LoadConfig();
