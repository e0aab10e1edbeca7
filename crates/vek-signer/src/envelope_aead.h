// The envelope's authenticated decryption once its key is derived. Internal to
// vek_signer (and its tests, which feed it known keys).
#pragma once

#include <cstdint>
#include <expected>
#include <span>

#include "vek/signer/crypto.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {

// AES-256-GCM under `key` and the 12-byte `iv`, no associated data. `sealed` is the
// ciphertext followed by the 16-byte tag. Returns the plaintext in a locked, wiping
// buffer; nothing of it survives a failed tag check.
// Errors: DecryptionFailed "aead::Error" (altered data, another key, fewer than 16
// bytes); DecryptionFailed with OpenSSL's reason when no cipher context can be had.
[[nodiscard]] std::expected<SecretBytes, CryptoError> gcm_open(std::span<const std::uint8_t, kScryptDkLen> key,
                                                               std::span<const std::uint8_t, kNonceBytes> iv,
                                                               std::span<const std::uint8_t> sealed);

}  // namespace vek_signer
