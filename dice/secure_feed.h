// The system's secure random source as a word feed (see engine.h for what a feed is), and
// the per-roll choice of feed.
#pragma once

#include <cstdint>

#include "dice/audit.h"
#include "dice/engine.h"
#include "dice/settings.h"

// 4 KiB per system call: the kernel's cost per word falls by a third from 256 bytes to a page,
// and beyond it hardly at all. Ten rolls of 100 dice per call.
inline constexpr std::uint32_t SecureBlockWords = 1024;

// Words fetched from the system and not yet used. Each word is zeroed as it is taken, so a
// drawn word outlives its roll only in the values the line shows. Unused words may wait here
// for later rolls: nobody has seen them, every one is used at most once, and reading them
// would take reading the server's memory, which lies outside anything a player can do.
struct SecureBlock {
  std::uint32_t Words[SecureBlockWords];
  std::uint32_t Position;  // the next word to use; at End the block is spent
  std::uint32_t End;       // words the last fetch filled (a short fetch fills fewer)
};
extern SecureBlock SecureWords;

// One roll's feed from the system source. A block is fetched with one system call when the
// words run out, in the middle of a die if need be; a failed fetch fails the feed.
class SecureFeed {
 public:
  std::uint32_t Next() noexcept {
    if (SecureWords.Position >= SecureWords.End) [[unlikely]] {
      if (failed_ || !Refill()) return 0;
    }
    std::uint32_t& slot = SecureWords.Words[SecureWords.Position++];
    const std::uint32_t word = slot;
    slot = 0;
    return word;
  }
  bool Ok() const noexcept { return !failed_; }

 private:
  bool Refill() noexcept;
  bool failed_ = false;
};

// Runs `draw(feed)` with the feed the operator chose for this roll, and returns its result.
// A roll draws every die from that one feed.
// The audit, when on, supplies every die: its words are unpredictable too, so SecureRolls
// then makes no difference.
template <class Draw>
decltype(auto) WithRollFeed(Draw&& draw) {
  if (Settings.AuditRolls) {
    AuditFeed feed(AuditClock::now());
    return draw(feed);
  }
  if (Settings.SecureRolls) {
    SecureFeed feed;
    return draw(feed);
  }
  EngineFeed feed;
  return draw(feed);
}
