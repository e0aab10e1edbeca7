// The Cosmos family's message formats: ADR-036 sign documents and raw bytes.
#include "message_formats.h"

#include "cosmos/family.h"
#include "vek/signer/message_formats.h"
#include "vek/signer/verify.h"

namespace vek_lib {
namespace {

using namespace formats;
using vek_signer::MessageSignature;

VekResult<MessageSignature> adr036_sign(const MessageSignRequest& r) {
  auto signer = r.signer.derive_address(r.key);
  if (!signer) return std::unexpected(VekLibError(std::move(signer.error())));
  return lifted(vek_signer::adr036_sign(r.key, *signer, r.message));
}
VekResult<bool> adr036_verify(const MessageCheck& c) {
  return lifted(vek_signer::adr036_verify(c.address, c.message, c.signature));
}
VekResult<bool> cosmos_raw_verify(const MessageCheck& c) {
  return lifted(vek_signer::cosmos_raw_verify(c.address, c.message, c.signature));
}
VekResult<std::string> cosmos_raw_recover(const MessageCheck& c) {
  return lifted(vek_signer::cosmos_raw_recover_address(c.message, c.signature, std::string(c.chain.address_prefix)));
}

using enum SignatureText;

constexpr std::array kFormats{
    MessageFormat{vek_signer::kCosmosMessageFormats[0], Base64, "tendermint/PubKeySecp256k1", adr036_sign, adr036_verify, nullptr},
    MessageFormat{vek_signer::kCosmosMessageFormats[1], Hex, {}, screened_message, cosmos_raw_verify, cosmos_raw_recover},
};

}  // namespace

std::span<const MessageFormat> cosmos_message_formats() noexcept { return kFormats; }

}  // namespace vek_lib
