// The EVM family's message formats: EIP-191 personal messages and EIP-712 typed data, with recovery of the signer.
#include "message_formats.h"

#include <algorithm>
#include <array>

#include "evm/family.h"
#include "evm/signer.h"
#include "vek/signer/eip712.h"
#include "vek/signer/verify.h"

namespace vek_lib {
namespace {

using namespace formats;
using vek_signer::MessageSignature;

bool is_evm_address(std::string_view a) {
  return a.size() == 42 && a[0] == '0' && (a[1] == 'x' || a[1] == 'X') &&
         std::all_of(a.begin() + 2, a.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

using Digest = std::array<std::uint8_t, vek_signer::kKeccak256Bytes>;

VekResult<Digest> eip191_digest(std::span<const std::uint8_t> message) {
  return vek_signer::EvmSigner::personal_message_hash(message);
}

VekResult<Digest> eip712_digest(std::span<const std::uint8_t> message) {
  auto digest =
      vek_signer::typed_data_hash(std::string_view(reinterpret_cast<const char*>(message.data()), message.size()));
  if (!digest) return std::unexpected(VekLibError(digest.error()));
  return *digest;
}

VekResult<MessageSignature> eip712_sign(const MessageSignRequest& r) {
  VEK_TRY(digest, eip712_digest(r.message));
  auto out = r.signer.sign(r.key, *digest);
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  // Wallets return v as 27 or 28 for typed data, as for personal messages.
  const auto v = static_cast<std::uint8_t>(out->signature.back() + vek_signer::EvmSigner::kMessageVOffset);
  out->signature.back() = v;
  return MessageSignature{std::move(out->signature), v, {}};
}

// The signer of an EVM digest, with the signer's own error kept so that a signature of
// no key can be told apart.
template <VekResult<Digest> (*DigestOf)(std::span<const std::uint8_t>)>
VekResult<vek_signer::SignerResult<std::string>> evm_signer(const MessageCheck& c) {
  VEK_TRY(digest, DigestOf(c.message));
  return vek_signer::evm_recover_address(*digest, c.signature);
}

template <VekResult<Digest> (*DigestOf)(std::span<const std::uint8_t>)>
VekResult<std::string> evm_recover(const MessageCheck& c) {
  VEK_TRY(who, evm_signer<DigestOf>(c));
  return lifted(std::move(*who));
}

template <VekResult<Digest> (*DigestOf)(std::span<const std::uint8_t>)>
VekResult<bool> evm_verify(const MessageCheck& c) {
  if (!is_evm_address(c.address)) return invalid("invalid EVM address: '" + std::string(c.address) + "'");
  VEK_TRY(who, evm_signer<DigestOf>(c));
  if (!*who) {
    if (who->error().detail == vek_signer::kRecoversNoKey) return false;
    return std::unexpected(VekLibError(std::move(who->error())));
  }
  const std::string& signer = **who;
  return std::equal(signer.begin(), signer.end(), c.address.begin(), c.address.end(),
                    [](char a, char b) { return lower(a) == lower(b); });
}

using enum SignatureText;

constexpr std::array kFormats{
    MessageFormat{vek_signer::kEvmMessageFormats[0], Hex, {}, signer_message, evm_verify<eip191_digest>, evm_recover<eip191_digest>},
    MessageFormat{vek_signer::kEvmMessageFormats[1], Hex, {}, eip712_sign, evm_verify<eip712_digest>, evm_recover<eip712_digest>},
};

}  // namespace

std::span<const MessageFormat> evm_message_formats() noexcept { return kFormats; }

}  // namespace vek_lib
