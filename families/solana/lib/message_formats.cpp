// The Solana family's message formats: raw bytes and the off-chain message envelope (legacy and with a signing domain).
#include "message_formats.h"

#include "solana/family.h"
#include "vek/signer/ed25519_message_formats.h"
#include "vek/signer/verify.h"

namespace vek_lib {
namespace {

using namespace formats;
using vek_signer::MessageSignature;

VekResult<bool> solana_raw_verify(const MessageCheck& c) {
  return lifted(vek_signer::solana_verify(c.address, c.message, c.signature));
}

VekResult<MessageSignature> signature_only(vek_signer::SignerResult<vek_signer::SignOutput> out) {
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  return MessageSignature{std::move(out->signature), std::nullopt, {}};
}
VekResult<MessageSignature> offchain_sign(const MessageSignRequest& r) {
  return signature_only(vek_signer::solana_offchain_sign_legacy(r.key, r.message));
}
VekResult<MessageSignature> offchain_domain_sign(const MessageSignRequest& r) {
  return signature_only(vek_signer::solana_offchain_sign(r.key, r.message));
}
VekResult<bool> offchain_verify(const MessageCheck& c) {
  return lifted(vek_signer::solana_offchain_verify(c.address, c.message, c.signature));
}

using enum SignatureText;

// Checks take the signature as hex or base58: dApps send base58.
constexpr std::array kFormats{
    MessageFormat{vek_signer::kSolanaMessageFormats[0], Hex, {}, screened_message, solana_raw_verify, nullptr, true},
    MessageFormat{vek_signer::kSolanaMessageFormats[1], Base58, {}, offchain_sign, offchain_verify, nullptr, true},
    MessageFormat{vek_signer::kSolanaMessageFormats[2], Base58, {}, offchain_domain_sign, offchain_verify, nullptr,
                  true},
};

}  // namespace

std::span<const MessageFormat> solana_message_formats() noexcept { return kFormats; }

}  // namespace vek_lib
