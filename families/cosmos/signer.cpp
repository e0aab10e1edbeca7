#include "cosmos/signer.h"

#include "chains/secp256k1.h"
#include "vek/signer/bech32.h"
#include "vek/signer/hash.h"

namespace vek_signer {

SignerResult<std::string> CosmosSigner::derive_address(std::span<const std::uint8_t> key) const {
  VEK_TRY(sk, secp::signing_key(key));
  // The account id is HASH160 of the compressed key, written as plain bech32 data
  // (no witness version in front).
  const auto account = hash160((*sk)->public_compressed);
  auto groups = convert_bits(account, 8, 5, true);
  if (!groups) return signer_error(SignerErrorKind::AddressDerivation, groups.error().display());
  auto addr = bech32_encode(hrp_, *groups, kBech32ExtendedMaxLength);
  if (!addr) return signer_error(SignerErrorKind::AddressDerivation, addr.error().display());
  return std::move(*addr);
}

SignerResult<SignOutput> CosmosSigner::sign(std::span<const std::uint8_t> key,
                                            std::span<const std::uint8_t> hash) const {
  return secp::sign_hash(key, hash, "hash");
}

SignerResult<SignOutput> CosmosSigner::sign_message(std::span<const std::uint8_t> key,
                                                    std::span<const std::uint8_t> message) const {
  return sign(key, sha256(message));
}

SignerResult<SignOutput> CosmosSigner::sign_transaction(std::span<const std::uint8_t> key,
                                                        std::span<const std::uint8_t> signable) const {
  return sign_message(key, signable);
}

}  // namespace vek_signer
