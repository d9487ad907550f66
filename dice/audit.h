// The roll audit, switched on by the operator: every die is drawn from a stream of words
// that a secret key alone gives, the key's SHA-256 is logged before its first roll and the
// key itself after its last, and each roll logs its dice, so anyone holding the log can
// check that every value came from the key the server committed to in advance.
//
// The stream: block j (j = 0, 1, ... under each key) is HMAC-SHA256(key, j as 8 bytes,
// big-endian); its 32 bytes are 8 big-endian 32-bit words, used in order across the key's
// rolls, none skipped. scripts/verify-rolls.py replays it from the log.
#pragma once

#include <chrono>
#include <cstdint>
#include <span>

#include "dice/utc_time.h"
#include "host/platform.h"

inline constexpr std::size_t AuditKeyBytes = 32;
inline constexpr std::uint32_t AuditBlockWords = 8;
// A key serves at most this many rolls, or this long, whichever comes first.
inline constexpr std::uint32_t AuditKeyRolls = 1000;
inline constexpr std::chrono::minutes AuditKeyLifetime{60};

// Monotonic, so setting the server's clock neither extends nor ends a key. Every entry point
// is handed the time, so tests move it without waiting.
using AuditClock = std::chrono::steady_clock;

// The current block's words not yet used. Unused words wait for the key's next roll: they
// are part of the stream the record replays, so none may be dropped while the key serves.
struct AuditBlock {
  std::uint32_t Words[AuditBlockWords];
  std::uint32_t Position;  // AuditBlockWords: spent; the next word computes the next block
};
extern AuditBlock AuditWords;

// At load, after the configuration's log lines: takes a key and logs
// "Rollmoot: Roll audit: commitment C". When that fails it logs the audit's error line and
// the first roll tries again. With the audit file on (UseAuditFile before), the file's own line
// follows, and every audit line from here on is copied into the file; a key then also gives
// way at the first roll of a new UTC day.
// Each key is checked as it is set up, before its commitment: blocks 0 and 1 of its stream,
// computed as the rolls compute them, must equal a one-shot MAC of the same input
// (AuditReferenceMac). A key that fails is dropped unused, as when the source fails, but the
// error line is "Rollmoot: Roll audit: self-test failed".
void StartAudit(AuditClock::time_point now);

// The self-test's reference. Tests put one of their own here to plant a mismatch.
inline bool (*AuditReferenceMac)(
    const void* key, std::size_t keySize, const void* data, std::size_t size,
    unsigned char (&mac)[platform::Sha256Bytes]) noexcept = &platform::HmacSha256Once;

// Logs, as an error, why the audit last failed to give a roll its dice: the self-test's line
// when the last key failed it, "Rollmoot: Roll audit: no secure random source" otherwise.
void LogAuditFailure();

// At unload: "Rollmoot: Roll audit: key K after N rolls" for the key in use, then forgets it.
void EndAudit();

// One roll's feed from the stream (engine.h says what a feed is). Constructing it readies the
// key before any die is drawn: a key that has served its rolls or its time is revealed and a
// new one committed to; with none to be had the feed fails from the start. A hash that fails
// in the middle of a roll fails the feed, and the key is revealed and dropped there, so the
// words that roll took unrecorded never stand between two records. Either way the caller
// refuses the roll (RefuseWithoutSource), and the next roll tries a new key.
class AuditFeed {
 public:
  explicit AuditFeed(AuditClock::time_point now) noexcept;
  std::uint32_t Next() noexcept {
    if (AuditWords.Position >= AuditBlockWords) [[unlikely]] {
      if (!Refill()) return 0;
    }
    return AuditWords.Words[AuditWords.Position++];
  }
  bool Ok() const noexcept { return !failed_; }

 private:
  bool Refill() noexcept;
  bool failed_ = false;
};

// The dice of one group of a record: a fixed command's, or one dice term's of /roll, in the
// order drawn.
struct AuditGroup {
  std::int32_t Sides;
  const std::int32_t* Values;
  std::int32_t Count;
};

// After a roll whose feed held, once the roller's name was asked for and before its line is
// sent: logs "Rollmoot: Roll audit: #N NAME GROUPS" and counts the roll under the key. NAME
// is the name as a JSON string, or null when `name` is null (the host gave none); GROUPS are
// "d<sides>:<v>,<v>,..." separated by single spaces. No heap of its own for any roll the
// commands allow.
void RecordAuditedRoll(const WideChar* name, std::span<const AuditGroup> groups);

// What a key serves now, for tests: rolls under it (0 without a key) and whether there is one.
std::uint32_t AuditedRolls();
bool AuditKeyLive();

// What players may witness: the key in use (its commitment, when it was logged, the rolls
// recorded under it so far), false without one; and the last key revealed since the load.
struct AuditLive {
  unsigned char Commitment[platform::Sha256Bytes];
  UtcSeconds Committed;
  std::uint32_t Rolls;
};
bool LiveAuditKey(AuditLive& live);
struct AuditRevealed {
  bool Any = false;
  unsigned char Commitment[platform::Sha256Bytes] = {};
  unsigned char Key[AuditKeyBytes] = {};
};
const AuditRevealed& LastRevealedKey();
