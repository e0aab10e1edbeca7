// What the six per-family signer classes share: the family's constants, answered from
// its descriptor (vek/signer/family.h), and the one declaration of the operations each
// family defines.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "vek/signer/family.h"
#include "vek/signer/traits.h"

namespace vek_signer {

// The base of each family's signer. The family's curve, coin type and default path are
// its descriptor's, so no signer restates them.
template <ChainType Family>
class FamilySigner : public ChainSigner {
 public:
  static constexpr ChainType kChainType = Family;

  [[nodiscard]] ChainType chain_type() const final { return Family; }
  [[nodiscard]] Curve curve() const final { return family(Family).curve; }
  [[nodiscard]] std::uint32_t coin_type() const final { return family(Family).coin_type; }
  [[nodiscard]] std::string default_derivation_path(std::uint32_t index) const final {
    const FamilyDescriptor& f = family(Family);
    return f.default_path(f.coin_type, index);
  }
};

// Declares, inside a family's class, the four ChainSigner operations every family
// defines in its own signer.cpp: derive_address, sign, sign_message and
// sign_transaction. The contracts are ChainSigner's; what one family's definitions
// produce and refuse (formats, exact error texts) is written in the comment above its
// class. extract_signable_bytes and encode_signed_transaction are declared only by the
// families that replace the interface's defaults.
#define VEK_FAMILY_SIGNER_OPERATIONS                                                                          \
  [[nodiscard]] SignerResult<std::string> derive_address(std::span<const std::uint8_t> key) const override;   \
  [[nodiscard]] SignerResult<SignOutput> sign(std::span<const std::uint8_t> key,                             \
                                              std::span<const std::uint8_t> data) const override;            \
  [[nodiscard]] SignerResult<SignOutput> sign_message(std::span<const std::uint8_t> key,                     \
                                                      std::span<const std::uint8_t> message) const override; \
  [[nodiscard]] SignerResult<SignOutput> sign_transaction(std::span<const std::uint8_t> key,                 \
                                                          std::span<const std::uint8_t> signable) const override

}  // namespace vek_signer
