#include "dice/secure_feed.h"

#include "host/platform.h"

constinit SecureBlock SecureWords{{}, SecureBlockWords, SecureBlockWords};

bool SecureFeed::Refill() noexcept {
  const std::size_t bytes =
      platform::SecureRandomBytes(SecureWords.Words, sizeof SecureWords.Words);
  // A short fetch is still random as far as it goes: its whole words are used.
  const auto words = static_cast<std::uint32_t>(bytes / sizeof(std::uint32_t));
  if (words != 0) {
    SecureWords.Position = 0;
    SecureWords.End = words;
    return true;
  }
  // Whatever the failed call left in the block is never used: it stays spent.
  SecureWords.Position = SecureWords.End = SecureBlockWords;
  failed_ = true;
  return false;
}
