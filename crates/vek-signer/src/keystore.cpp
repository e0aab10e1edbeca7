#include "vek/signer/keystore.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "openssl_support.h"
#include "vek/core/support.h"
#include "scrypt.h"
#include "vek/core/ascii.h"
#include "vek/signer/hash.h"
#include "vek/signer/hex.h"
#include "vek/signer/random.h"

namespace vek_signer {
namespace {

using nlohmann::json;

constexpr std::size_t kDerivedBytes = 32;  // 16 for the cipher, 16 for the MAC
constexpr std::size_t kIvBytes = 16;
constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kSaltOut = 32;

using vek_core::u128;

std::unexpected<CryptoError> invalid(std::string text) {
  return std::unexpected(CryptoError{CryptoErrorKind::InvalidParams, std::move(text), 0});
}
std::unexpected<CryptoError> failed(std::string text, std::uint64_t scrypt_memory_bytes = 0) {
  return std::unexpected(CryptoError{CryptoErrorKind::EncryptionFailed, std::move(text), scrypt_memory_bytes});
}

std::span<const std::uint8_t> bytes_of(std::string_view s) {
  return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}


// The member `name` of `obj` as text, or the reason it is not.
std::expected<std::string, CryptoError> text_member(const json& obj, const char* name) {
  const auto it = obj.find(name);
  if (it == obj.end() || !it->is_string()) return invalid(std::string("not a keystore file: `") + name + "` must be a string");
  return it->get<std::string>();
}

std::expected<std::uint64_t, CryptoError> count_member(const json& obj, const char* name) {
  const auto it = obj.find(name);
  if (it == obj.end() || !it->is_number_unsigned()) {
    return invalid(std::string("not a keystore file: `") + name + "` must be a non-negative integer");
  }
  return it->get<std::uint64_t>();
}

std::expected<const json*, CryptoError> object_member(const json& obj, const char* name) {
  const auto it = obj.find(name);
  if (it == obj.end() || !it->is_object()) return invalid(std::string("not a keystore file: `") + name + "` must be an object");
  return &*it;
}

std::expected<std::vector<std::uint8_t>, CryptoError> hex_member(const json& obj, const char* name) {
  VEK_TRY(text, text_member(obj, name));
  auto bytes = hex_decode(*text);
  if (!bytes) return invalid(std::string("keystore ") + name + ": " + bytes.error());
  return std::move(*bytes);
}

// The stretching a keystore names, checked before anything is computed.
struct Kdf {
  bool scrypt = true;
  std::uint64_t n = 0, r = 0, p = 0;  // scrypt
  std::uint64_t rounds = 0;           // pbkdf2
  std::vector<std::uint8_t> salt;
};

std::expected<Kdf, CryptoError> read_kdf(const json& crypto, const KeystoreLimits& limits) {
  // Light stretching (geth's --lightkdf, few PBKDF2 rounds) is taken only when asked for.
  const auto weak = [&limits](std::string what) {
    if (!limits.weak_kdf_hint.empty()) what.append("; ").append(limits.weak_kdf_hint);
    return invalid(std::move(what));
  };
  VEK_TRY(name, text_member(crypto, "kdf"));
  if (*name != "scrypt" && *name != "pbkdf2") {
    return invalid("unsupported keystore kdf '" + *name + "', expected scrypt or pbkdf2");
  }
  VEK_TRY(params, object_member(crypto, "kdfparams"));
  const json& kp = **params;
  Kdf kdf;
  kdf.scrypt = *name == "scrypt";
  if (!kdf.scrypt) {
    VEK_TRY(prf, text_member(kp, "prf"));
    if (*prf != "hmac-sha256") return invalid("unsupported keystore prf '" + *prf + "', expected hmac-sha256");
  }
  VEK_TRY(salt, hex_member(kp, "salt"));
  kdf.salt = std::move(*salt);
  VEK_TRY(dklen, count_member(kp, "dklen"));
  if (kdf.salt.size() < kKeystoreMinSaltBytes) {
    return invalid("keystore salt is " + std::to_string(kdf.salt.size()) + " bytes, below minimum 16");
  }
  if (*dklen != kDerivedBytes) return invalid("dklen=" + std::to_string(*dklen) + " is unsupported, expected exactly 32");
  if (!kdf.scrypt) {
    VEK_TRY(c, count_member(kp, "c"));
    if (*c == 0) return invalid("pbkdf2 c must be at least 1");
    if (*c < kKeystoreMinPbkdf2Rounds && !limits.allow_weak_kdf) {
      return weak("pbkdf2 c=" + std::to_string(*c) + " is below minimum 262144");
    }
    if (*c > kKeystoreMaxPbkdf2Rounds) {
      return invalid("pbkdf2 c=" + std::to_string(*c) + " is above the limit of " +
                     std::to_string(kKeystoreMaxPbkdf2Rounds));
    }
    kdf.rounds = *c;
    return kdf;
  }
  for (auto [field, out] : {std::pair{"n", &kdf.n}, std::pair{"r", &kdf.r}, std::pair{"p", &kdf.p}}) {
    VEK_TRY(v, count_member(kp, field));
    *out = *v;
  }
  if (kdf.n == 0 || (kdf.n & (kdf.n - 1)) != 0) return invalid("scrypt N must be a power of 2, got " + std::to_string(kdf.n));
  if (kdf.n < 2) return invalid("scrypt N must be at least 2, got " + std::to_string(kdf.n));
  if (kdf.n < kKeystoreMinScryptN && !limits.allow_weak_kdf) {
    return weak("scrypt N=" + std::to_string(kdf.n) + " is below minimum 262144");
  }
  const u128 rp = u128{kdf.r} * kdf.p;
  if (kdf.r == 0 || kdf.p == 0) return invalid("scrypt r and p must be at least 1");
  if (rp < kKeystoreMinScryptRP && !limits.allow_weak_kdf) {
    return weak("scrypt r*p=" + vek_core::decimal_text(rp) + " is below minimum 8");
  }
  if (kdf.n > kKeystoreMaxScryptN) {
    return invalid("scrypt N=" + std::to_string(kdf.n) + " is above the limit of " + std::to_string(kKeystoreMaxScryptN));
  }
  // The work (and memory) of the heaviest parameters wallets write, spread as the file
  // has it: r*p up to 8 at N = 2^18, more at a lighter N (geth's --lightkdf: N = 4096,
  // r*p = 48).
  const std::uint64_t rp_limit = kKeystoreMaxScryptN * kKeystoreMaxScryptRP / kdf.n;
  if (rp > rp_limit) {
    return invalid("scrypt r*p=" + vek_core::decimal_text(rp) + " is above the limit of " + std::to_string(rp_limit));
  }
  return kdf;
}

std::expected<void, CryptoError> stretch(const Kdf& kdf, std::string_view password,
                                         std::span<std::uint8_t, kDerivedBytes> out) {
  if (kdf.scrypt) {
    // The checks above keep every value within what scrypt_derive takes.
    const int err = scrypt_derive(bytes_of(password), kdf.salt, kdf.n, static_cast<std::uint32_t>(kdf.r),
                                  static_cast<std::uint32_t>(kdf.p), out);
    if (err != 0) {
      return failed("scrypt failed (errno " + std::to_string(err) + ")",
                    err == ENOMEM ? scrypt_array_bytes(kdf.n, kdf.r) : 0);
    }
    return {};
  }
  if (PKCS5_PBKDF2_HMAC(password.data(), static_cast<int>(password.size()), kdf.salt.data(),
                        static_cast<int>(kdf.salt.size()), static_cast<int>(kdf.rounds), EVP_sha256(),
                        static_cast<int>(out.size()), out.data()) != 1) {
    return failed(ossl::error_text("PBKDF2 failed"));
  }
  return {};
}

// Keccak-256 of the MAC half of the stretched key and the ciphertext (always one key long).
std::array<std::uint8_t, kKeccak256Bytes> keystore_mac(std::span<const std::uint8_t, kDerivedBytes> derived,
                                                       std::span<const std::uint8_t> ciphertext) {
  WipedArray<16 + kKeyBytes> input;
  std::memcpy(input.data(), derived.data() + 16, 16);
  std::memcpy(input.data() + 16, ciphertext.data(), std::min(ciphertext.size(), kKeyBytes));
  return keccak256(input.span());
}

// AES-128-CTR of `in` into `out` (the same length) with the cipher half of `derived`.
std::expected<void, CryptoError> aes128_ctr(std::span<const std::uint8_t, kDerivedBytes> derived,
                                            std::span<const std::uint8_t> iv, std::span<const std::uint8_t> in,
                                            std::span<std::uint8_t> out) {
  ossl::CipherCtxPtr ctx(EVP_CIPHER_CTX_new());
  if (!ctx) return failed(ossl::error_text("cannot allocate cipher context"));
  int len = 0, tail = 0;
  if (EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ctr(), nullptr, derived.data(), iv.data(), 1) != 1 ||
      EVP_CipherUpdate(ctx.get(), out.data(), &len, in.data(), static_cast<int>(in.size())) != 1 ||
      EVP_CipherFinal_ex(ctx.get(), out.data() + len, &tail) != 1 ||
      static_cast<std::size_t>(len + tail) != in.size()) {
    return failed(ossl::error_text("AES-128-CTR failed"));
  }
  return {};
}

}  // namespace

std::expected<KeystoreKey, CryptoError> keystore_decrypt(std::string_view document, std::string_view password,
                                                        const KeystoreLimits& limits) {
  if (document.size() > kKeystoreMaxTextBytes) {
    return invalid("not a keystore file: " + std::to_string(document.size()) + " bytes, above the limit of " +
                   std::to_string(kKeystoreMaxTextBytes));
  }
  const json doc = json::parse(document, nullptr, false);
  if (doc.is_discarded() || !doc.is_object()) return invalid("not a keystore file: not a JSON object");
  const char* crypto_name = doc.contains("crypto") ? "crypto" : "Crypto";
  auto crypto = object_member(doc, crypto_name);
  if (!crypto) return invalid("not a keystore file: `crypto` must be an object");
  VEK_TRY(version, count_member(doc, "version"));
  if (*version != 3) return invalid("unsupported keystore version " + std::to_string(*version) + ", expected 3");
  const json& c = **crypto;
  VEK_TRY(cipher, text_member(c, "cipher"));
  if (*cipher != "aes-128-ctr") return invalid("unsupported keystore cipher '" + *cipher + "', expected aes-128-ctr");
  VEK_TRY(kdf, read_kdf(c, limits));
  VEK_TRY(cipherparams, object_member(c, "cipherparams"));
  VEK_TRY(iv, hex_member(**cipherparams, "iv"));
  VEK_TRY(ciphertext, hex_member(c, "ciphertext"));
  VEK_TRY(mac, hex_member(c, "mac"));
  if (iv->size() != kIvBytes) return invalid("keystore iv must be 16 bytes, got " + std::to_string(iv->size()));
  if (ciphertext->size() != kKeyBytes) {
    return invalid("keystore ciphertext must be 32 bytes, got " + std::to_string(ciphertext->size()));
  }
  if (mac->size() != kKeccak256Bytes) return invalid("keystore mac must be 32 bytes, got " + std::to_string(mac->size()));
  std::optional<std::string> address;
  if (const auto it = doc.find("address"); it != doc.end() && it->is_string()) {
    std::string a = it->get<std::string>();
    a = std::string(vek_core::without_0x(a, vek_core::HexPrefix::EitherCase));
    address = std::move(a);
  }

  WipedArray<kDerivedBytes> derived;
  VEK_TRY_VOID(stretch(*kdf, password, derived.span()));
  const auto expected_mac = keystore_mac(derived.span(), *ciphertext);
  if (CRYPTO_memcmp(expected_mac.data(), mac->data(), kKeccak256Bytes) != 0) {
    return std::unexpected(
        CryptoError{CryptoErrorKind::DecryptionFailed, "keystore MAC mismatch (wrong password or altered file)", 0});
  }
  std::vector<std::uint8_t> key(kKeyBytes);
  if (auto r = aes128_ctr(derived.span(), *iv, *ciphertext, key); !r) {
    wipe_vector(key);
    return std::unexpected(std::move(r.error()));
  }
  SecretBytes secret(std::move(key));
  return KeystoreKey{std::move(secret), std::move(address)};
}

std::expected<std::string, CryptoError> keystore_encrypt(std::span<const std::uint8_t> key, std::string_view password,
                                                         std::string_view address) {
  if (key.size() != kKeyBytes) return failed("a keystore holds a 32-byte key, got " + std::to_string(key.size()));
  Kdf kdf;
  kdf.n = kKeystoreMinScryptN;
  kdf.r = kScryptR;
  kdf.p = kScryptP;
  kdf.salt.resize(kSaltOut);
  std::array<std::uint8_t, kIvBytes> iv{};
  if (auto r = os_random(kdf.salt); !r) return failed(r.error());
  if (auto r = os_random(iv); !r) return failed(r.error());
  auto id = random_uuid();
  if (!id) return failed(id.error());
  WipedArray<kDerivedBytes> derived;
  VEK_TRY_VOID(stretch(kdf, password, derived.span()));
  std::vector<std::uint8_t> ciphertext(key.size());
  VEK_TRY_VOID(aes128_ctr(derived.span(), iv, key, ciphertext));
  const auto mac = keystore_mac(derived.span(), ciphertext);
  const json doc = {
      {"address", std::string(address)},
      {"crypto",
       {{"cipher", "aes-128-ctr"},
        {"cipherparams", {{"iv", hex_encode(iv)}}},
        {"ciphertext", hex_encode(ciphertext)},
        {"kdf", "scrypt"},
        {"kdfparams", {{"dklen", kDerivedBytes}, {"n", kdf.n}, {"p", kdf.p}, {"r", kdf.r}, {"salt", hex_encode(kdf.salt)}}},
        {"mac", hex_encode(mac)}}},
      {"id", *id},
      {"version", 3},
  };
  return doc.dump();
}

}  // namespace vek_signer
