// The key encryption envelope: scrypt (RFC 7914) and AES-256-GCM.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "vek/signer/zeroizing.h"

namespace vek_signer {

enum class CryptoErrorKind : std::uint8_t {
  EncryptionFailed = 0,  // "encryption failed: {0}"
  DecryptionFailed = 1,  // "decryption failed: {0}"
  InvalidParams = 2,     // "invalid parameters: {0}"
};

struct CryptoError {
  CryptoErrorKind kind;
  std::string detail;
  [[nodiscard]] std::string display() const;
};

struct KdfParams {
  std::uint32_t dklen = 32;
  std::uint32_t n = 262144;
  std::uint32_t r = 8;
  std::uint32_t p = 1;
  std::string salt;  // hex
};

struct CipherParams {
  std::string iv;  // hex
};

struct CryptoEnvelope {
  std::string cipher;
  CipherParams cipherparams;
  std::string ciphertext;  // hex
  std::string auth_tag;    // hex
  std::string kdf;
  KdfParams kdfparams;
};

[[nodiscard]] std::expected<CryptoEnvelope, CryptoError> encrypt(std::span<const std::uint8_t> plaintext,
                                                                 std::string_view passphrase);
[[nodiscard]] std::expected<SecretBytes, CryptoError> decrypt(const CryptoEnvelope& envelope,
                                                              std::string_view passphrase);

}  // namespace vek_signer
