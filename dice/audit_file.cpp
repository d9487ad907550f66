#include "dice/audit_file.h"

#include <fmt/format.h>

#include <cstdint>
#include <limits>

#include "host/platform.h"
#include "log/log.h"

namespace {

constexpr std::string_view FilePrefix = "rolls-";
constexpr std::string_view FileSuffix = ".txt";

struct FileState {
  platform::AppendFile File;
  std::string Folder;  // empty: the file is off
  // FOLDER/rolls-YYYY-MM-DD.txt, the date written over in place when the day changes, so a
  // new day's file takes nothing from the heap.
  std::string Path;
  std::size_t DateAt = 0;
  std::int64_t OpenDay = std::numeric_limits<std::int64_t>::min();
  bool Failing = false;
};
FileState State;

void SetDate(UtcSeconds day) {
  WriteUtcDate(day, State.Path.data() + State.DateAt);
}

// Room for the longest record after its time, and the line end.
using FileLine = fmt::basic_memory_buffer<char, 2048 + UtcTimeChars + 4>;

}  // namespace

void UseAuditFile(const std::string& folder) {
  StopAuditFile();
  State.Folder = folder;
  State.Path = folder;
  State.Path += PathSeparator;
  State.Path += FilePrefix;
  State.DateAt = State.Path.size();
  State.Path.append(UtcDateChars, '0');
  State.Path += FileSuffix;
}

void StopAuditFile() {
  State.File.Close();
  // Their memory too: a host may keep the module loaded with the file off.
  std::string().swap(State.Folder);
  std::string().swap(State.Path);
  State.OpenDay = std::numeric_limits<std::int64_t>::min();
  State.Failing = false;
}

bool AuditFileOn() {
  return !State.Folder.empty();
}

void AnnounceAuditFile(UtcSeconds day) {
  if (!AuditFileOn()) return;
  if (!State.File.IsOpen()) SetDate(day);
  WriteLog(spdlog::level::info, "Rollmoot: Roll audit file: {}", State.Path);
}

void WriteAuditFileLine(UtcSeconds day, UtcSeconds now, std::string_view text) {
  if (!AuditFileOn()) return;
  FileLine line;
  line.resize(UtcTimeChars);
  WriteUtcTime(now, line.data());
  line.push_back(' ');
  line.append(text.data(), text.data() + text.size());
  const std::string_view end = LineEnd;
  line.append(end.data(), end.data() + end.size());

  platform::FileError why;
  const std::int64_t date = UtcDay(day);
  if (!State.File.IsOpen() || State.OpenDay != date) {
    SetDate(day);
    State.OpenDay = date;
    if (!State.File.Open(State.Folder.c_str(), State.Path.c_str(), why)) {
      State.OpenDay = std::numeric_limits<std::int64_t>::min();
    }
  }
  if (State.File.IsOpen() && State.File.Append(line.data(), line.size(), why)) {
    if (State.Failing) {
      State.Failing = false;
      WriteLog(spdlog::level::info, "Rollmoot: Roll audit file: writing again");
    }
    return;
  }
  // Opened again for the next line: the cause (a full disk, a folder moved away) may be gone.
  State.File.Close();
  State.OpenDay = std::numeric_limits<std::int64_t>::min();
  if (!State.Failing) {
    State.Failing = true;
    WriteLog(spdlog::level::err, "Rollmoot: Roll audit file: cannot write {}: {}", State.Path,
             static_cast<const char*>(why.Text));
  }
}
