// The chain signer interface every chain family implements.
#pragma once

#include <cstdint>
#include <expected>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "vek/core/chain.h"
#include "vek/signer/error.h"

namespace vek_signer {

using vek_core::ChainType;

// Which key form a signer expects and which HD scheme derives its keys.
enum class Curve : std::uint8_t { Secp256k1 = 0, Ed25519 = 1 };

// A signature with its optional public-key recovery value.
struct SignOutput {
  std::vector<std::uint8_t> signature;
  std::optional<std::uint8_t> recovery_id;
};

// Ten operations in fixed slot order. Signers are immutable and hold no key material:
// every key-taking operation gets the 32-byte key (held by the caller in SecretBytes),
// builds its signing key inside the call and wipes it before returning.
class ChainSigner {
 public:
  virtual ~ChainSigner() = default;

  [[nodiscard]] virtual ChainType chain_type() const = 0;
  [[nodiscard]] virtual Curve curve() const = 0;
  [[nodiscard]] virtual std::uint32_t coin_type() const = 0;
  [[nodiscard]] virtual SignerResult<std::string> derive_address(std::span<const std::uint8_t> key) const = 0;
  // The chain's raw primitive: a 32-byte digest for secp256k1 signers, the bytes themselves for ed25519.
  [[nodiscard]] virtual SignerResult<SignOutput> sign(std::span<const std::uint8_t> key,
                                                      std::span<const std::uint8_t> data) const = 0;
  [[nodiscard]] virtual SignerResult<SignOutput> sign_message(std::span<const std::uint8_t> key,
                                                              std::span<const std::uint8_t> message) const = 0;
  [[nodiscard]] virtual SignerResult<SignOutput> sign_transaction(std::span<const std::uint8_t> key,
                                                                  std::span<const std::uint8_t> signable) const = 0;
  // Default: the whole input, unchanged.
  [[nodiscard]] virtual SignerResult<std::span<const std::uint8_t>> extract_signable_bytes(
      std::span<const std::uint8_t> tx) const;
  // Default: InvalidTransaction "encode_signed_transaction not implemented for {chain}".
  [[nodiscard]] virtual SignerResult<std::vector<std::uint8_t>> encode_signed_transaction(
      std::span<const std::uint8_t> tx, const SignOutput& output) const;
  [[nodiscard]] virtual std::string default_derivation_path(std::uint32_t index) const = 0;
};

using SignerPtr = std::unique_ptr<ChainSigner>;

}  // namespace vek_signer
