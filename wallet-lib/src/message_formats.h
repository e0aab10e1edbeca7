// The message formats of every chain family: how a session signs a message in each, how
// the signature is written as text, and how it is checked or its signer recovered without
// a wallet. Session::sign_message and verify.h dispatch through here only. Each family's
// rows live in its folder, families/<family>/lib/message_formats.cpp, named by the
// family's k<Family>MessageFormats (families/<family>/family.h); a new format is one name
// there and one row here.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/chain.h"
#include "vek/lib/error.h"
#include "vek/lib/ops.h"
#include "vek/lib/types.h"
#include "vek/signer/message_formats.h"
#include "vek/signer/traits.h"

namespace vek_lib {

// How a format writes its signature as text (and reads it back in verify_message).
enum class SignatureText : std::uint8_t { Hex, Base64, Base58 };


// What a format signs: the message bytes with the key of the chain's family.
struct MessageSignRequest {
  const vek_signer::ChainSigner& signer;
  std::span<const std::uint8_t> key;
  std::span<const std::uint8_t> message;
  const MessageContext& context;
};

// What a format checks: a signature (its bytes, the text already decoded) over the message
// bytes, by `address` (empty for recovery), on `chain`.
struct MessageCheck {
  const vek_core::Chain& chain;
  std::string_view address;
  std::span<const std::uint8_t> message;
  std::span<const std::uint8_t> signature;
  const MessageContext& context;
};

struct MessageFormat {
  std::string_view name;
  SignatureText text;
  // The type name under which the format returns the signer's public key (base64 of the
  // compressed secp256k1 key or of the Ed25519 key), as that ecosystem's wallets write it;
  // empty when it returns none.
  std::string_view public_key_type;
  // Signs. Never null.
  VekResult<vek_signer::MessageSignature> (*sign)(const MessageSignRequest&);
  // Whether the address made the signature (false for another key or none); null when
  // signatures of the format are not checked.
  VekResult<bool> (*verify)(const MessageCheck&);
  // The signer's address; null when the format does not carry what recovery needs.
  VekResult<std::string> (*recover)(const MessageCheck&);
  // Whether checks read the signature as hex (0x optional) or base58, whichever it is,
  // beside the format's own text: dApps of the family send either.
  bool reads_hex_or_base58 = false;
};

// Each family's rows, its standard format first (families/<family>/lib/message_formats.cpp).
#define VEK_FAMILY(folder, Name) [[nodiscard]] std::span<const MessageFormat> folder##_message_formats() noexcept;
#include "vek/core/families.def"
#undef VEK_FAMILY

// What the families' rows share.
namespace formats {

[[nodiscard]] std::unexpected<VekLibError> invalid(std::string text);

template <typename T>
[[nodiscard]] VekResult<T> lifted(vek_signer::SignerResult<T> r) {
  if (!r) return std::unexpected(VekLibError(std::move(r.error())));
  return std::move(*r);
}

// The signer's own message signature (the layout of ops.h sign_message).
[[nodiscard]] VekResult<vek_signer::MessageSignature> signer_message(const MessageSignRequest& r);

// The signer's own message signature, refused for bytes whose signature would authorise a
// transaction (raw_messages.h).
[[nodiscard]] VekResult<vek_signer::MessageSignature> screened_message(const MessageSignRequest& r);

}  // namespace formats

// Signs in `format`: the signature as the format's text, the format's name, the public key.
[[nodiscard]] VekResult<SignResult> sign_in_format(const MessageFormat& format, const MessageSignRequest& request);

// Signature bytes from the format's text: hex (a "0x" prefix, either case, is dropped), base64
// or base58. Errors: InvalidInput "invalid hex signature: {hex error}", "invalid base64
// signature: {base64 error}", "invalid base58 signature: {base58 error}". A format that
// reads_hex_or_base58 takes text with "0x", or of hex digits only that decode to 64 bytes
// (the length of an Ed25519 signature, which base58 never spells in 128 characters), as
// hex; other text as base58 when it decodes to 64 bytes, else as hex when it is hex, else
// refuses it: "invalid signature: neither hex nor base58 ({base58 error})".
[[nodiscard]] VekResult<std::vector<std::uint8_t>> decode_signature_text(const MessageFormat& format,
                                                                        std::string_view text);

// The formats of `family`, its standard first (the default of every operation).
[[nodiscard]] std::span<const MessageFormat> message_formats(vek_core::ChainType family);

// The format `name` of `family`, the standard one when absent.
// Error: InvalidInput "unknown format for {an EVM / a Solana / a Bitcoin / a Cosmos / a
// Tron / a TON} chain: '{name}' (use {the family's formats, e.g. "bip322, bip137 or raw"})".
[[nodiscard]] VekResult<const MessageFormat*> find_message_format(vek_core::ChainType family, OptText name);

// Error texts for a family or format without checks or recovery:
//   "signature checks cover {families with checks} chains only, not {family}";
//   "recovering the signer covers {families with recovery} chains only, not {family}";
//   "the signer of a {format} signature cannot be recovered; verify it against an address
//    (formats of {family} that allow recovery: {list})".
[[nodiscard]] VekLibError no_checks(vek_core::ChainType family);
[[nodiscard]] VekLibError no_recovery(vek_core::ChainType family, const MessageFormat& format);

}  // namespace vek_lib
