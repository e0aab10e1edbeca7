#include "evm/family.h"

#include <algorithm>

#include "evm/signer.h"
#include "evm/transaction.h"
#include "vek/signer/hex.h"

namespace vek_signer {
namespace {

SignerPtr make_signer(const vek_core::Chain&) { return std::make_unique<EvmSigner>(); }

// "0x" and 40 hex digits; a mixed-case address must carry its EIP-55 checksum.
bool is_address(std::string_view address, const vek_core::Chain&) {
  if (address.size() != 42 || !address.starts_with("0x")) return false;
  const auto bytes = hex_decode(address.substr(2));
  if (!bytes) return false;
  const auto has = [&](char lo, char hi) {
    return std::any_of(address.begin() + 2, address.end(), [&](char c) { return c >= lo && c <= hi; });
  };
  if (!has('a', 'f') || !has('A', 'F')) return true;
  return EvmSigner::checksum_address(std::span<const std::uint8_t, EvmSigner::kAddressBytes>(*bytes)) == address;
}

MessageDigest message_hash(std::span<const std::uint8_t> message) { return EvmSigner::personal_message_hash(message); }

constexpr std::array<std::string_view, 1> kKeyFormats = {"keystore"};
constexpr std::array kPresets = {PathPreset{"evm-account", "m/44'/", "'/", "'/0/0", ""}};

constexpr FamilyDescriptor kFamily{
    .type = ChainType::Evm,
    .name = "evm",
    .title = "EVM",
    .article = "an",
    .curve = Curve::Secp256k1,
    .coin_type = 60,
    .path_middle = "'/0'/0/",
    .signer = make_signer,
    .is_address = is_address,
    .message_hash = message_hash,
    .message_formats = kEvmMessageFormats,
    .key_formats = kKeyFormats,
    .path_presets = kPresets,
    .assemble = assemble_evm_transaction,
    .decodes = true,
    .broadcasts = true,
};

}  // namespace

const FamilyDescriptor& evm_family() noexcept { return kFamily; }

}  // namespace vek_signer
