#include "vek/signer/traits.h"

namespace vek_signer {

std::string SignerError::display() const {
  switch (kind) {
    case SignerErrorKind::InvalidPrivateKey: return "invalid private key: " + detail;
    case SignerErrorKind::InvalidMessage: return "invalid message: " + detail;
    case SignerErrorKind::SigningFailed: return "signing failed: " + detail;
    case SignerErrorKind::AddressDerivation: return "address derivation failed: " + detail;
    case SignerErrorKind::InvalidTransaction: return "invalid transaction: " + detail;
  }
  return detail;
}

SignerResult<std::span<const std::uint8_t>> ChainSigner::extract_signable_bytes(std::span<const std::uint8_t> tx) const {
  return tx;
}

SignerResult<std::vector<std::uint8_t>> ChainSigner::encode_signed_transaction(std::span<const std::uint8_t>,
                                                                               const SignOutput&) const {
  return signer_error(SignerErrorKind::InvalidTransaction,
                      "encode_signed_transaction not implemented for " + std::string(vek_core::chain_type_name(chain_type())));
}

}  // namespace vek_signer
