// The Tron family's message formats: TIP-191 messages, and raw bytes under the same envelope.
#include "message_formats.h"

#include "tron/family.h"
#include "vek/signer/message_formats.h"
#include "vek/signer/verify.h"

namespace vek_lib {
namespace {

using namespace formats;
using vek_signer::MessageSignature;

VekResult<MessageSignature> tip191_sign(const MessageSignRequest& r) {
  return lifted(vek_signer::tron_sign_message(r.key, r.message, true));
}
VekResult<bool> tron_verify(const MessageCheck& c) {
  return lifted(vek_signer::tron_verify_message(c.address, c.message, c.signature));
}
VekResult<std::string> tron_recover(const MessageCheck& c) {
  return lifted(vek_signer::tron_recover_address(c.message, c.signature));
}

using enum SignatureText;

constexpr std::array kFormats{
    MessageFormat{vek_signer::kTronMessageFormats[0], Hex, {}, tip191_sign, tron_verify, tron_recover},
    MessageFormat{vek_signer::kTronMessageFormats[1], Hex, {}, signer_message, tron_verify, tron_recover},
};

}  // namespace

std::span<const MessageFormat> tron_message_formats() noexcept { return kFormats; }

}  // namespace vek_lib
