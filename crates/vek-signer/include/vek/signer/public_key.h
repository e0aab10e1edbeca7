// The public key of a private key, in the form each curve's tools print it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "vek/signer/traits.h"

namespace vek_signer {

// secp256k1: the 33-byte compressed point (02/03 || X); Ed25519: the 32-byte public key.
// Errors: the curve's InvalidPrivateKey for a key it refuses (as signing would).
[[nodiscard]] SignerResult<std::vector<std::uint8_t>> public_key(Curve curve, std::span<const std::uint8_t> key);

}  // namespace vek_signer
