// Appending lines to a text file with the system's own calls: no stdio or stream buffer, which
// would take the heap when first used and hold a line back until it is flushed.
#include <cstdio>
#include <cstring>

#include "host/platform.h"

#if defined(_WIN32)
#include <windows.h>

#include <algorithm>
#include <string>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#endif

namespace platform {
namespace {

void Describe(FileError& why, const char* text) {
  std::snprintf(why.Text, sizeof why.Text, "%s", text);
}

#if defined(_WIN32)

void DescribeLast(FileError& why) {
  const DWORD code = GetLastError();
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, why.Text, static_cast<DWORD>(sizeof why.Text), nullptr);
  // The system's sentences end in a full stop and a line break; the log line goes on after.
  while (length > 0 && (why.Text[length - 1] == '\r' || why.Text[length - 1] == '\n' ||
                        why.Text[length - 1] == '.' || why.Text[length - 1] == ' ')) {
    why.Text[--length] = 0;
  }
  if (length == 0) std::snprintf(why.Text, sizeof why.Text, "error %lu", code);
}

// UTF-8 to the wide path the system's calls take; empty when it is not UTF-8. Once per file
// opened, not per line.
std::wstring Wide(const char* utf8) {
  const int units = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, nullptr, 0);
  if (units <= 0) return {};
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8, -1, wide.data(), units);
  wide.pop_back();  // the terminator the count included
  return wide;
}

#else

void DescribeErrno(FileError& why, int error) {
  Describe(why, std::strerror(error));
}

int Descriptor(void* handle) {
  return static_cast<int>(reinterpret_cast<std::intptr_t>(handle) - 1);
}

#endif

}  // namespace

#if defined(_WIN32)

bool AppendFile::Open(const char* folder, const char* path, FileError& why) noexcept {
  Close();
  try {
    const std::wstring wideFolder = Wide(folder);
    const std::wstring widePath = Wide(path);
    if (wideFolder.empty() || widePath.empty()) {
      Describe(why, "the path is not UTF-8");
      return false;
    }
    if (CreateDirectoryW(wideFolder.c_str(), nullptr) == 0 &&
        GetLastError() != ERROR_ALREADY_EXISTS) {
      DescribeLast(why);
      return false;
    }
    // Others may read, copy or move the file while it is open: it is there to be published.
    HANDLE file = CreateFileW(widePath.c_str(), GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      DescribeLast(why);
      return false;
    }
    handle_ = file;
    return true;
  } catch (...) {
    Describe(why, "out of memory");
    return false;
  }
}

bool AppendFile::Append(const char* data, std::size_t size, FileError& why) noexcept {
  if (handle_ == nullptr) {
    Describe(why, "not open");
    return false;
  }
  HANDLE file = static_cast<HANDLE>(handle_);
  LARGE_INTEGER end{};
  if (SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_END) == 0) {
    DescribeLast(why);
    return false;
  }
  std::size_t written = 0;
  while (written < size) {
    DWORD done = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(size - written, 1u << 30));
    if (WriteFile(file, data + written, chunk, &done, nullptr) == 0 || done == 0) {
      DescribeLast(why);
      if (written != 0) {
        SetFilePointerEx(file, end, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
      }
      return false;
    }
    written += done;
  }
  return true;
}

void AppendFile::Close() noexcept {
  if (handle_ != nullptr) CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
}

#else

bool AppendFile::Open(const char* folder, const char* path, FileError& why) noexcept {
  Close();
  if (mkdir(folder, 0755) != 0 && errno != EEXIST) {
    DescribeErrno(why, errno);
    return false;
  }
  const int descriptor = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (descriptor < 0) {
    DescribeErrno(why, errno);
    return false;
  }
  handle_ = reinterpret_cast<void*>(static_cast<std::intptr_t>(descriptor) + 1);
  return true;
}

bool AppendFile::Append(const char* data, std::size_t size, FileError& why) noexcept {
  if (handle_ == nullptr) {
    Describe(why, "not open");
    return false;
  }
  const int descriptor = Descriptor(handle_);
  std::size_t written = 0;
  while (written < size) {
    const ssize_t done = write(descriptor, data + written, size - written);
    if (done > 0) {
      written += static_cast<std::size_t>(done);
      continue;
    }
    if (done < 0 && errno == EINTR) continue;
    DescribeErrno(why, done < 0 ? errno : ENOSPC);
    // A line cut short would run into the next one: take the piece back off the end.
    if (written != 0) {
      struct stat status {};
      if (fstat(descriptor, &status) == 0 && static_cast<std::size_t>(status.st_size) >= written) {
        const int ignored = ftruncate(descriptor, status.st_size - static_cast<off_t>(written));
        static_cast<void>(ignored);
      }
    }
    return false;
  }
  return true;
}

void AppendFile::Close() noexcept {
  if (handle_ != nullptr) close(Descriptor(handle_));
  handle_ = nullptr;
}

#endif

}  // namespace platform
