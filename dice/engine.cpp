#include "dice/engine.h"

#include <chrono>

std::uint32_t PlatformRandomDevice() {
  std::random_device device;
  return device();
}

// The random device may be unavailable (no entropy source, a sandbox without the device);
// loading the plugin must not throw from static initialisation and take the server down,
// so fall back to a clock-and-address mix, which still differs from load to load.
std::uint32_t LoadSeed(std::uint32_t (*device)()) noexcept {
  try {
    return device();
  } catch (...) {
    const auto ticks = static_cast<std::uint64_t>(
        std::chrono::high_resolution_clock::now().time_since_epoch().count());
    std::uint64_t mix = ticks ^ (reinterpret_cast<std::uintptr_t>(&ticks) * 0x9E3779B97F4A7C15u);
    mix ^= mix >> 33;
    mix *= 0xFF51AFD7ED558CCDu;
    mix ^= mix >> 33;
    return static_cast<std::uint32_t>(mix);
  }
}

std::mt19937 DiceEngine{LoadSeed(&PlatformRandomDevice)};

std::int32_t RollDie(std::uint32_t sides) {
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
