// What the six per-family signer classes share: the family's constants, given once as
// template arguments, and the one declaration of the operations each family defines.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "vek/signer/traits.h"

namespace vek_signer {

// The base of each family's signer. The family, the curve of its keys and its SLIP-44
// coin type are fixed at compile time and answered here, so no family restates them.
template <ChainType Family, Curve KeyCurve, std::uint32_t CoinType>
class FamilySigner : public ChainSigner {
 public:
  static constexpr ChainType kChainType = Family;
  static constexpr Curve kCurve = KeyCurve;
  static constexpr std::uint32_t kCoinType = CoinType;

  [[nodiscard]] ChainType chain_type() const final { return Family; }
  [[nodiscard]] Curve curve() const final { return KeyCurve; }
  [[nodiscard]] std::uint32_t coin_type() const final { return CoinType; }
};

// Declares, inside a family's class, the five ChainSigner operations every family
// defines in its own .cpp file: derive_address, sign, sign_message, sign_transaction
// and default_derivation_path. The contracts are ChainSigner's; what one family's
// definitions produce and refuse (formats, exact error texts) is written in the comment
// above its class. extract_signable_bytes and encode_signed_transaction are declared
// only by the families that replace the interface's defaults.
#define VEK_FAMILY_SIGNER_OPERATIONS                                                                          \
  [[nodiscard]] SignerResult<std::string> derive_address(std::span<const std::uint8_t> key) const override;   \
  [[nodiscard]] SignerResult<SignOutput> sign(std::span<const std::uint8_t> key,                             \
                                              std::span<const std::uint8_t> data) const override;            \
  [[nodiscard]] SignerResult<SignOutput> sign_message(std::span<const std::uint8_t> key,                     \
                                                      std::span<const std::uint8_t> message) const override; \
  [[nodiscard]] SignerResult<SignOutput> sign_transaction(std::span<const std::uint8_t> key,                 \
                                                          std::span<const std::uint8_t> signable) const override; \
  [[nodiscard]] std::string default_derivation_path(std::uint32_t index) const override

}  // namespace vek_signer
