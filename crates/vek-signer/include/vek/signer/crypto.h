// The key encryption envelope: scrypt (RFC 7914) and AES-256-GCM.
//
// A passphrase is stretched with scrypt into a 256-bit key that encrypts the secret
// with AES-256-GCM (12-byte nonce, 16-byte tag, no associated data). Every byte string
// in the envelope is hexadecimal text; encrypt writes lower case, decrypt accepts either.
// The JSON form of the envelope is in crypto_json.h.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "vek/signer/error.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {

// Errors: CryptoError (vek/signer/error.h) with the codes EncryptionFailed
// ("encryption failed: {detail}"), DecryptionFailed ("decryption failed: {detail}") and
// InvalidParams ("invalid parameters: {detail}"). When scrypt could not have its working
// memory, scrypt_memory_bytes is set (see vek/core/error.h).

// 128 * r * N: the bytes of scrypt's largest working array.
[[nodiscard]] constexpr std::uint64_t scrypt_array_bytes(std::uint64_t n, std::uint64_t r) noexcept {
  return 128 * r * n;
}

// Parameters encrypt writes.
inline constexpr std::uint32_t kScryptN = 262144;  // 2^18
inline constexpr std::uint32_t kScryptR = 8;
inline constexpr std::uint32_t kScryptP = 1;
inline constexpr std::uint32_t kScryptDkLen = 32;
inline constexpr std::size_t kSaltBytes = 32;
inline constexpr std::size_t kNonceBytes = 12;
inline constexpr std::size_t kTagBytes = 16;

// Upper bounds decrypt puts on the scrypt parameters of a file, so that a tampered
// file cannot make the process allocate or compute without limit. Memory is scrypt's
// working set, 128*r*N + 128*r*p + 256*r + 64 bytes; work is the bytes the mixing
// function passes over, 128*r*N*p. Both limits admit N = 2^20, r = 8, p = 16
// (1 GiB, 16 GiB of mixing), well above what any wallet tool writes.
inline constexpr std::uint64_t kScryptMaxMemoryBytes = std::uint64_t{1} << 31;  // 2 GiB
inline constexpr std::uint64_t kScryptMaxWorkBytes = std::uint64_t{1} << 34;    // 16 GiB

struct KdfParams {
  std::uint32_t dklen = kScryptDkLen;
  std::uint32_t n = kScryptN;
  std::uint32_t r = kScryptR;
  std::uint32_t p = kScryptP;
  std::string salt;  // hex
};

struct CipherParams {
  std::string iv;  // hex
};

struct CryptoEnvelope {
  std::string cipher;  // "aes-256-gcm"; not examined by decrypt
  CipherParams cipherparams;
  std::string ciphertext;  // hex, as long as the plaintext
  std::string auth_tag;    // hex, 16 bytes
  std::string kdf;         // "scrypt"; not examined by decrypt
  KdfParams kdfparams;
};

// Encrypts `plaintext` (any length, may be empty) under the UTF-8 bytes of `passphrase`
// (may be empty) with a fresh 32-byte salt and 12-byte nonce from the OS random source.
// Returns: the envelope with N = 2^18, r = 8, p = 1, dklen = 32.
// Errors: EncryptionFailed (random source, scrypt or cipher failure, with its message;
// scrypt_memory_bytes set when scrypt lacked memory);
// InvalidParams "invalid scrypt parameters" should the scrypt implementation refuse them.
[[nodiscard]] std::expected<CryptoEnvelope, CryptoError> encrypt(std::span<const std::uint8_t> plaintext,
                                                                 std::string_view passphrase);

// Decrypts `envelope` with the UTF-8 bytes of `passphrase`.
// Returns: the plaintext, taken over by a locked, wiping buffer.
// Errors, checked in this order (the first one found is returned):
//   InvalidParams with the hex decoder's message, for salt, iv, ciphertext, auth_tag;
//   InvalidParams "scrypt N must be a power of 2, got {n}";
//   InvalidParams "scrypt N={n} is below minimum 262144 — possible downgrade attack"
//     (and the same for r below 8 and p below 1);
//   InvalidParams "dklen={dklen} is below minimum 32" / "dklen={dklen} is unsupported, expected exactly 32";
//   InvalidParams "invalid scrypt parameters" (r*p not below 2^30, RFC 7914);
//   InvalidParams "iv must be 12 bytes, got {len}";
//   InvalidParams "scrypt parameters need {m} bytes of memory, above the limit of 2147483648";
//   InvalidParams "scrypt parameters need {w} bytes of work, above the limit of 17179869184";
//   DecryptionFailed "{os error}" when scrypt fails, with scrypt_memory_bytes set when it
//     lacked memory (ENOMEM).
//   DecryptionFailed "aead::Error" (wrong passphrase, altered data, fewer than 16 bytes
//     of ciphertext and tag together).
// Nothing is allocated for scrypt before all parameter checks have passed.
[[nodiscard]] std::expected<SecretBytes, CryptoError> decrypt(const CryptoEnvelope& envelope,
                                                              std::string_view passphrase);

// Key derivations run at most one per core the process may use (each holds its scrypt
// array, 256 MiB at the vault's cost, from start to end); one beyond that waits for a
// running one to end. While an instance lives, such a wait on this thread calls
// `keep_waiting` about every 20 ms; when it returns false the derivation is abandoned
// and encrypt/decrypt fail with "scrypt: interrupted while waiting for a free core" (in
// their EncryptionFailed / DecryptionFailed kinds). The Python binding uses it to run
// the interpreter's signal handlers. Scopes nest; the previous check comes back on exit.
class ScopedKdfWaitCheck {
 public:
  explicit ScopedKdfWaitCheck(bool (*keep_waiting)()) noexcept;
  ~ScopedKdfWaitCheck();
  ScopedKdfWaitCheck(const ScopedKdfWaitCheck&) = delete;
  ScopedKdfWaitCheck& operator=(const ScopedKdfWaitCheck&) = delete;

 private:
  bool (*previous_)();
};

}  // namespace vek_signer
