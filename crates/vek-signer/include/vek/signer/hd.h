// Hierarchical deterministic key derivation: BIP-32 (secp256k1) and SLIP-10 (Ed25519).
//
// Path grammar: "m", or "m/" followed by components separated by "/". A component is
// an optional single "+", one or more ASCII digits (value at most 4294967295, leading
// zeros allowed), then any number of apostrophes (the only hardened marker).
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "vek/signer/mnemonic.h"
#include "vek/signer/error.h"
#include "vek/signer/traits.h"
#include "vek/signer/zeroizing.h"

namespace vek_signer {

// Size of every derived key: the secp256k1 scalar (big-endian) or the SLIP-10 ed25519 key.
inline constexpr std::size_t kHdKeyBytes = 32;
// An extended key as derive_node gives it: the key, the chain code, then (secp256k1;
// zeros for Ed25519) the compressed public key.
inline constexpr std::size_t kHdNodeBytes = 32 + 32 + 33;
// Components must name a value below this; the hardened bit comes only from the apostrophe.
inline constexpr std::uint32_t kHdHardenedOffset = 0x80000000u;

// Errors: HdError (vek/signer/error.h) with the codes InvalidPath ("invalid derivation
// path: {detail}"), DerivationFailed ("derivation failed: {detail}") and
// Ed25519NonHardened ("ed25519 requires hardened-only derivation", no detail).

struct HdDeriver {
  // Syntax check only (values up to 4294967295 pass). First failure, as InvalidPath:
  //   "path must start with 'm/', got '{path}'"
  //   "empty component in path '{path}'"
  //   "invalid index '{component}' in path '{path}'"   ({component} with its apostrophes)
  [[nodiscard]] static std::expected<void, HdError> validate_path(std::string_view path);

  // The 32-byte private key for `path` from `seed` (any length for Ed25519; 16 to 64
  // bytes for secp256k1, as BIP-32 requires). Returns a locked SecretBytes; every
  // intermediate secret is wiped on every path. Checks, in order:
  //   validate_path()'s error;
  //   a component of 2^31 or more: InvalidPath
  //     "index out of range in component '{component}' of path '{path}': must be below 2147483648";
  //   Ed25519: a component without a trailing apostrophe: Ed25519NonHardened;
  //   secp256k1: a component with two or more apostrophes: InvalidPath
  //     "Malformatted index during derivation: {path}";
  //   secp256k1: a seed outside 16..64 bytes, or an invalid master or child key
  //     (negligible with a 64-byte seed): DerivationFailed.
  [[nodiscard]] static std::expected<SecretBytes, HdError> derive(std::span<const std::uint8_t> seed,
                                                                  std::string_view path, Curve curve);

  // The extended key at `path` (kHdNodeBytes), with derive()'s checks and errors, for
  // derive_below: keys below a node cached by the caller cost only the steps below it.
  [[nodiscard]] static std::expected<SecretBytes, HdError> derive_node(std::span<const std::uint8_t> seed,
                                                                       std::string_view path, Curve curve);

  // The key at `path` from `node`, the extended key derive_node gave for `node_path` on
  // the same curve: derive(seed, path, curve), with its checks and errors, without the
  // steps down to the node. DerivationFailed "'{path}' is not below the node of
  // '{node_path}'" when `node_path` is not a prefix of `path` (components compared by
  // value and marker) or `node` is not kHdNodeBytes long.
  [[nodiscard]] static std::expected<SecretBytes, HdError> derive_below(std::span<const std::uint8_t> node,
                                                                        std::string_view node_path,
                                                                        std::string_view path, Curve curve);

  // The BIP-39 seed of `mnemonic` with `passphrase`, then derive(); the seed is wiped on every path.
  [[nodiscard]] static std::expected<SecretBytes, HdError> derive_from_mnemonic(const Mnemonic& mnemonic,
                                                                                std::string_view passphrase,
                                                                                std::string_view path, Curve curve);
};

}  // namespace vek_signer
