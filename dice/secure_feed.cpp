#include "dice/secure_feed.h"

#include "host/platform.h"

constinit SecureBlock SecureWords{{}, SecureBlockWords};

bool SecureFeed::Refill() noexcept {
  if (platform::SecureRandomBytes(SecureWords.Words, sizeof SecureWords.Words)) {
    SecureWords.Position = 0;
    return true;
  }
  // Whatever the failed call left in the block is never used: it stays spent.
  SecureWords.Position = SecureBlockWords;
  failed_ = true;
  return false;
}
