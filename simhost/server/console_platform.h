// The console server's one platform-specific file: terminals, the program's own path,
// temporary folders, command-line text and standard streams differ between Windows and
// the rest. All text here is UTF-8.
#pragma once

#include <string>
#include <vector>

namespace console {

// File name of the plugin module as the build produces it.
#if defined(_WIN32)
inline constexpr char ModuleFileName[] = "Rollmoot.dll";
#else
inline constexpr char ModuleFileName[] = "Rollmoot.so";
#endif

// Standard input is a terminal (a person at a keyboard, not a pipe or a file).
bool StdinIsTerminal();

// Folder of the running executable; empty when it cannot be found.
std::string ExecutableDir();

// Creates a new, empty folder only this user can enter, beneath the system's temporary
// folder. Returns its path, or an empty string with the reason in `error`.
std::string MakeTempDir(std::string& error);

// The command-line arguments after the program name, as UTF-8.
std::vector<std::string> Arguments(int argc, char** argv);

// An environment variable is set to a non-empty value.
bool EnvironmentFlag(const char* name);

// Byte-exact standard output (no newline translation) that a console shows as UTF-8.
void PrepareStdio();

}  // namespace console
