// PBKDF2-HMAC-SHA512 for the BIP-39 seed.
//
// This is the only file that uses OpenSSL's deprecated low-level SHA-512 interface, on
// purpose. The seed takes 2,048 rounds of HMAC-SHA512. With the key's inner and outer
// states absorbed once, every round after the first is exactly two SHA-512 compressions
// of a prepared block, and reading the chaining value straight out of the state skips the
// padding and finalisation. The EVP interface offers neither a bare compression nor the
// chaining value, and OpenSSL's own PKCS5_PBKDF2_HMAC pays for context copies and the
// HMAC and EVP layers in every round: this loop takes about 0.63 times its time
// (bench/bench_seed.cpp measures both). SHA512_Init/Update/Final/Transform and SHA512_CTX
// are deprecated in OpenSSL 3 but remain part of its API.
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/sha.h>

#include <algorithm>
#include <cstring>

#include "vek/signer/bip39.h"
#include "vek/signer/hash.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {
namespace {

constexpr std::size_t kHmacBlock = 128;  // SHA-512 block size

void store_be64(std::uint8_t* out, SHA_LONG64 v) noexcept {
  for (int i = 7; i >= 0; --i) {
    out[i] = static_cast<std::uint8_t>(v & 0xff);
    v >>= 8;
  }
}

// HMAC-SHA512 key states: SHA-512 after absorbing key^ipad and key^opad.
struct HmacStates {
  SHA512_CTX inner;
  SHA512_CTX outer;
  ~HmacStates() { secure_wipe(this, sizeof *this); }
};

void prepare(HmacStates& st, std::span<const std::uint8_t> key) {
  WipedArray<kHmacBlock> k;
  if (key.size() > kHmacBlock) {
    // Not the one-shot SHA512(), which goes through EVP and, when the OpenSSL
    // configuration leaves SHA-512 out, returns null without writing the digest.
    auto digest = sha512(key);
    std::memcpy(k.data(), digest.data(), digest.size());
    secure_wipe(digest.data(), digest.size());
  } else if (!key.empty()) {
    std::memcpy(k.data(), key.data(), key.size());
  }
  WipedArray<kHmacBlock> pad;
  for (std::size_t i = 0; i < kHmacBlock; ++i) pad.bytes[i] = k.bytes[i] ^ 0x36;
  SHA512_Init(&st.inner);
  SHA512_Update(&st.inner, pad.data(), kHmacBlock);
  for (std::size_t i = 0; i < kHmacBlock; ++i) pad.bytes[i] = k.bytes[i] ^ 0x5c;
  SHA512_Init(&st.outer);
  SHA512_Update(&st.outer, pad.data(), kHmacBlock);
}

}  // namespace

void pbkdf2_hmac_sha512(std::span<const std::uint8_t> password, std::span<const std::uint8_t> salt,
                        std::uint32_t iterations, std::span<std::uint8_t> out) {
  HmacStates st;
  prepare(st, password);

  // Every U_j after the first is HMAC of a 64-byte value: with the key states already
  // absorbed, each of the inner and outer hashes is exactly one compression of a block
  // holding the 64 bytes, the 0x80 pad byte and the bit length (128 + 64) * 8.
  WipedArray<kHmacBlock> block;
  block.bytes[64] = 0x80;
  block.bytes[126] = 0x06;  // 1536 bits, big-endian in the last 16 bytes
  block.bytes[127] = 0x00;
  WipedArray<64> u;
  WipedArray<64> t;
  SHA512_CTX ctx;

  std::size_t done = 0;
  for (std::uint32_t blk = 1; done < out.size(); ++blk) {
    // U_1 = HMAC(P, S || INT(blk)), through the general path since S has any length.
    const std::uint8_t be[4] = {static_cast<std::uint8_t>(blk >> 24), static_cast<std::uint8_t>(blk >> 16),
                                static_cast<std::uint8_t>(blk >> 8), static_cast<std::uint8_t>(blk)};
    ctx = st.inner;
    SHA512_Update(&ctx, salt.data(), salt.size());
    SHA512_Update(&ctx, be, sizeof be);
    SHA512_Final(u.data(), &ctx);
    ctx = st.outer;
    SHA512_Update(&ctx, u.data(), 64);
    SHA512_Final(u.data(), &ctx);
    std::memcpy(t.data(), u.data(), 64);

    for (std::uint32_t j = 1; j < iterations; ++j) {
      std::memcpy(block.data(), u.data(), 64);
      ctx = st.inner;
      SHA512_Transform(&ctx, block.data());
      for (int w = 0; w < 8; ++w) store_be64(block.data() + 8 * w, ctx.h[w]);
      ctx = st.outer;
      SHA512_Transform(&ctx, block.data());
      for (int w = 0; w < 8; ++w) {
        store_be64(u.data() + 8 * w, ctx.h[w]);
      }
      for (int i = 0; i < 64; ++i) t.bytes[i] ^= u.bytes[i];
    }
    const std::size_t take = std::min<std::size_t>(64, out.size() - done);
    std::memcpy(out.data() + done, t.data(), take);
    done += take;
  }
  secure_wipe(&ctx, sizeof ctx);
}

}  // namespace vek_signer
