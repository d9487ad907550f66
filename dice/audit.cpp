#include "dice/audit.h"

#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <string_view>

#include "dice/audit_file.h"
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
  UtcSeconds Committed = 0;  // when its commitment was logged; its lines go to that date's file
  unsigned char Commitment[platform::Sha256Bytes] = {};
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

enum class Failure { Source, SelfTest };
Failure LastFailure = Failure::Source;

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

constexpr std::string_view Marker = "Rollmoot: Roll audit: ";

void Log(const RecordText& text) {
  WriteLog(info, std::string_view(text.data(), text.size()));
}

// Into the audit file, when the operator keeps one, after the log has it.
void Copy(const RecordText& text) {
  const std::string_view line(text.data(), text.size());
  WriteAuditFileLine(Current.Committed, UtcNow(), line.substr(Marker.size()));
}

AuditRevealed Revealed;

void Drop() {
  Current.Mac.Clear();
  std::fill(std::begin(Current.Key), std::end(Current.Key), static_cast<unsigned char>(0));
  std::fill(std::begin(Current.Commitment), std::end(Current.Commitment),
            static_cast<unsigned char>(0));
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
  Copy(text);
  Revealed.Any = true;
  std::copy(std::begin(Current.Commitment), std::end(Current.Commitment),
            std::begin(Revealed.Commitment));
  std::copy(std::begin(Current.Key), std::end(Current.Key), std::begin(Revealed.Key));
  Drop();
}

// Block j of the current key's stream: the MAC of j as 8 big-endian bytes.
bool ComputeBlock(std::uint64_t j, unsigned char (&block)[platform::Sha256Bytes]) {
  unsigned char index[8];
  for (int i = 0; i < 8; ++i) index[i] = static_cast<unsigned char>(j >> (56 - 8 * i));
  return Current.Mac.Mac(index, sizeof index, block);
}

enum class SelfTest { Passed, Mismatch, NoMac };

// A library can report success and still give wrong MACs (OpenSSL 3.0.0 to 3.0.2 did not
// restart a keyed context, so every block after the first was wrong): the first two blocks,
// as the rolls compute them, against a MAC that reuses nothing.
SelfTest TestKey() {
  for (std::uint64_t j = 0; j < 2; ++j) {
    unsigned char streamed[platform::Sha256Bytes];
    unsigned char reference[platform::Sha256Bytes];
    const unsigned char index[8] = {0, 0, 0, 0, 0, 0, 0, static_cast<unsigned char>(j)};
    if (!ComputeBlock(j, streamed) ||
        !AuditReferenceMac(Current.Key, AuditKeyBytes, index, sizeof index, reference)) {
      return SelfTest::NoMac;
    }
    if (std::memcmp(streamed, reference, sizeof streamed) != 0) return SelfTest::Mismatch;
  }
  return SelfTest::Passed;
}

// A fresh key from the system's secure source, tested and committed to in the log (and its
// file, after the file's own line when `announce`). False, with no key, when the source or the
// hash failed or the key failed its self-test.
bool TakeKey(AuditClock::time_point now, bool announce = false) {
  Drop();
  LastFailure = Failure::Source;
  // A key is whole or not at all: a short fetch is a failure here.
  if (platform::SecureRandomBytes(Current.Key, AuditKeyBytes) != AuditKeyBytes ||
      !platform::Sha256(Current.Key, AuditKeyBytes, Current.Commitment) ||
      !Current.Mac.SetKey(Current.Key, AuditKeyBytes)) {
    Drop();
    return false;
  }
  if (const SelfTest test = TestKey(); test != SelfTest::Passed) {
    if (test == SelfTest::Mismatch) LastFailure = Failure::SelfTest;
    Drop();
    return false;
  }
  Current.Live = true;
  Current.Started = now;
  Current.Committed = UtcNow();
  RecordText text;
  Append(text, "Rollmoot: Roll audit: commitment ");
  AppendHex(text, Current.Commitment, sizeof Current.Commitment);
  Log(text);
  if (announce) AnnounceAuditFile(Current.Committed);
  Copy(text);
  return true;
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
  Revealed = {};
  RevealAndDrop();  // a key of an earlier load that was never ended is not lost unrevealed
  if (!TakeKey(now, true)) {
    LogAuditFailure();
    AnnounceAuditFile(UtcNow());
  }
}

void LogAuditFailure() {
  WriteLog(spdlog::level::err, LastFailure == Failure::SelfTest
                                   ? "Rollmoot: Roll audit: self-test failed"
                                   : "Rollmoot: Roll audit: no secure random source");
}

void EndAudit() {
  RevealAndDrop();
}

AuditFeed::AuditFeed(AuditClock::time_point now) noexcept {
  // With a file per UTC day, a key serves one day, so that each day's file verifies alone.
  if (Current.Live &&
      (Current.Rolls >= AuditKeyRolls || now - Current.Started >= AuditKeyLifetime ||
       (AuditFileOn() && UtcDay(UtcNow()) != UtcDay(Current.Committed)))) {
    RevealAndDrop();
  }
  if (!Current.Live && !TakeKey(now)) failed_ = true;
}

bool AuditFeed::Refill() noexcept {
  if (failed_) return false;
  unsigned char block[platform::Sha256Bytes];
  if (!Current.Live || !ComputeBlock(Current.NextBlock, block)) {
    RevealAndDrop();
    LastFailure = Failure::Source;
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
  Copy(text);
}

std::uint32_t AuditedRolls() {
  return Current.Live ? Current.Rolls : 0;
}

bool AuditKeyLive() {
  return Current.Live;
}

bool LiveAuditKey(AuditLive& live) {
  if (!Current.Live) return false;
  std::copy(std::begin(Current.Commitment), std::end(Current.Commitment),
            std::begin(live.Commitment));
  live.Committed = Current.Committed;
  live.Rolls = Current.Rolls;
  return true;
}

const AuditRevealed& LastRevealedKey() {
  return Revealed;
}
