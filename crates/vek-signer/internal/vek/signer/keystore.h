// Ethereum keystore files, version 3: one secp256k1 key encrypted with AES-128-CTR under
// the first half of a key stretched by scrypt or PBKDF2-HMAC-SHA256, authenticated by
// the Keccak-256 of the second half and the ciphertext.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "vek/signer/crypto.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {

// Stretching a keystore password costs at least what the vault's own envelope costs,
// and no more than what wallets write: scrypt N = 2^18 with r = 8, p = 1 (or the same
// work as r = 1, p = 8), PBKDF2 up to a million rounds. Larger values only make a file
// cost its reader memory and time (a tampered or hostile one), so they are refused.
inline constexpr std::uint64_t kKeystoreMinScryptN = 262144;  // 2^18
inline constexpr std::uint64_t kKeystoreMaxScryptN = 262144;
inline constexpr std::uint64_t kKeystoreMinScryptRP = 8;  // r * p
inline constexpr std::uint64_t kKeystoreMaxScryptRP = 8;
inline constexpr std::uint64_t kKeystoreMinPbkdf2Rounds = 262144;
inline constexpr std::uint64_t kKeystoreMaxPbkdf2Rounds = 1000000;
inline constexpr std::size_t kKeystoreMinSaltBytes = 16;
// A keystore file is under a kilobyte; longer text is refused before it is parsed.
inline constexpr std::size_t kKeystoreMaxTextBytes = 65536;

// A decrypted keystore: the 32-byte key and the address the file names, if any (its
// text as written, "0x" dropped).
struct KeystoreKey {
  SecretBytes key;
  std::optional<std::string> address;
};

// What keystore_decrypt takes besides the limits above.
struct KeystoreLimits {
  // Takes stretching below the minimums (scrypt N and r*p, PBKDF2 rounds; at least one
  // round, N at least 2), as light settings of other wallets write it; the maximums hold.
  bool allow_weak_kdf = false;
  // Appended after "; " to the refusal of light stretching: how the caller's user takes it.
  std::string_view weak_kdf_hint;
};

// Decrypts a keystore v3 document (`crypto` may also be spelled `Crypto`) with the UTF-8
// bytes of `password`. No text of the document's secret parts reaches an error.
// Errors (InvalidParams unless said otherwise), checked in this order:
//   "not a keystore file: {n} bytes, above the limit of 65536" (before parsing);
//   "not a keystore file: {reason}" (not a JSON object, no crypto object, a member of
//     the wrong type or missing; {reason} names the member);
//   "unsupported keystore version {v}, expected 3";
//   "unsupported keystore cipher '{cipher}', expected aes-128-ctr";
//   "unsupported keystore kdf '{kdf}', expected scrypt or pbkdf2";
//   "unsupported keystore prf '{prf}', expected hmac-sha256" (pbkdf2);
//   "keystore {member}: {hex error}" for salt, iv, ciphertext and mac;
//   "keystore salt is {n} bytes, below minimum 16", "keystore iv must be 16 bytes, got {n}",
//   "keystore ciphertext must be 32 bytes, got {n}", "keystore mac must be 32 bytes, got {n}";
//   "dklen={d} is unsupported, expected exactly 32";
//   scrypt: "scrypt N must be a power of 2, got {n}", "scrypt N must be at least 2, got 1",
//     "scrypt r and p must be at least 1",
//     "scrypt N={n} is below minimum 262144[; {hint}]",
//     "scrypt r*p={rp} is below minimum 8[; {hint}]" (both unless limits.allow_weak_kdf),
//     "scrypt N={n} is above the limit of 262144", "scrypt r*p={rp} is above the limit of
//     {2^21 / N}" (8 at N = 2^18: no more work than N = 2^18, r*p = 8);
//   pbkdf2: "pbkdf2 c must be at least 1", "pbkdf2 c={c} is below minimum 262144[; {hint}]"
//     (unless limits.allow_weak_kdf), "pbkdf2 c={c} is above the limit of 1000000";
//   DecryptionFailed "keystore MAC mismatch (wrong password or altered file)";
//   EncryptionFailed for a failure of scrypt, PBKDF2 or the cipher itself (scrypt
//     lacking memory: "scrypt failed (errno 12)" with scrypt_memory_bytes set).
[[nodiscard]] std::expected<KeystoreKey, CryptoError> keystore_decrypt(std::string_view document,
                                                                      std::string_view password,
                                                                      const KeystoreLimits& limits = {});

// A keystore v3 document (compact JSON, keys sorted) for `key` under `password`: scrypt
// with N = 2^18, r = 8, p = 1 and a random 32-byte salt, a random 16-byte iv, the id a
// random UUID, `address` (lower-case hex, no "0x") as given.
// Errors: EncryptionFailed (random source, scrypt or cipher failure).
[[nodiscard]] std::expected<std::string, CryptoError> keystore_encrypt(std::span<const std::uint8_t> key,
                                                                      std::string_view password,
                                                                      std::string_view address);

}  // namespace vek_signer
