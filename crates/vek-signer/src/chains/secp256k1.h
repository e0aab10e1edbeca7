// Steps shared by the four secp256k1 signers (EVM, Tron, Cosmos, Bitcoin):
// turning key bytes into a signing key, public-key encodings, and the recoverable
// RFC 6979 signature over a 32-byte hash.
#pragma once

#include <array>
#include <memory>
#include <cstdint>
#include <span>
#include <string_view>

#include "vek/signer/traits.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer::secp {

// A validated secret scalar and its public point.
struct SigningKey {
  WipedArray<32> secret;                 // big-endian scalar in 1 .. n-1
  std::array<std::uint8_t, 65> public_uncompressed{};  // 04 || X || Y
  std::array<std::uint8_t, 33> public_compressed{};    // 02/03 || X
};

// 32 bytes as they are, 24 to 31 bytes left-padded with zeros; anything else, zero,
// or a value not below the group order: InvalidPrivateKey "signature error".
[[nodiscard]] SignerResult<std::unique_ptr<SigningKey>> signing_key(std::span<const std::uint8_t> key);

// Recoverable deterministic ECDSA (RFC 6979, low S) over `hash`.
// A hash that is not 32 bytes fails first with InvalidMessage
// "expected 32-byte {hash_word}, got {n} bytes" (`hash_word` is "prehash" for EVM, "hash" elsewhere).
// Result: signature r || s || recid (65 bytes), recovery_id = recid.
[[nodiscard]] SignerResult<SignOutput> sign_hash(std::span<const std::uint8_t> key, std::span<const std::uint8_t> hash,
                                                 std::string_view hash_word);

}  // namespace vek_signer::secp
