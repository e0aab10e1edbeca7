#include "vek/signer/hash.h"

// The digests run OpenSSL's built-in implementations directly rather than through EVP.
// EVP fetches each algorithm from a provider at run time and fails when the process's
// OpenSSL configuration leaves it out (for example one that loads only the base
// provider); these entry points are part of libcrypto itself and cannot fail. They are
// marked deprecated in OpenSSL 3 but remain part of its API.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/ripemd.h>
#include <openssl/sha.h>

#include <cstring>

#include "vek/signer/zeroizing.h"

namespace vek_signer {
namespace {

constexpr std::size_t kSha512Block = 128;

// Wipes an OpenSSL hash state (it holds the last partial block of its input).
template <typename Ctx>
struct WipedCtx {
  Ctx ctx{};
  WipedCtx() = default;
  WipedCtx(const WipedCtx&) = delete;
  WipedCtx& operator=(const WipedCtx&) = delete;
  ~WipedCtx() { secure_wipe(&ctx, sizeof ctx); }
};

}  // namespace

std::array<std::uint8_t, kSha256Bytes> sha256(std::span<const std::uint8_t> data) {
  std::array<std::uint8_t, kSha256Bytes> out{};
  WipedCtx<SHA256_CTX> c;
  SHA256_Init(&c.ctx);
  SHA256_Update(&c.ctx, data.data(), data.size());
  SHA256_Final(out.data(), &c.ctx);
  return out;
}

std::array<std::uint8_t, kSha256Bytes> sha256d(std::span<const std::uint8_t> data) {
  auto first = sha256(data);
  return sha256(first);
}

std::array<std::uint8_t, kSha512Bytes> sha512(std::span<const std::uint8_t> data) {
  std::array<std::uint8_t, kSha512Bytes> out{};
  WipedCtx<SHA512_CTX> c;
  SHA512_Init(&c.ctx);
  SHA512_Update(&c.ctx, data.data(), data.size());
  SHA512_Final(out.data(), &c.ctx);
  return out;
}

std::array<std::uint8_t, kRipemd160Bytes> ripemd160(std::span<const std::uint8_t> data) {
  std::array<std::uint8_t, kRipemd160Bytes> out{};
  WipedCtx<RIPEMD160_CTX> c;
  RIPEMD160_Init(&c.ctx);
  RIPEMD160_Update(&c.ctx, data.data(), data.size());
  RIPEMD160_Final(out.data(), &c.ctx);
  return out;
}

std::array<std::uint8_t, kRipemd160Bytes> hash160(std::span<const std::uint8_t> data) {
  return ripemd160(sha256(data));
}

// RFC 2104 over SHA-512.
void hmac_sha512(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data,
                 std::span<std::uint8_t, kSha512Bytes> out) {
  WipedArray<kSha512Block> k;
  if (key.size() > kSha512Block) {
    WipedCtx<SHA512_CTX> c;
    SHA512_Init(&c.ctx);
    SHA512_Update(&c.ctx, key.data(), key.size());
    SHA512_Final(k.data(), &c.ctx);
  } else if (!key.empty()) {
    std::memcpy(k.data(), key.data(), key.size());
  }
  WipedArray<kSha512Block> pad;
  WipedArray<kSha512Bytes> inner;
  WipedCtx<SHA512_CTX> c;
  for (std::size_t i = 0; i < kSha512Block; ++i) pad.bytes[i] = static_cast<std::uint8_t>(k.bytes[i] ^ 0x36);
  SHA512_Init(&c.ctx);
  SHA512_Update(&c.ctx, pad.data(), kSha512Block);
  SHA512_Update(&c.ctx, data.data(), data.size());
  SHA512_Final(inner.data(), &c.ctx);
  for (std::size_t i = 0; i < kSha512Block; ++i) pad.bytes[i] = static_cast<std::uint8_t>(k.bytes[i] ^ 0x5c);
  SHA512_Init(&c.ctx);
  SHA512_Update(&c.ctx, pad.data(), kSha512Block);
  SHA512_Update(&c.ctx, inner.data(), kSha512Bytes);
  SHA512_Final(out.data(), &c.ctx);
}

}  // namespace vek_signer
