// The one place where Windows and other platforms differ: the host's 16-bit text unit,
// the plugin folder's separators, symbol export, how a module finds its own file path, the
// system's secure random source and hashes, and appending lines to a text file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#if defined(_WIN32)
// The host's wide text is wchar_t on Windows, which is 16 bits there.
using WideChar = wchar_t;
#define HOST_TEXT(literal) L##literal
// A plugin's folder beneath the server directory; the directory is used as the host gives it.
inline constexpr char PluginFolderPattern[] = "{}\\ArkApi\\Plugins\\{}\\";
inline constexpr char PathSeparator = '\\';
// Text files for people to open in the system's own editors.
inline constexpr char LineEnd[] = "\r\n";
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
inline constexpr char PluginFolderPattern[] = "{}/ArkApi/Plugins/{}/";
inline constexpr char PathSeparator = '/';
inline constexpr char LineEnd[] = "\n";
#define ROLLMOOT_EXPORT extern "C" __attribute__((visibility("default")))
#define HOST_API __attribute__((visibility("default")))
#endif

static_assert(sizeof(WideChar) == 2, "the host's text unit is 16 bits");

using WideString = std::basic_string<WideChar>;
using WideStringView = std::basic_string_view<WideChar>;

namespace platform {

// Full file path of the loaded module that contains this code, however it was loaded
// (relative, beyond the usual length limit, any characters); null when it cannot be found.
// Found once, while the module loads: a loaded module's path does not change, and a
// relative name is resolved against the working directory the loader used.
const WideChar* OwnModulePath();

// Fills up to `size` bytes at `out` from the system's cryptographically secure random source,
// with one system call, and returns how many it filled: 0 when the call failed. Linux may fill
// fewer than asked beyond 256 bytes (a signal); Windows fills all or nothing.
std::size_t SecureRandomBytes(void* out, std::size_t size) noexcept;

inline constexpr std::size_t Sha256Bytes = 32;

// SHA-256 of `size` bytes at `data`, from the system's crypto library (libcrypto elsewhere,
// BCrypt on Windows). False when the library failed; `digest` is then meaningless.
bool Sha256(const void* data, std::size_t size, unsigned char (&digest)[Sha256Bytes]) noexcept;

// HMAC-SHA256 of `size` bytes at `data` under `key`, in one call with a context of its own
// (nothing reused from an earlier MAC): the reference HmacSha256 is held to. False when the
// library failed.
bool HmacSha256Once(const void* key, std::size_t keySize, const void* data, std::size_t size,
                    unsigned char (&mac)[Sha256Bytes]) noexcept;

// HMAC-SHA256 from the same library under one key, set up once so that each MAC costs
// little after it: many MACs under one key is the common use. Neither copyable nor movable.
class HmacSha256 {
 public:
  HmacSha256() = default;
  ~HmacSha256() { Clear(); }
  HmacSha256(const HmacSha256&) = delete;
  HmacSha256& operator=(const HmacSha256&) = delete;

  // Takes a copy of the key, replacing any earlier one. False when the library failed; the
  // object then holds no key.
  bool SetKey(const void* key, std::size_t size) noexcept;
  // The MAC of `size` bytes at `data`. False without a key or when the library failed.
  bool Mac(const void* data, std::size_t size, unsigned char (&mac)[Sha256Bytes]) noexcept;
  bool HasKey() const noexcept { return state_ != nullptr; }
  // Forgets the key.
  void Clear() noexcept;

 private:
  struct State;
  // The library's keyed context (libcrypto), or a State of ours (BCrypt).
  void* state_ = nullptr;
};

// Why a file operation failed, in the system's words.
struct FileError {
  char Text[160] = {};
};

// A file kept open for appending, written a whole line at a time with one system call and
// no buffer of the process in between, so each line is out of the process once Append returns
// (a crash of the server loses none). Nothing is ever truncated but a line of our own that was
// cut short. Neither copyable nor movable.
class AppendFile {
 public:
  AppendFile() = default;
  ~AppendFile() { Close(); }
  AppendFile(const AppendFile&) = delete;
  AppendFile& operator=(const AppendFile&) = delete;

  // Opens `path` (UTF-8) for appending, creating it when missing, after creating `folder`
  // (its last part; the folder above it must exist) when missing. Closes any file open before.
  bool Open(const char* folder, const char* path, FileError& why) noexcept;
  // Appends all `size` bytes, or none: the part of a write the system cut short is taken back
  // off the file's end.
  bool Append(const char* data, std::size_t size, FileError& why) noexcept;
  bool IsOpen() const noexcept { return handle_ != nullptr; }
  void Close() noexcept;

 private:
  void* handle_ = nullptr;  // the system's handle (a descriptor plus one, elsewhere)
};

}  // namespace platform
