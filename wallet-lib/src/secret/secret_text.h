// Decrypted secrets as text, and the key document a private-key wallet stores.
#pragma once

#include <expected>
#include <string>
#include <string_view>

#include "vek/lib/secrets.h"
#include "vek/signer/zeroizing.h"

namespace vek_lib {

// The bytes of `b` as text (no copy).
[[nodiscard]] std::string_view text_of(const vek_signer::SecretBytes& b);

// Hex text into a secret buffer; the prefix "0x" (lower-case only) is dropped when `allow_prefix`.
[[nodiscard]] std::expected<vek_signer::SecretBytes, std::string> decode_secret_hex(std::string_view text,
                                                                                   bool allow_prefix);

// The key document of a private-key wallet: {"ed25519":"<hex>","secp256k1":"<hex>"},
// built in one allocation so no partial copy is left behind.
[[nodiscard]] vek_signer::SecretBytes key_document(const KeyPair& pair);

}  // namespace vek_lib
