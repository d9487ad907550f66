#include "host/platform.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>
#else
#include <dlfcn.h>
#include <sys/random.h>

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

#if defined(_WIN32)

std::size_t SecureRandomBytes(void* out, std::size_t size) noexcept {
  const bool filled = BCryptGenRandom(nullptr, static_cast<PUCHAR>(out), static_cast<ULONG>(size),
                                      BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0;
  return filled ? size : 0;
}

#else

// Errors (the source not ready without blocking is none: flags 0 waits for it, once, early
// in the system's life) and an interruption before any byte both count as a failure.
std::size_t SecureRandomBytes(void* out, std::size_t size) noexcept {
  const ssize_t filled = getrandom(out, size, 0);
  return filled > 0 ? static_cast<std::size_t>(filled) : 0;
}

#endif

}  // namespace platform
