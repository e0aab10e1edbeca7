// Ed25519 (RFC 8032, pure: no prehash, no context) key setup and signing shared by
// the Solana and TON signers. Internal header: not installed.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "vek/signer/traits.h"

namespace vek_signer::ed25519 {

inline constexpr std::size_t kSecretKeyBytes = 32;  // the RFC 8032 secret key (seed)
inline constexpr std::size_t kPublicKeyBytes = 32;
inline constexpr std::size_t kSignatureBytes = 64;  // R || S

using PublicKey = std::array<std::uint8_t, kPublicKeyBytes>;

// The public key of a 32-byte secret key.
// Errors: InvalidPrivateKey "expected 32 bytes, got {length}"; AddressDerivation
// "OpenSSL cannot make an Ed25519 key: {reason}" when OpenSSL lacks the algorithm (a
// configuration that leaves it out) or memory, or with OpenSSL's reason alone.
[[nodiscard]] SignerResult<PublicKey> public_key(std::span<const std::uint8_t> key);

// The 64-byte signature over `data` as given (empty data included); recovery_id absent.
// Errors: InvalidPrivateKey as in public_key(); SigningFailed
// "OpenSSL cannot make an Ed25519 key: {reason}", or with OpenSSL's reason alone.
[[nodiscard]] SignerResult<SignOutput> sign(std::span<const std::uint8_t> key, std::span<const std::uint8_t> data);

// Whether `signature` (64 bytes) is `public_key`'s signature over `data`: RFC 8032's
// verification as libsodium implements it (S below the group order; public keys of
// small order and non-canonical encodings refused).
// Error: SigningFailed "libsodium cannot be initialised".
[[nodiscard]] SignerResult<bool> verify(std::span<const std::uint8_t, kPublicKeyBytes> public_key,
                                        std::span<const std::uint8_t> data,
                                        std::span<const std::uint8_t, kSignatureBytes> signature);

}  // namespace vek_signer::ed25519
