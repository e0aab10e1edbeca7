// The JSON form of the key encryption envelope (the `crypto` member of a wallet file).
#pragma once

#include <expected>
#include <string>

#include <nlohmann/json.hpp>

#include "vek/signer/crypto.h"

namespace vek_signer {

// The envelope as a generic JSON value. Its objects keep their members in ascending
// key order, so it is written as auth_tag, cipher, cipherparams{iv}, ciphertext, kdf,
// kdfparams{dklen, n, p, r, salt}. Cannot fail.
[[nodiscard]] nlohmann::json envelope_to_json(const CryptoEnvelope& envelope);

// Reads an envelope from a JSON value. Members may come in any order; unknown members
// are ignored. Errors (one line naming the member by its path, e.g. `kdfparams.n`;
// {found} is "null", "a boolean", "an integer", "a floating-point number", "a string",
// "an array" or "an object"):
//   "invalid type for `crypto`: expected an object, found {found}"   (not an object)
//   "missing field `{member}`"
//   "invalid type for `{member}`: expected {a string|an object|an unsigned 32-bit integer}, found {found}"
//   "invalid value for `{member}`: {number} is outside the unsigned 32-bit range"
// The caller reports the text as its JSON error.
[[nodiscard]] std::expected<CryptoEnvelope, std::string> envelope_from_json(const nlohmann::json& value);

}  // namespace vek_signer
