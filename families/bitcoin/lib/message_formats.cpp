// The Bitcoin family's message formats: BIP-322 (simple), BIP-137 and raw bytes.
#include "message_formats.h"

#include "bitcoin/family.h"
#include "vek/signer/message_formats.h"
#include "vek/signer/verify.h"

namespace vek_lib {
namespace {

using namespace formats;
using vek_signer::MessageSignature;

VekResult<MessageSignature> bip322_sign(const MessageSignRequest& r) {
  return lifted(vek_signer::bip322_sign(r.key, r.message));
}
VekResult<bool> bip322_verify(const MessageCheck& c) {
  return lifted(vek_signer::bip322_verify(c.address, c.message, c.signature));
}
VekResult<MessageSignature> bip137_sign(const MessageSignRequest& r) {
  return lifted(vek_signer::bip137_sign(r.key, r.message));
}
VekResult<bool> bip137_verify(const MessageCheck& c) {
  return lifted(vek_signer::bip137_verify(c.address, c.message, c.signature));
}
VekResult<std::string> bip137_recover(const MessageCheck& c) {
  return lifted(vek_signer::bip137_recover_address(c.message, c.signature));
}
VekResult<bool> bitcoin_raw_verify(const MessageCheck& c) {
  return lifted(vek_signer::bitcoin_raw_verify(c.address, c.message, c.signature));
}
VekResult<std::string> bitcoin_raw_recover(const MessageCheck& c) {
  return lifted(vek_signer::bitcoin_raw_recover_address(c.message, c.signature, std::string(c.chain.address_prefix)));
}

using enum SignatureText;

constexpr std::array kFormats{
    MessageFormat{vek_signer::kBitcoinMessageFormats[0], Base64, {}, bip322_sign, bip322_verify, nullptr},
    MessageFormat{vek_signer::kBitcoinMessageFormats[1], Base64, {}, bip137_sign, bip137_verify, bip137_recover},
    MessageFormat{vek_signer::kBitcoinMessageFormats[2], Hex, {}, signer_message, bitcoin_raw_verify, bitcoin_raw_recover},
};

}  // namespace

std::span<const MessageFormat> bitcoin_message_formats() noexcept { return kFormats; }

}  // namespace vek_lib
