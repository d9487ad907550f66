#include "host/platform.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>

#include "host/utf.h"
#endif

namespace platform {

#if defined(_WIN32)

std::size_t OwnModulePath(WideChar* buffer, std::size_t capacity) {
  HMODULE module = nullptr;
  // From-address plus unchanged-reference-count: finding ourselves must not pin the module.
  constexpr DWORD flags =
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT;
  static_assert(flags == 6);
  if (GetModuleHandleExA(flags, reinterpret_cast<LPCSTR>(&OwnModulePath), &module) == 0) return 0;
  if (capacity == 0) return 1;
  const DWORD written = GetModuleFileNameW(module, buffer, static_cast<DWORD>(capacity));
  if (written == 0) return 0;
  // A path that filled the whole buffer was cut short; ask for a larger one.
  if (written >= capacity) return capacity;
  return written;
}

#else

std::size_t OwnModulePath(WideChar* buffer, std::size_t capacity) {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&OwnModulePath), &info) == 0 || info.dli_fname == nullptr) {
    return 0;
  }
  // File names here are bytes, conventionally UTF-8. Their plain-ASCII start (usually the
  // whole path: this runs at every roll) is widened unit for unit; the rest is decoded.
  const char* name = info.dli_fname;
  std::size_t out = 0;
  for (auto byte = static_cast<unsigned char>(*name); byte != 0 && byte < 0x80;
       byte = static_cast<unsigned char>(*++name)) {
    if (out < capacity) buffer[out] = static_cast<WideChar>(byte);
    ++out;
  }
  utf::DecodeUtf8(name, [&](char32_t cp) {
    utf::EncodeUtf16(cp, [&](WideChar unit) {
      if (out < capacity) buffer[out] = unit;
      ++out;
    });
  });
  if (out >= capacity) return out + 1;
  buffer[out] = 0;
  return out;
}

#endif

}  // namespace platform
