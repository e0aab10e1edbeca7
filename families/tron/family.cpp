#include "tron/family.h"

#include "tron/signer.h"
#include "vek/signer/encoding.h"

namespace vek_signer {
namespace {

SignerPtr make_signer(const vek_core::Chain&) { return std::make_unique<TronSigner>(); }

// Base58Check of 0x41 and a 20-byte account.
bool is_address(std::string_view address, const vek_core::Chain&) {
  const auto bytes = base58check_decode(address);
  return bytes && bytes->size() == 21 && (*bytes)[0] == TronSigner::kAddressPrefix;
}

MessageDigest message_hash(std::span<const std::uint8_t> message) { return TronSigner::message_hash(message); }

constexpr FamilyDescriptor kFamily{
    .type = ChainType::Tron,
    .name = "tron",
    .title = "Tron",
    .article = "a",
    .curve = Curve::Secp256k1,
    .coin_type = 195,
    .path_middle = "'/0'/0/",
    .signer = make_signer,
    .is_address = is_address,
    .message_hash = message_hash,
    .message_formats = kTronMessageFormats,
};

}  // namespace

const FamilyDescriptor& tron_family() noexcept { return kFamily; }

}  // namespace vek_signer
