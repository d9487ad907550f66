#include "host/platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>

#include <filesystem>
#include <system_error>

#include "host/utf.h"
#endif

namespace platform {
namespace {

#if defined(_WIN32)

WideString FindOwnModulePath() {
  HMODULE module = nullptr;
  // From-address plus unchanged-reference-count: finding ourselves must not pin the module.
  constexpr DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  static_assert(flags == 6);
  if (GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&FindOwnModulePath), &module) == 0) {
    return {};
  }
  // MAX_PATH first; a path that fills the buffer was cut short, so retry with more room.
  WideString path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD written = GetModuleFileNameW(module, path.data(), static_cast<DWORD>(path.size()));
    if (written == 0) return {};
    if (written < path.size()) {
      path.resize(written);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

#else

WideString FindOwnModulePath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&FindOwnModulePath), &info) == 0 ||
      info.dli_fname == nullptr || *info.dli_fname == 0) {
    return {};
  }
  // dladdr reports the name the loader was given, relative if it was; the working directory
  // is still the loader's while the module loads. File names are bytes, conventionally UTF-8.
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(info.dli_fname, ec);
  if (ec) return {};
  return utf::Utf8ToWide(full.lexically_normal().native());
}

#endif

const WideString ModulePath = FindOwnModulePath();

}  // namespace

const WideChar* OwnModulePath() {
  return ModulePath.empty() ? nullptr : ModulePath.c_str();
}

}  // namespace platform
