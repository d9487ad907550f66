// SHA-256 and HMAC-SHA256 from the system's own crypto library: nothing of it is written
// here, only the calls. libcrypto (OpenSSL) outside Windows, BCrypt on Windows.
#include <limits>
#include <new>
#include <vector>

#include "host/platform.h"

#if defined(_WIN32)
#include <windows.h>
// After windows.h, which it needs.
#include <bcrypt.h>
#else
#include <openssl/core_names.h>
#include <openssl/evp.h>
#include <openssl/params.h>
#endif

namespace platform {

#if defined(_WIN32)

namespace {

bool Fits(std::size_t size) {
  return size <= std::numeric_limits<ULONG>::max();
}

// One hash (keyed with the HMAC flag on the algorithm) over one message.
bool HashOnce(BCRYPT_ALG_HANDLE algorithm, const UCHAR* key, std::size_t keySize, const void* data,
              std::size_t size, unsigned char (&digest)[Sha256Bytes]) {
  if (!Fits(size) || !Fits(keySize)) return false;
  BCRYPT_HASH_HANDLE hash = nullptr;
  // No object buffer given: BCrypt keeps the hash object itself.
  if (BCryptCreateHash(algorithm, &hash, nullptr, 0, const_cast<PUCHAR>(key),
                       static_cast<ULONG>(keySize), 0) < 0) {
    return false;
  }
  const bool done = BCryptHashData(hash, static_cast<PUCHAR>(const_cast<void*>(data)),
                                   static_cast<ULONG>(size), 0) >= 0 &&
                    BCryptFinishHash(hash, digest, static_cast<ULONG>(Sha256Bytes), 0) >= 0;
  BCryptDestroyHash(hash);
  return done;
}

}  // namespace

struct HmacSha256::State {
  BCRYPT_ALG_HANDLE Algorithm = nullptr;
  std::vector<UCHAR> Key;
};

bool Sha256(const void* data, std::size_t size, unsigned char (&digest)[Sha256Bytes]) noexcept {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
    return false;
  }
  const bool done = HashOnce(algorithm, nullptr, 0, data, size, digest);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return done;
}

bool HmacSha256Once(const void* key, std::size_t keySize, const void* data, std::size_t size,
                    unsigned char (&mac)[Sha256Bytes]) noexcept {
  BCRYPT_ALG_HANDLE algorithm = nullptr;
  if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                  BCRYPT_ALG_HANDLE_HMAC_FLAG) < 0) {
    return false;
  }
  const bool done = HashOnce(algorithm, static_cast<const UCHAR*>(key), keySize, data, size, mac);
  BCryptCloseAlgorithmProvider(algorithm, 0);
  return done;
}

bool HmacSha256::SetKey(const void* key, std::size_t size) noexcept {
  Clear();
  if (!Fits(size)) return false;
  auto* state = new (std::nothrow) State;
  if (state == nullptr) return false;
  try {
    const auto* bytes = static_cast<const UCHAR*>(key);
    state->Key.assign(bytes, bytes + size);
  } catch (...) {
    delete state;
    return false;
  }
  if (BCryptOpenAlgorithmProvider(&state->Algorithm, BCRYPT_SHA256_ALGORITHM, nullptr,
                                  BCRYPT_ALG_HANDLE_HMAC_FLAG) < 0) {
    delete state;
    return false;
  }
  state_ = state;
  return true;
}

bool HmacSha256::Mac(const void* data, std::size_t size,
                     unsigned char (&mac)[Sha256Bytes]) noexcept {
  const auto* state = static_cast<const State*>(state_);
  return state != nullptr &&
         HashOnce(state->Algorithm, state->Key.data(), state->Key.size(), data, size, mac);
}

void HmacSha256::Clear() noexcept {
  auto* state = static_cast<State*>(state_);
  if (state == nullptr) return;
  BCryptCloseAlgorithmProvider(state->Algorithm, 0);
  SecureZeroMemory(state->Key.data(), state->Key.size());
  delete state;
  state_ = nullptr;
}

#else

// The library's keyed context is the whole state, so keying takes nothing from the heap of
// ours. Each MAC starts the context again from the key it holds.

bool Sha256(const void* data, std::size_t size, unsigned char (&digest)[Sha256Bytes]) noexcept {
  unsigned int length = 0;
  return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 &&
         length == Sha256Bytes;
}

bool HmacSha256Once(const void* key, std::size_t keySize, const void* data, std::size_t size,
                    unsigned char (&mac)[Sha256Bytes]) noexcept {
  std::size_t length = 0;
  return EVP_Q_mac(nullptr, OSSL_MAC_NAME_HMAC, nullptr, "SHA256", nullptr, key, keySize,
                   static_cast<const unsigned char*>(data), size, mac, Sha256Bytes,
                   &length) != nullptr &&
         length == Sha256Bytes;
}

bool HmacSha256::SetKey(const void* key, std::size_t size) noexcept {
  Clear();
  EVP_MAC* hmac = EVP_MAC_fetch(nullptr, OSSL_MAC_NAME_HMAC, nullptr);
  if (hmac == nullptr) return false;
  EVP_MAC_CTX* context = EVP_MAC_CTX_new(hmac);
  EVP_MAC_free(hmac);  // the context holds its own reference
  char digest[] = "SHA256";
  const OSSL_PARAM parameters[] = {
      OSSL_PARAM_construct_utf8_string(OSSL_MAC_PARAM_DIGEST, digest, 0), OSSL_PARAM_END};
  if (context == nullptr ||
      EVP_MAC_init(context, static_cast<const unsigned char*>(key), size, parameters) != 1) {
    EVP_MAC_CTX_free(context);
    return false;
  }
  state_ = context;
  return true;
}

bool HmacSha256::Mac(const void* data, std::size_t size,
                     unsigned char (&mac)[Sha256Bytes]) noexcept {
  auto* context = static_cast<EVP_MAC_CTX*>(state_);
  if (context == nullptr) return false;
  std::size_t length = 0;
  // A null key starts the MAC again under the key set before (from OpenSSL 3.0.3 on: the
  // build requires it, and the audit's self-test checks it where it runs).
  return EVP_MAC_init(context, nullptr, 0, nullptr) == 1 &&
         EVP_MAC_update(context, static_cast<const unsigned char*>(data), size) == 1 &&
         EVP_MAC_final(context, mac, &length, Sha256Bytes) == 1 && length == Sha256Bytes;
}

void HmacSha256::Clear() noexcept {
  EVP_MAC_CTX_free(static_cast<EVP_MAC_CTX*>(state_));  // clears the key material it held
  state_ = nullptr;
}

#endif

}  // namespace platform
