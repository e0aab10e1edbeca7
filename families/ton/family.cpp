#include "ton/family.h"

#include "ton/signer.h"
#include "vek/signer/ed25519_message_formats.h"

namespace vek_signer {
namespace {

SignerPtr make_signer(const vek_core::Chain& chain) { return std::make_unique<TonSigner>(chain.testnet); }

// The raw form "{workchain}:{64 hex digits}" or the 48-character user-friendly form.
bool is_address(std::string_view address, const vek_core::Chain&) { return ton_parse_address(address).has_value(); }

constexpr FamilyDescriptor kFamily{
    .type = ChainType::Ton,
    .name = "ton",
    .title = "TON",
    .article = "a",
    .curve = Curve::Ed25519,
    .coin_type = 607,
    .path_middle = "'/",
    .path_tail = "'",
    .signer = make_signer,
    .is_address = is_address,
    .message_formats = kTonMessageFormats,
};

}  // namespace

const FamilyDescriptor& ton_family() noexcept { return kFamily; }

}  // namespace vek_signer
