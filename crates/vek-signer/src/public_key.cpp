#include "vek/signer/public_key.h"

#include "chains/ed25519.h"
#include "chains/secp256k1.h"

namespace vek_signer {

SignerResult<std::vector<std::uint8_t>> public_key(Curve curve, std::span<const std::uint8_t> key) {
  if (curve == Curve::Ed25519) {
    VEK_TRY(pk, ed25519::public_key(key));
    return std::vector<std::uint8_t>(pk->begin(), pk->end());
  }
  VEK_TRY(k, secp::signing_key(key));
  return std::vector<std::uint8_t>((*k)->public_compressed.begin(), (*k)->public_compressed.end());
}

}  // namespace vek_signer
