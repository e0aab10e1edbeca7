// Hierarchical deterministic key derivation: BIP-32 (secp256k1) and SLIP-10 (Ed25519).
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "vek/signer/mnemonic.h"
#include "vek/signer/traits.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {

enum class HdErrorKind : std::uint8_t {
  InvalidPath = 0,         // "invalid derivation path: {0}"
  DerivationFailed = 1,    // "derivation failed: {0}"
  Ed25519NonHardened = 2,  // "ed25519 requires hardened-only derivation"
};

struct HdError {
  HdErrorKind kind;
  std::string detail;
  [[nodiscard]] std::string display() const;
};

struct HdDeriver {
  [[nodiscard]] static std::expected<void, HdError> validate_path(std::string_view path);
  // The 32-byte private key for `path` from a seed.
  [[nodiscard]] static std::expected<SecretBytes, HdError> derive(std::span<const std::uint8_t> seed,
                                                                  std::string_view path, Curve curve);
  // The seed of `mnemonic` with `passphrase`, then derive(); the seed is wiped on every path.
  [[nodiscard]] static std::expected<SecretBytes, HdError> derive_from_mnemonic(const Mnemonic& mnemonic,
                                                                                std::string_view passphrase,
                                                                                std::string_view path, Curve curve);
};

}  // namespace vek_signer
