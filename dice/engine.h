// The plugin's one source of randomness: a single MT19937 seeded at module load, and an
// unbiased draw of one die.
#pragma once

#include <cstdint>

constexpr std::uint32_t EngineWords = 624;

// MT19937's whole state: the words and the read position within them. Plain data with free
// functions, so the refill can be written branch-free (the standard library's takes one
// unpredictable branch per word) while the output stays the reference sequence.
struct EngineState {
  std::uint32_t Words[EngineWords];
  std::uint32_t Position;  // EngineWords: spent; the next draw regenerates every word first
};

// The standard MT19937 set-up for one 32-bit seed.
EngineState SeededEngine(std::uint32_t seed) noexcept;
// Regenerates all the words and rewinds the read position.
void RefillEngine(EngineState& engine) noexcept;

// The next output of the reference MT19937 sequence.
inline std::uint32_t NextOutput(EngineState& engine) noexcept {
  if (engine.Position >= EngineWords) [[unlikely]]
    RefillEngine(engine);
  std::uint32_t y = engine.Words[engine.Position++];
  y ^= y >> 11;
  y ^= (y << 7) & 0x9D2C5680u;
  y ^= (y << 15) & 0xEFC60000u;
  return y ^ (y >> 18);
}

// Seeded from the platform's random device during static initialisation; never reseeded.
extern EngineState DiceEngine;

// One 32-bit seed from `device`; if it throws, a seed mixed from the clock instead.
std::uint32_t LoadSeed(std::uint32_t (*device)()) noexcept;
std::uint32_t PlatformRandomDevice();

// Word feeds. Every die comes through the one draw below, whatever supplies its words; a
// new source of randomness is a new feed, never a second draw. A feed is a type with
//
//   std::uint32_t Next() noexcept;  // the next 32-bit word, uniform over all 2^32 values
//   bool Ok() const noexcept;       // false from the feed's first failure on, for good
//
// A feed that can fail (a system call behind it) reports it through Ok(): from then on its
// Next() returns 0 and touches no source at all, so the rest of the roll draws nothing,
// from it or from anywhere else. The draw stops redrawing once Ok() is false, so a failed
// feed cannot hold it in its rejection loop. The caller makes one feed per roll, draws
// every die from it, then asks Ok() once: false refuses the whole roll (one failure, one
// refusal, however many dice), and whatever was drawn is thrown away, never shown.
// A feed that cannot fail returns a constant true, and the check compiles away.

// The session's engine: the reference sequence, and the default feed of every roll.
struct EngineFeed {
  std::uint32_t Next() noexcept { return NextOutput(DiceEngine); }
  static constexpr bool Ok() noexcept { return true; }
};

// A value in 1..sides, uniform (Lemire's multiply-and-shift with rejection), from `feed`.
// sides >= 1. Meaningless when the feed failed during the draw (the caller checks Ok()).
// Inline: a roll of 100 dice should cost 100 feed steps, not 100 calls.
template <class Feed>
inline std::int32_t RollDieFrom(Feed& feed, std::uint32_t sides) {
  std::uint64_t product = std::uint64_t{feed.Next()} * sides;
  auto low = static_cast<std::uint32_t>(product);
  if (low < sides) {
    // Only here can the draw be biased; reject the few outputs that would make it so.
    const std::uint32_t threshold = (0u - sides) % sides;
    while (low < threshold && feed.Ok()) {
      product = std::uint64_t{feed.Next()} * sides;
      low = static_cast<std::uint32_t>(product);
    }
  }
  return static_cast<std::int32_t>(product >> 32) + 1;
}

// One die from the engine.
inline std::int32_t RollDie(std::uint32_t sides) {
  EngineFeed engine;
  return RollDieFrom(engine, sides);
}
