#include "cosmos/family.h"

#include "cosmos/signer.h"
#include "vek/signer/bech32.h"
#include "vek/signer/hash.h"

namespace vek_signer {
namespace {

SignerPtr make_signer(const vek_core::Chain& chain) {
  return std::make_unique<CosmosSigner>(std::string(chain.address_prefix));
}

// Bech32 of the chain's prefix over a 20-byte account id (32 bytes for module and
// interchain accounts).
bool is_address(std::string_view address, const vek_core::Chain& chain) {
  const auto decoded = bech32_decode(address, kBech32ExtendedMaxLength);
  if (!decoded || decoded->hrp != chain.address_prefix) return false;
  const auto bytes = convert_bits(decoded->data, 5, 8, false);
  return bytes && (bytes->size() == 20 || bytes->size() == 32);
}

MessageDigest message_hash(std::span<const std::uint8_t> message) { return sha256(message); }

constexpr FamilyDescriptor kFamily{
    .type = ChainType::Cosmos,
    .name = "cosmos",
    .title = "Cosmos",
    .article = "a",
    .curve = Curve::Secp256k1,
    .coin_type = 118,
    .path_middle = "'/0'/0/",
    .address_prefix = "cosmos",
    .signer = make_signer,
    .is_address = is_address,
    .message_hash = message_hash,
    .message_formats = kCosmosMessageFormats,
};

}  // namespace

const FamilyDescriptor& cosmos_family() noexcept { return kFamily; }

}  // namespace vek_signer
