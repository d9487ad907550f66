#include "dice/engine.h"

#include <atomic>
#include <chrono>
#include <random>

std::uint32_t PlatformRandomDevice() {
  std::random_device device;
  return device();
}

// The random device may be unavailable (no entropy source, a sandbox without the device);
// loading the plugin must not throw from static initialisation and take the server down,
// so fall back to a clock-address-and-count mix, which still differs from load to load (the
// count, for two fallbacks within one tick of a coarse clock).
std::uint32_t LoadSeed(std::uint32_t (*device)()) noexcept {
  try {
    return device();
  } catch (...) {
    static std::atomic<std::uint64_t> fallbacks{0};
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::uint64_t mix = ticks ^ (reinterpret_cast<std::uintptr_t>(&ticks) * 0x9E3779B97F4A7C15u);
    mix += ++fallbacks * 0xD1B54A32D192ED03u;
    mix ^= mix >> 33;
    mix *= 0xFF51AFD7ED558CCDu;
    mix ^= mix >> 33;
    return static_cast<std::uint32_t>(mix);
  }
}

EngineState SeededEngine(std::uint32_t seed) noexcept {
  EngineState engine;
  engine.Words[0] = seed;
  for (std::uint32_t i = 1; i < EngineWords; ++i) {
    const std::uint32_t previous = engine.Words[i - 1];
    engine.Words[i] = 1812433253u * (previous ^ (previous >> 30)) + i;
  }
  engine.Position = EngineWords;
  return engine;
}

namespace {

// MT19937's middle offset: each word is twisted with the one this far ahead.
constexpr std::size_t MiddleOffset = 397;

// One word of the twist: the top bit of `current`, the low 31 of `next`, mixed into `far`.
// The odd/even choice of the twist coefficient is a mask, not a branch: it depends on a
// random bit, so a branch would be mispredicted on every other word.
inline std::uint32_t Twist(std::uint32_t current, std::uint32_t next, std::uint32_t far) {
  const std::uint32_t y = (current & 0x80000000u) | (next & 0x7FFFFFFFu);
  return far ^ (y >> 1) ^ (0x9908B0DFu & (0u - (next & 1u)));
}

}  // namespace

// Three loops without wrap-around arithmetic, each free of loop-carried dependencies closer
// than the vector width, so the compiler can vectorise the first two.
void RefillEngine(EngineState& engine) noexcept {
  std::uint32_t* const w = engine.Words;
  for (std::size_t i = 0; i < EngineWords - MiddleOffset; ++i)
    w[i] = Twist(w[i], w[i + 1], w[i + MiddleOffset]);
  for (std::size_t i = EngineWords - MiddleOffset; i < EngineWords - 1; ++i)
    w[i] = Twist(w[i], w[i + 1], w[i + MiddleOffset - EngineWords]);
  w[EngineWords - 1] = Twist(w[EngineWords - 1], w[0], w[MiddleOffset - 1]);
  engine.Position = 0;
}

EngineState DiceEngine = SeededEngine(LoadSeed(&PlatformRandomDevice));
