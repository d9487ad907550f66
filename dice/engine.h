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
std::int32_t RollDie(std::uint32_t sides);
