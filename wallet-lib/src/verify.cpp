#include "vek/lib/verify.h"

#include "message_formats.h"

namespace vek_lib {

namespace {
// Recovery needs nothing besides the message.
const MessageContext kNoContext{};
}  // namespace

VekResult<std::vector<std::uint8_t>> decode_signature_hex(std::string_view text) {
  return decode_signature_text(MessageFormat{"hex", SignatureText::Hex, {}, nullptr, nullptr, nullptr}, text);
}

VekResult<std::vector<std::uint8_t>> decode_signature(std::string_view chain, std::string_view text, OptText format) {
  VEK_TRY(c, resolve_chain(chain));
  VEK_TRY(f, find_message_format(c->chain_type, format));
  return decode_signature_text(**f, text);
}

VekResult<std::string> recover_address(std::string_view chain, std::span<const std::uint8_t> message,
                                       std::span<const std::uint8_t> signature, OptText format) {
  VEK_TRY(c, resolve_chain(chain));
  VEK_TRY(f, find_message_format(c->chain_type, format));
  if ((*f)->recover == nullptr) return std::unexpected(no_recovery(c->chain_type, **f));
  return (*f)->recover(MessageCheck{*c, {}, message, signature, kNoContext});
}

VekResult<bool> verify_message(std::string_view chain, std::string_view address, std::span<const std::uint8_t> message,
                               std::span<const std::uint8_t> signature, OptText format,
                               const MessageContext& context) {
  VEK_TRY(c, resolve_chain(chain));
  VEK_TRY(f, find_message_format(c->chain_type, format));
  if ((*f)->verify == nullptr) return std::unexpected(no_checks(c->chain_type));
  return (*f)->verify(MessageCheck{*c, address, message, signature, context});
}

}  // namespace vek_lib
