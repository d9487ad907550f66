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
