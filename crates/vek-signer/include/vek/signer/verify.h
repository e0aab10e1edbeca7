// Signature checks that need no key: who signed an EVM digest.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "vek/signer/traits.h"

namespace vek_signer {

inline constexpr std::string_view kRecoversNoKey = "the signature recovers no public key";

// The EIP-55 address of the key that made `signature` (r || s || v, 65 bytes; v is 0,
// 1, 27 or 28) over the 32-byte `hash`. Errors, in order (InvalidMessage):
//   "expected 32-byte hash, got {n} bytes";
//   "expected a 65-byte signature (r || s || v), got {n} bytes";
//   "signature v must be 0, 1, 27 or 28, got {v}";
//   kRecoversNoKey (r or s zero or not below the group order, or no point for r).
[[nodiscard]] SignerResult<std::string> evm_recover_address(std::span<const std::uint8_t> hash,
                                                            std::span<const std::uint8_t> signature);

// Whether the Solana account `address` (base58 of its Ed25519 public key) made the
// 64-byte `signature` over `message` as it is (the raw form wallet adapters verify).
// Errors (InvalidMessage): "invalid Solana address: '{address}'" (not base58 of 32 bytes);
// "expected a 64-byte signature, got {n} bytes"; SigningFailed as ed25519::verify.
[[nodiscard]] SignerResult<bool> solana_verify(std::string_view address, std::span<const std::uint8_t> message,
                                               std::span<const std::uint8_t> signature);

}  // namespace vek_signer
