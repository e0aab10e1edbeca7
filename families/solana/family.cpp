#include "solana/family.h"

#include "solana/signer.h"
#include "vek/signer/encoding.h"

namespace vek_signer {
namespace {

SignerPtr make_signer(const vek_core::Chain&) { return std::make_unique<SolanaSigner>(); }

// Base58 of a 32-byte public key.
bool is_address(std::string_view address, const vek_core::Chain&) {
  const auto bytes = base58_decode(address);
  return bytes && bytes->size() == 32;
}

constexpr std::array<std::string_view, 2> kKeyFormats = {"solana-base58", "solana-json"};
// The Solana command-line tools' key: the first 32 bytes of the seed as the Ed25519 key.
constexpr std::array kPresets = {
    PathPreset{"solana-account", "m/44'/", "'/", "'", ""},
    PathPreset{"solana-seed", "", "", "", "seed[0:32]"},
};

constexpr FamilyDescriptor kFamily{
    .type = ChainType::Solana,
    .name = "solana",
    .title = "Solana",
    .article = "a",
    .curve = Curve::Ed25519,
    .coin_type = 501,
    .path_middle = "'/",
    .path_tail = "'/0'",
    .signer = make_signer,
    .is_address = is_address,
    .message_formats = kSolanaMessageFormats,
    .key_formats = kKeyFormats,
    .path_presets = kPresets,
    .decodes = true,
    .broadcasts = true,
};

}  // namespace

const FamilyDescriptor& solana_family() noexcept { return kFamily; }

}  // namespace vek_signer
