#include "console_platform.h"

#include <filesystem>
#include <random>
#include <system_error>

#include "host/utf.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// shellapi.h needs windows.h first.
#include <shellapi.h>
#else
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#endif

namespace console {

#if defined(_WIN32)

namespace {
std::string Narrow(const wchar_t* text) {
  return utf::WideToUtf8(WideStringView(text));
}
}  // namespace

bool StdinIsTerminal() {
  return _isatty(_fileno(stdin)) != 0;
}

std::string ExecutableDir() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD written =
        GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (written == 0) return {};
    if (written < buffer.size()) {
      buffer.resize(written);
      break;
    }
    buffer.resize(buffer.size() * 2);  // cut short: try a larger buffer
  }
  const auto slash = buffer.find_last_of(L"\\/");
  return slash == std::wstring::npos ? std::string() : Narrow(buffer.substr(0, slash).c_str());
}

std::string MakeTempDir(std::string& error) {
  wchar_t base[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, base);
  if (length == 0 || length > MAX_PATH) {
    error = "no temporary folder (Windows error " + std::to_string(GetLastError()) + ")";
    return {};
  }
  // CreateDirectoryW fails on an existing name, so a name that is taken is never reused.
  std::random_device device;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::wstring path =
        std::wstring(base) + L"rollmoot-server-" + std::to_wstring(device() % 100000000u);
    if (CreateDirectoryW(path.c_str(), nullptr) != 0) return Narrow(path.c_str());
    if (GetLastError() != ERROR_ALREADY_EXISTS) break;
  }
  error = "cannot create a temporary folder (Windows error " + std::to_string(GetLastError()) + ")";
  return {};
}

std::vector<std::string> Arguments(int argc, char** argv) {
  // argv is in the ANSI code page; the wide command line has every character.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> arguments;
  if (wide == nullptr) {
    for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
    return arguments;
  }
  for (int i = 1; i < count; ++i) arguments.push_back(Narrow(wide[i]));
  LocalFree(wide);
  return arguments;
}

bool EnvironmentFlag(const char* name) {
  const WideString wide = utf::Utf8ToWide(name);
  return GetEnvironmentVariableW(wide.c_str(), nullptr, 0) > 1;  // size with terminator
}

void PrepareStdio() {
  _setmode(_fileno(stdout), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
}

#else

bool StdinIsTerminal() {
  return isatty(STDIN_FILENO) != 0;
}

std::string ExecutableDir() {
  std::error_code ec;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : self.parent_path().string();
}

std::string MakeTempDir(std::string& error) {
  std::error_code ec;
  std::string pattern = std::filesystem::temp_directory_path(ec).string();
  if (ec) pattern = "/tmp";
  pattern += "/rollmoot-server-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) {
    error = "cannot create a temporary folder: " + std::string(std::strerror(errno));
    return {};
  }
  return pattern;
}

std::vector<std::string> Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

bool EnvironmentFlag(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

void PrepareStdio() {}

#endif

}  // namespace console
