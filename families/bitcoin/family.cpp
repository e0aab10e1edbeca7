#include "bitcoin/family.h"

#include "bitcoin/signer.h"
#include "vek/signer/bech32.h"

namespace vek_signer {
namespace {

SignerPtr make_signer(const vek_core::Chain& chain) {
  return std::make_unique<BitcoinSigner>(std::string(chain.address_prefix));
}

// A SegWit version 0 address (P2WPKH or P2WSH) of the chain's prefix.
bool is_address(std::string_view address, const vek_core::Chain& chain) {
  return segwit_decode(chain.address_prefix, address).has_value();
}

MessageDigest message_hash(std::span<const std::uint8_t> message) { return BitcoinSigner::message_hash(message); }

constexpr std::array<std::string_view, 1> kKeyFormats = {"wif"};
constexpr std::array kPresets = {PathPreset{"bitcoin-bip84", "m/84'/", "'/", "'/0/0", ""}};

constexpr FamilyDescriptor kFamily{
    .type = ChainType::Bitcoin,
    .name = "bitcoin",
    .title = "Bitcoin",
    .article = "a",
    .curve = Curve::Secp256k1,
    .coin_type = 0,
    // SLIP-44's coin type of every test network.
    .testnet_coin_type = 1,
    .path_head = "m/84'/",
    .path_middle = "'/0'/0/",
    .address_prefix = "bc",
    .signer = make_signer,
    .is_address = is_address,
    .message_hash = message_hash,
    .message_formats = kBitcoinMessageFormats,
    .key_formats = kKeyFormats,
    .path_presets = kPresets,
};

}  // namespace

const FamilyDescriptor& bitcoin_family() noexcept { return kFamily; }

}  // namespace vek_signer
