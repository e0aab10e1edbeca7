#include "vek/signer/crypto.h"

#include <openssl/err.h>
#include <openssl/evp.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "envelope_aead.h"
#include "openssl_support.h"
#include "scrypt.h"
#include "vek/core/support.h"
#include "vek/signer/hex.h"
#include "vek/signer/random.h"

namespace vek_signer {
namespace {

using ossl::CipherCtxPtr;

constexpr std::string_view kAeadError = "aead::Error";

CryptoError make_error(CryptoErrorKind kind, std::string detail) { return CryptoError{kind, std::move(detail)}; }

// Forged or truncated input, a wrong passphrase: one answer for all.
std::unexpected<CryptoError> aead_failure() {
  return std::unexpected(make_error(CryptoErrorKind::DecryptionFailed, std::string(kAeadError)));
}

// scrypt (RFC 7914) of the passphrase bytes into `out`. Returns errno on failure:
// EINVAL/EFBIG for a parameter set the implementation refuses, ENOMEM when the
// working memory cannot be had.
[[nodiscard]] int scrypt(std::string_view passphrase, std::span<const std::uint8_t> salt, std::uint64_t n,
                         std::uint32_t r, std::uint32_t p, std::span<std::uint8_t> out) noexcept {
  const std::span<const std::uint8_t> password(reinterpret_cast<const std::uint8_t*>(passphrase.data()),
                                               passphrase.size());
  return scrypt_derive(password, salt, n, r, p, out);
}

// The text of scrypt's errno for the envelope's errors.
std::string scrypt_error_text(int err) {
  if (err == ECANCELED) return "scrypt: interrupted while waiting for a free core";
  return vek_core::os_error_text(err);
}

// An AES-256-GCM context keyed with `key` and `iv`, for encryption or decryption.
// The caller wipes the key as soon as this returns.
[[nodiscard]] std::expected<CipherCtxPtr, std::string> gcm_context(bool encrypting, const std::uint8_t* key,
                                                                   const std::uint8_t* iv, std::size_t iv_len) {
  CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return std::unexpected(ossl::error_text("cannot allocate cipher context"));
  const int enc = encrypting ? 1 : 0;
  if (EVP_CipherInit_ex(ctx.get(), EVP_aes_256_gcm(), nullptr, nullptr, nullptr, enc) != 1 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_SET_IVLEN, static_cast<int>(iv_len), nullptr) != 1 ||
      EVP_CipherInit_ex(ctx.get(), nullptr, nullptr, key, iv, enc) != 1) {
    return std::unexpected(ossl::error_text("cannot set up AES-256-GCM"));
  }
  return ctx;
}

// Runs `ctx` over `in` into `out` (same length; GCM is a stream mode).
[[nodiscard]] bool gcm_update(EVP_CIPHER_CTX* ctx, std::span<const std::uint8_t> in, std::uint8_t* out) noexcept {
  std::size_t done = 0;
  // EVP takes int lengths; feed very long inputs in pieces.
  constexpr std::size_t kChunk = std::size_t{1} << 30;
  while (done < in.size()) {
    const std::size_t len = std::min(kChunk, in.size() - done);
    int written = 0;
    if (EVP_CipherUpdate(ctx, out + done, &written, in.data() + done, static_cast<int>(len)) != 1 ||
        static_cast<std::size_t>(written) != len) {
      return false;
    }
    done += len;
  }
  return true;
}

using vek_core::u128;


// The refusals that protect the process from a tampered file. Products are taken in
// 128-bit arithmetic: N and p are below 2^32 and r below 2^30 (checked before), so
// 128*r*N*p < 2^101 cannot overflow.
[[nodiscard]] std::expected<void, CryptoError> check_scrypt_cost(const KdfParams& k) {
  const u128 r = k.r, n = k.n, p = k.p;
  const u128 memory = 128 * r * n + 128 * r * p + 256 * r + 64;
  if (memory > kScryptMaxMemoryBytes) {
    return std::unexpected(make_error(CryptoErrorKind::InvalidParams,
                                      "scrypt parameters need " + vek_core::decimal_text(memory) +
                                          " bytes of memory, above the limit of " +
                                          std::to_string(kScryptMaxMemoryBytes)));
  }
  const u128 work = 128 * r * n * p;
  if (work > kScryptMaxWorkBytes) {
    return std::unexpected(make_error(CryptoErrorKind::InvalidParams,
                                      "scrypt parameters need " + vek_core::decimal_text(work) +
                                          " bytes of work, above the limit of " + std::to_string(kScryptMaxWorkBytes)));
  }
  return {};
}

[[nodiscard]] std::expected<void, CryptoError> check_kdf_params(const KdfParams& k) {
  const auto invalid = [](std::string text) {
    return std::unexpected(make_error(CryptoErrorKind::InvalidParams, std::move(text)));
  };
  if (k.n == 0 || (k.n & (k.n - 1)) != 0) return invalid("scrypt N must be a power of 2, got " + std::to_string(k.n));
  if (k.n < kScryptN) {
    return invalid("scrypt N=" + std::to_string(k.n) + " is below minimum 262144 \u2014 possible downgrade attack");
  }
  if (k.r < kScryptR) {
    return invalid("scrypt r=" + std::to_string(k.r) + " is below minimum 8 \u2014 possible downgrade attack");
  }
  if (k.p < kScryptP) {
    return invalid("scrypt p=" + std::to_string(k.p) + " is below minimum 1 \u2014 possible downgrade attack");
  }
  if (k.dklen < kScryptDkLen) return invalid("dklen=" + std::to_string(k.dklen) + " is below minimum 32");
  if (k.dklen != kScryptDkLen) {
    return invalid("dklen=" + std::to_string(k.dklen) + " is unsupported, expected exactly 32");
  }
  // RFC 7914 section 2: r * p < 2^30.
  if (static_cast<std::uint64_t>(k.r) * k.p >= (std::uint64_t{1} << 30)) return invalid("invalid scrypt parameters");
  return {};
}

}  // namespace

std::expected<CryptoEnvelope, CryptoError> encrypt(std::span<const std::uint8_t> plaintext,
                                                   std::string_view passphrase) {
  std::uint8_t salt[kSaltBytes];
  std::uint8_t nonce[kNonceBytes];
  if (auto r = os_random(salt); !r) return std::unexpected(make_error(CryptoErrorKind::EncryptionFailed, r.error()));
  if (auto r = os_random(nonce); !r) return std::unexpected(make_error(CryptoErrorKind::EncryptionFailed, r.error()));

  CipherCtxPtr ctx;
  {
    WipedArray<kScryptDkLen> key;
    if (const int err = scrypt(passphrase, salt, kScryptN, kScryptR, kScryptP, key.span()); err != 0) {
      if (err == EINVAL || err == EFBIG) {
        return std::unexpected(make_error(CryptoErrorKind::InvalidParams, "invalid scrypt parameters"));
      }
      CryptoError e = make_error(CryptoErrorKind::EncryptionFailed, scrypt_error_text(err));
      if (err == ENOMEM) e.scrypt_memory_bytes = scrypt_array_bytes(kScryptN, kScryptR);
      return std::unexpected(std::move(e));
    }
    auto c = gcm_context(true, key.data(), nonce, kNonceBytes);
    secure_wipe(key.data(), key.size());
    if (!c) return std::unexpected(make_error(CryptoErrorKind::EncryptionFailed, std::move(c.error())));
    ctx = std::move(*c);
  }

  std::vector<std::uint8_t> ciphertext(plaintext.size());
  std::uint8_t tag[kTagBytes];
  int final_len = 0;
  if (!gcm_update(ctx.get(), plaintext, ciphertext.data()) ||
      EVP_EncryptFinal_ex(ctx.get(), ciphertext.data() + ciphertext.size(), &final_len) != 1 || final_len != 0 ||
      EVP_CIPHER_CTX_ctrl(ctx.get(), EVP_CTRL_GCM_GET_TAG, static_cast<int>(kTagBytes), tag) != 1) {
    return std::unexpected(make_error(CryptoErrorKind::EncryptionFailed, ossl::error_text("AES-256-GCM failed")));
  }

  CryptoEnvelope env;
  env.cipher = "aes-256-gcm";
  env.cipherparams.iv = hex_encode(nonce);
  env.ciphertext = hex_encode(ciphertext);
  env.auth_tag = hex_encode(tag);
  env.kdf = "scrypt";
  env.kdfparams.dklen = kScryptDkLen;
  env.kdfparams.n = kScryptN;
  env.kdfparams.r = kScryptR;
  env.kdfparams.p = kScryptP;
  env.kdfparams.salt = hex_encode(salt);
  return env;
}

std::expected<SecretBytes, CryptoError> decrypt(const CryptoEnvelope& envelope, std::string_view passphrase) {
  const auto invalid = [](std::string text) {
    return std::unexpected(make_error(CryptoErrorKind::InvalidParams, std::move(text)));
  };
  auto salt = hex_decode(envelope.kdfparams.salt);
  if (!salt) return invalid(std::move(salt.error()));
  auto iv = hex_decode(envelope.cipherparams.iv);
  if (!iv) return invalid(std::move(iv.error()));
  auto sealed = hex_decode(envelope.ciphertext);
  if (!sealed) return invalid(std::move(sealed.error()));
  auto tag = hex_decode(envelope.auth_tag);
  if (!tag) return invalid(std::move(tag.error()));

  const KdfParams& k = envelope.kdfparams;
  VEK_TRY_VOID(check_kdf_params(k));
  if (iv->size() != kNonceBytes) return invalid("iv must be 12 bytes, got " + std::to_string(iv->size()));
  VEK_TRY_VOID(check_scrypt_cost(k));

  // The tag is the last 16 bytes of ciphertext and auth_tag taken together. Input too
  // short to hold a tag fails like any forged input, without spending the derivation.
  sealed->insert(sealed->end(), tag->begin(), tag->end());
  if (sealed->size() < kTagBytes) return aead_failure();

  WipedArray<kScryptDkLen> key;
  if (const int err = scrypt(passphrase, *salt, k.n, k.r, k.p, key.span()); err != 0) {
    CryptoError e = make_error(CryptoErrorKind::DecryptionFailed, scrypt_error_text(err));
    if (err == ENOMEM) e.scrypt_memory_bytes = scrypt_array_bytes(k.n, k.r);
    return std::unexpected(std::move(e));
  }
  return gcm_open(key.span(), std::span<const std::uint8_t, kNonceBytes>(iv->data(), kNonceBytes), *sealed);
}

std::expected<SecretBytes, CryptoError> gcm_open(std::span<const std::uint8_t, kScryptDkLen> key,
                                                 std::span<const std::uint8_t, kNonceBytes> iv,
                                                 std::span<const std::uint8_t> sealed) {
  if (sealed.size() < kTagBytes) return aead_failure();
  const std::size_t body_len = sealed.size() - kTagBytes;
  auto ctx = gcm_context(false, key.data(), iv.data(), iv.size());
  if (!ctx) return std::unexpected(make_error(CryptoErrorKind::DecryptionFailed, std::move(ctx.error())));

  std::vector<std::uint8_t> plain(body_len);
  int final_len = 0;
  std::uint8_t tag[kTagBytes];
  std::copy(sealed.begin() + static_cast<std::ptrdiff_t>(body_len), sealed.end(), tag);
  const bool ok = gcm_update(ctx->get(), sealed.first(body_len), plain.data()) &&
                  EVP_CIPHER_CTX_ctrl(ctx->get(), EVP_CTRL_GCM_SET_TAG, static_cast<int>(kTagBytes), tag) == 1 &&
                  EVP_DecryptFinal_ex(ctx->get(), plain.data() + body_len, &final_len) == 1 && final_len == 0;
  if (!ok) {
    // Unauthenticated output must not survive a failed tag check.
    wipe_vector(plain);
    ERR_clear_error();
    return aead_failure();
  }
  return SecretBytes(std::move(plain));
}

}  // namespace vek_signer
