// The console server's command line.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace console {

struct Options {
  std::optional<std::string> PluginPath;            // default: the module beside the program
  std::optional<std::string> ServerDir;             // default: a fresh temporary folder
  std::optional<std::vector<std::string>> Players;  // present at start, in join order
  bool LogSinks = true;
  bool Json = false;
  std::optional<std::string> ScriptPath;  // default: standard input
};

enum class Action { Run, Help, Version, Fail };

struct ParsedOptions {
  Action What = Action::Run;
  Options Values;
  std::string Error;  // why, when What is Fail
};

// Reads the arguments after the program name. Values come as "--opt VALUE" or "--opt=VALUE".
ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

// "NAME,NAME,...": an empty text means nobody; otherwise every comma separates two names
// (which may be empty).
std::vector<std::string> SplitPlayers(const std::string& list);

std::string UsageText();

}  // namespace console
