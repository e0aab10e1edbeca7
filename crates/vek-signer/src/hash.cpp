#include "vek/signer/hash.h"

#include <openssl/evp.h>
#include <openssl/hmac.h>

#include <cstdlib>

namespace vek_signer {
namespace {

// One-shot digest through EVP. A failure here means OpenSSL itself is broken
// (allocation or a missing built-in digest), which no input can cause.
template <std::size_t N>
std::array<std::uint8_t, N> digest(const EVP_MD* md, std::span<const std::uint8_t> data) {
  std::array<std::uint8_t, N> out{};
  unsigned int len = 0;
  if (md == nullptr || EVP_Digest(data.data(), data.size(), out.data(), &len, md, nullptr) != 1 || len != N) {
    std::abort();
  }
  return out;
}

}  // namespace

std::array<std::uint8_t, kSha256Bytes> sha256(std::span<const std::uint8_t> data) {
  return digest<kSha256Bytes>(EVP_sha256(), data);
}

std::array<std::uint8_t, kSha256Bytes> sha256d(std::span<const std::uint8_t> data) {
  auto first = sha256(data);
  return sha256(first);
}

std::array<std::uint8_t, kSha512Bytes> sha512(std::span<const std::uint8_t> data) {
  return digest<kSha512Bytes>(EVP_sha512(), data);
}

std::array<std::uint8_t, kRipemd160Bytes> ripemd160(std::span<const std::uint8_t> data) {
  return digest<kRipemd160Bytes>(EVP_ripemd160(), data);
}

std::array<std::uint8_t, kRipemd160Bytes> hash160(std::span<const std::uint8_t> data) {
  return ripemd160(sha256(data));
}

void hmac_sha512(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data,
                 std::span<std::uint8_t, kSha512Bytes> out) {
  unsigned int len = 0;
  if (HMAC(EVP_sha512(), key.data(), static_cast<int>(key.size()), data.data(), data.size(), out.data(), &len) ==
          nullptr ||
      len != kSha512Bytes) {
    std::abort();
  }
}

}  // namespace vek_signer
