// The plugin's one source of randomness: a single MT19937 seeded at module load, and an
// unbiased draw of one die.
#pragma once

#include <cstdint>
#include <random>

// Seeded from the platform's random device during static initialisation; never reseeded.
extern std::mt19937 DiceEngine;

// One 32-bit seed from `device`; if it throws, a seed mixed from the clock instead.
std::uint32_t LoadSeed(std::uint32_t (*device)()) noexcept;
std::uint32_t PlatformRandomDevice();

// A value in 1..sides, uniform (Lemire's multiply-and-shift with rejection). sides >= 1.
// Inline: a roll of 100 dice should cost 100 engine steps, not 100 calls.
inline std::int32_t RollDie(std::uint32_t sides) {
  std::uint64_t product = std::uint64_t{DiceEngine()} * sides;
  auto low = static_cast<std::uint32_t>(product);
  if (low < sides) {
    // Only here can the draw be biased; reject the few outputs that would make it so.
    const std::uint32_t threshold = (0u - sides) % sides;
    while (low < threshold) {
      product = std::uint64_t{DiceEngine()} * sides;
      low = static_cast<std::uint32_t>(product);
    }
  }
  return static_cast<std::int32_t>(product >> 32) + 1;
}
