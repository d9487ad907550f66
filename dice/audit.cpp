#include "dice/audit.h"

#include <fmt/format.h>

#include <algorithm>
#include <string_view>

#include "host/utf.h"
#include "log/log.h"

constinit AuditBlock AuditWords{{}, AuditBlockWords};

namespace {

using spdlog::level::info;

struct AuditKey {
  platform::HmacSha256 Mac;  // keyed with Key while Live
  unsigned char Key[AuditKeyBytes] = {};
  bool Live = false;
  std::uint32_t Rolls = 0;      // recorded under this key
  std::uint64_t NextBlock = 0;  // the block the next refill computes
  AuditClock::time_point Started;
};
// Never destroyed: at process exit libcrypto may have cleaned itself up before a destructor
// here would free its context. Unload drops the key; a key still live at exit goes with the
// process.
union KeyHolder {
  AuditKey Key;
  KeyHolder() : Key() {}
  ~KeyHolder() {}
};
KeyHolder Holder;
AuditKey& Current = Holder.Key;

// Room for the longest record (200 values of 1000 sides over 20 groups, a name of 64 characters
// each escaped as \u00XX), so a record takes nothing from the heap.
using RecordText = fmt::basic_memory_buffer<char, 2048>;

void AppendHex(RecordText& out, const unsigned char* bytes, std::size_t size) {
  constexpr char digits[] = "0123456789abcdef";
  for (std::size_t i = 0; i < size; ++i) {
    out.push_back(digits[bytes[i] >> 4]);
    out.push_back(digits[bytes[i] & 0x0F]);
  }
}

void Append(RecordText& out, std::string_view text) {
  out.append(text.data(), text.data() + text.size());
}

void AppendNumber(RecordText& out, std::uint64_t value) {
  const fmt::format_int digits(value);
  out.append(digits.data(), digits.data() + digits.size());
}

void Log(const RecordText& text) {
  WriteLog(info, std::string_view(text.data(), text.size()));
}

void Drop() {
  Current.Mac.Clear();
  std::fill(std::begin(Current.Key), std::end(Current.Key), static_cast<unsigned char>(0));
  std::fill(std::begin(AuditWords.Words), std::end(AuditWords.Words), 0u);
  AuditWords.Position = AuditBlockWords;
  Current.Live = false;
  Current.Rolls = 0;
  Current.NextBlock = 0;
}

void RevealAndDrop() {
  if (!Current.Live) return;
  RecordText text;
  Append(text, "Rollmoot: Roll audit: key ");
  AppendHex(text, Current.Key, AuditKeyBytes);
  Append(text, " after ");
  AppendNumber(text, Current.Rolls);
  Append(text, " rolls");
  Log(text);
  Drop();
}

// A fresh key from the system's secure source, committed to in the log. False, with no key,
// when the source or the hash failed.
bool TakeKey(AuditClock::time_point now) {
  Drop();
  unsigned char commitment[platform::Sha256Bytes];
  // A key is whole or not at all: a short fetch is a failure here.
  if (platform::SecureRandomBytes(Current.Key, AuditKeyBytes) != AuditKeyBytes ||
      !platform::Sha256(Current.Key, AuditKeyBytes, commitment) ||
      !Current.Mac.SetKey(Current.Key, AuditKeyBytes)) {
    Drop();
    return false;
  }
  Current.Live = true;
  Current.Started = now;
  RecordText text;
  Append(text, "Rollmoot: Roll audit: commitment ");
  AppendHex(text, commitment, sizeof commitment);
  Log(text);
  return true;
}

void LogFailure() {
  WriteLog(spdlog::level::err, "Rollmoot: Roll audit: no secure random source");
}

// NAME as JSON writes it: quotes, backslashes and control characters escaped, the rest as
// UTF-8, ill-formed UTF-16 as U+FFFD.
void AppendJsonString(RecordText& out, WideStringView name) {
  out.push_back('"');
  utf::DecodeUtf16(name, [&](char32_t cp) {
    switch (cp) {
      case U'"':
        return Append(out, "\\\"");
      case U'\\':
        return Append(out, "\\\\");
      case U'\b':
        return Append(out, "\\b");
      case U'\f':
        return Append(out, "\\f");
      case U'\n':
        return Append(out, "\\n");
      case U'\r':
        return Append(out, "\\r");
      case U'\t':
        return Append(out, "\\t");
      default:
        if (cp < 0x20) {
          constexpr char digits[] = "0123456789abcdef";
          Append(out, "\\u00");
          out.push_back(digits[cp >> 4]);
          out.push_back(digits[cp & 0x0F]);
        } else {
          utf::AppendUtf8(out, cp);
        }
    }
  });
  out.push_back('"');
}

}  // namespace

void StartAudit(AuditClock::time_point now) {
  RevealAndDrop();  // a key of an earlier load that was never ended is not lost unrevealed
  if (!TakeKey(now)) LogFailure();
}

void EndAudit() {
  RevealAndDrop();
}

AuditFeed::AuditFeed(AuditClock::time_point now) noexcept {
  if (Current.Live &&
      (Current.Rolls >= AuditKeyRolls || now - Current.Started >= AuditKeyLifetime)) {
    RevealAndDrop();
  }
  if (!Current.Live && !TakeKey(now)) failed_ = true;
}

bool AuditFeed::Refill() noexcept {
  if (failed_) return false;
  unsigned char index[8];
  for (int i = 0; i < 8; ++i) {
    index[i] = static_cast<unsigned char>(Current.NextBlock >> (56 - 8 * i));
  }
  unsigned char block[platform::Sha256Bytes];
  if (!Current.Live || !Current.Mac.Mac(index, sizeof index, block)) {
    RevealAndDrop();
    failed_ = true;
    return false;
  }
  for (std::uint32_t k = 0; k < AuditBlockWords; ++k) {
    const unsigned char* word = block + 4 * k;
    AuditWords.Words[k] = std::uint32_t{word[0]} << 24 | std::uint32_t{word[1]} << 16 |
                          std::uint32_t{word[2]} << 8 | std::uint32_t{word[3]};
  }
  AuditWords.Position = 0;
  ++Current.NextBlock;
  return true;
}

void RecordAuditedRoll(const WideChar* name, std::span<const AuditGroup> groups) {
  if (!Current.Live) return;
  ++Current.Rolls;
  RecordText text;
  Append(text, "Rollmoot: Roll audit: #");
  AppendNumber(text, Current.Rolls);
  text.push_back(' ');
  if (name == nullptr) {
    Append(text, "null");
  } else {
    AppendJsonString(text, WideStringView(name));
  }
  for (const AuditGroup& group : groups) {
    Append(text, " d");
    AppendNumber(text, static_cast<std::uint64_t>(group.Sides));
    text.push_back(':');
    for (std::int32_t i = 0; i < group.Count; ++i) {
      if (i != 0) text.push_back(',');
      AppendNumber(text, static_cast<std::uint64_t>(group.Values[i]));
    }
  }
  Log(text);
}

std::uint32_t AuditedRolls() {
  return Current.Live ? Current.Rolls : 0;
}

bool AuditKeyLive() {
  return Current.Live;
}
