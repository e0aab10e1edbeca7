#include "vek/signer/traits.h"

namespace vek_signer {

SignerResult<std::span<const std::uint8_t>> ChainSigner::extract_signable_bytes(std::span<const std::uint8_t> tx) const {
  return tx;
}

SignerResult<std::vector<std::uint8_t>> ChainSigner::encode_signed_transaction(std::span<const std::uint8_t>,
                                                                               const SignOutput&) const {
  return signer_error(SignerErrorKind::InvalidTransaction,
                      "encode_signed_transaction not implemented for " + std::string(vek_core::chain_type_name(chain_type())));
}

}  // namespace vek_signer
