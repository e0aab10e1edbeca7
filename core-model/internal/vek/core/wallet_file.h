// The wallet file: one JSON document per wallet, holding its identity, its derived
// accounts (public data only) and the encrypted secret.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "vek/core/account.h"
#include "vek/core/chain.h"

namespace vek_core {

// The kind of secret inside `crypto`: "mnemonic" or "private_key".
enum class KeyType : std::uint8_t { Mnemonic = 0, PrivateKey = 1 };

// "mnemonic" or "private_key".
[[nodiscard]] std::string_view key_type_name(KeyType t) noexcept;

// Reads a KeyType from a JSON string equal to one of the two names (case-sensitive) or
// the single-member form {"<name>": null}.
// Errors: "unknown variant `{text}`, expected `mnemonic` or `private_key`", or an
// "invalid type..." text for any other value.
[[nodiscard]] std::expected<KeyType, std::string> key_type_from_json(const nlohmann::json& value);

struct EncryptedWallet {
  std::uint32_t vek_version = 2;
  std::string id;
  std::string name;
  std::string created_at;  // RFC 3339, UTC, "+00:00"
  std::optional<ChainType> chain_type;
  std::vector<WalletAccount> accounts;
  nlohmann::json crypto;  // the encryption envelope as a generic value; not interpreted here
  KeyType key_type = KeyType::Mnemonic;
  // The accounts of this mnemonic wallet come from the phrase's seed under a BIP-39
  // passphrase, which is not stored: signing needs it given again.
  bool bip39_passphrase = false;
  // The curves whose key the import made at random (a key of one curve imported, the
  // other's key new), e.g. {"ed25519"}; written only when not empty.
  std::vector<std::string> generated_keys;
  nlohmann::json metadata;  // carried through unchanged; null when absent

  // A new record: vek_version 2, created_at = now, no chain_type, null metadata.
  [[nodiscard]] static EncryptedWallet make_new(std::string id, std::string name, std::vector<WalletAccount> accounts,
                                                nlohmann::json crypto, KeyType key_type);

  bool operator==(const EncryptedWallet&) const = default;
};

// The current UTC time as created_at text (see format_created_at).
[[nodiscard]] std::string created_at_now();

// RFC 3339 UTC text of `unix_seconds` + `nanos` (nanos < 1e9), e.g.
// "2025-01-31T09:15:02.123456+00:00": seconds always present, no fraction when nanos is
// 0, else 3, 6 or 9 digits (the fewest that are exact), and the offset "+00:00", so
// that texts compare byte-wise in time order.
[[nodiscard]] std::string format_created_at(std::int64_t unix_seconds, std::uint32_t nanos);

// The document as written to disk: pretty-printed with two spaces per level, keys in
// the order vek_version, id, name, created_at, chain_type (only when set), accounts,
// crypto, key_type, bip39_passphrase (only when true), generated_keys (only when not empty), metadata (only when not null); objects inside crypto and metadata
// in ascending key order; no newline at the end. Strings escape only '"', '\' and
// control characters; other characters are written as UTF-8.
// Error: "invalid UTF-8 in the text of `{field}`" when a string is not valid UTF-8.
[[nodiscard]] std::expected<std::string, std::string> wallet_to_json_text(const EncryptedWallet& wallet);

// Parses one wallet document (any valid JSON layout). Unknown keys are ignored; a key
// that occurs twice in any object is an error; nothing but white space may follow.
// Errors (one line, ending " at line {l} column {c}"), for example:
//   "missing field `accounts`", "duplicate field `id`",
//   "unknown variant `Mnemonic`, expected `mnemonic` or `private_key`",
//   "invalid type for `name`: expected a string, found an integer", "trailing characters".
[[nodiscard]] std::expected<EncryptedWallet, std::string> wallet_from_json_text(std::string_view text);

}  // namespace vek_core
