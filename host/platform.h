// The one place where Windows and other platforms differ: the host's 16-bit text unit,
// the path separator, symbol export, and how a module finds its own file path.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#if defined(_WIN32)
// The host's wide text is wchar_t on Windows, which is 16 bits there.
using WideChar = wchar_t;
#define HOST_TEXT(literal) L##literal
inline constexpr char PathSeparator = '\\';
// A plugin's folder beneath the server directory; the directory is used as the host gives it.
inline constexpr char PluginFolderPattern[] = "{}\\ArkApi\\Plugins\\{}\\";
#define ROLLMOOT_EXPORT extern "C" __declspec(dllexport)
#if defined(ROLLMOOT_BUILDING_HOST)
#define HOST_API __declspec(dllexport)
#else
#define HOST_API __declspec(dllimport)
#endif
#else
// wchar_t is 32 bits elsewhere, so the host's UTF-16 unit is char16_t.
using WideChar = char16_t;
#define HOST_TEXT(literal) u##literal
inline constexpr char PathSeparator = '/';
inline constexpr char PluginFolderPattern[] = "{}/ArkApi/Plugins/{}/";
#define ROLLMOOT_EXPORT extern "C" __attribute__((visibility("default")))
#define HOST_API __attribute__((visibility("default")))
#endif

static_assert(sizeof(WideChar) == 2, "the host's text unit is 16 bits");

using WideString = std::basic_string<WideChar>;
using WideStringView = std::basic_string_view<WideChar>;

namespace platform {

// Full file path of the loaded module that contains this code. Writes it, zero-terminated,
// into `buffer` and returns its length when it fits in `capacity` units. Returns a value of
// at least `capacity` when the buffer is too small (retry with a larger one), and 0 when
// the path cannot be found.
std::size_t OwnModulePath(WideChar* buffer, std::size_t capacity);

}  // namespace platform
