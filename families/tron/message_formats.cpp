// The Tron message formats' signing, checks and recovery (vek/signer/message_formats.h).
#include "vek/signer/message_formats.h"

#include <algorithm>

#include "tron/signer.h"
#include "chains/secp_messages.h"
#include "vek/signer/encoding.h"

namespace vek_signer {
namespace {

using namespace secp_messages;

SignerResult<std::string> tron_address(std::span<const std::uint8_t, secp::kUncompressedBytes> pub) {
  const auto account = secp::keccak_account(pub);
  std::array<std::uint8_t, 1 + secp::kKeccakAccountBytes> payload{TronSigner::kAddressPrefix};
  std::copy(account.begin(), account.end(), payload.begin() + 1);
  return base58check_encode(payload);
}

SignerResult<std::array<std::uint8_t, secp::kUncompressedBytes>> tron_signer_key(std::span<const std::uint8_t> message,
                                                                                 std::span<const std::uint8_t> sig) {
  if (sig.size() != 65) return invalid("expected a 65-byte signature (r || s || v), got " + count_text(sig.size()));
  const std::uint8_t v = sig[64];
  if (v != 0 && v != 1 && v != 27 && v != 28) return invalid("signature v must be 0, 1, 27 or 28, got " + std::to_string(v));
  return recover_key(TronSigner::message_hash(message), sig.first<64>(), v >= 27 ? v - 27 : v);
}

}  // namespace

SignerResult<MessageSignature> tron_sign_message(std::span<const std::uint8_t> key,
                                                 std::span<const std::uint8_t> message, bool wallet_v) {
  VEK_TRY(out, secp::sign_hash(key, TronSigner::message_hash(message), "hash"));
  if (wallet_v) out->signature[64] = static_cast<std::uint8_t>(out->signature[64] + 27);
  const std::uint8_t v = out->signature[64];
  return MessageSignature{std::move(out->signature), v, {}};
}

SignerResult<std::string> tron_recover_address(std::span<const std::uint8_t> message,
                                               std::span<const std::uint8_t> signature) {
  VEK_TRY(pub, tron_signer_key(message, signature));
  return tron_address(*pub);
}

SignerResult<bool> tron_verify_message(std::string_view address, std::span<const std::uint8_t> message,
                                       std::span<const std::uint8_t> signature) {
  auto payload = base58check_decode(address);
  if (!payload || payload->size() != 21 || (*payload)[0] != TronSigner::kAddressPrefix) {
    return invalid("invalid Tron address: '" + std::string(address) + "'");
  }
  return if_recovered(tron_signer_key(message, signature), [&](const auto& pub) -> SignerResult<bool> {
    VEK_TRY(who, tron_address(pub));
    return *who == address;
  });
}

}  // namespace vek_signer
