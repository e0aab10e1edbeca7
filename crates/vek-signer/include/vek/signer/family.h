// The chain families: one descriptor per family holds everything this library knows of
// it (curve, coin type, default path, address codec, message digest, key formats, path
// presets) and the slots for its transaction work. Each family's descriptor lives in its
// own folder under families/, and families() lists them in the one family order (the
// ChainType numbering).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/chain.h"
#include "vek/signer/error.h"
#include "vek/signer/traits.h"

namespace vek_signer {

// A derivation path other wallets use, by name. The path of account i on a chain of coin
// type c is head + c + middle + i + tail; a preset with a fixed path names one key (index
// 0 only) by that path.
struct PathPreset {
  std::string_view name;
  std::string_view head, middle, tail;
  std::string_view fixed_path;
};

// The digest a family's sign_message signs (its signed-message envelope).
using MessageDigest = std::array<std::uint8_t, 32>;

// What a family's `assemble` makes of a transaction's fields: the unsigned transaction,
// and the sender the fields name (checked against the signing account by whoever signs).
struct AssembledFields {
  std::vector<std::uint8_t> unsigned_tx;
  std::optional<std::string> from;
};

struct FamilyDescriptor {
  ChainType type;
  std::string_view name;     // as chain_type_name: "evm"
  std::string_view title;    // as error texts name the family: "EVM"
  std::string_view article;  // before the title: "an EVM chain"
  Curve curve;
  // The SLIP-44 coin type of the family's mainnets; a chain row may carry its own.
  std::uint32_t coin_type;
  // The coin type of the family's test networks, when not the mainnets' (Bitcoin: 1).
  std::optional<std::uint32_t> testnet_coin_type = std::nullopt;
  // The default path of account i: path_head + coin type + path_middle + i + path_tail.
  std::string_view path_head = "m/44'/", path_middle, path_tail = "";
  // The bech32 human-readable part of mainnet addresses; empty for families without one.
  std::string_view address_prefix = "";

  // The signer for a chain of the family (its network parameters applied). Never null.
  SignerPtr (*signer)(const vek_core::Chain& chain);
  // Whether `address` is well formed for `chain` (checksum included where it has one).
  // Never null.
  bool (*is_address)(std::string_view address, const vek_core::Chain& chain);
  // The digest sign_message signs; null for families that sign the message bytes as they
  // are (the Ed25519 families).
  MessageDigest (*message_hash)(std::span<const std::uint8_t> message) = nullptr;
  // The message formats' names, the standard one first (their implementations are the
  // family's rows in wallet-lib's message-format table, in this order).
  std::span<const std::string_view> message_formats;
  // The text forms of a private key of the family other wallets read and write, beyond
  // plain hex.
  std::span<const std::string_view> key_formats = {};
  std::span<const PathPreset> path_presets = {};

  // Transaction work; null until a family provides it.
  // assemble: the unsigned transaction from its fields (nonce, fees, ...), given as one
  //   JSON object under the names the family's own tools use, as the chain serialises it
  //   for signing, for `chain`. Errors: InvalidInput naming the field.
  SignerResult<AssembledFields> (*assemble)(std::string_view fields_json, const vek_core::Chain& chain) = nullptr;
  // build: a transaction from an intent (pay, transfer a token, ...) and the chain's
  //   current state.
  std::vector<std::uint8_t> (*build)(std::string_view intent) = nullptr;
  // True where a transaction of the family can be decoded for review, and where a signed
  // one can be sent (wallet-lib's decode and broadcast implement them today).
  bool decodes = false;
  bool broadcasts = false;

  // The default path of account `index` on coin type `coin`.
  [[nodiscard]] std::string default_path(std::uint32_t coin, std::uint32_t index) const;
  // The pattern of the mainnets' default path: "m/44'/60'/0'/0/{index}".
  [[nodiscard]] std::string default_path_pattern() const;
  [[nodiscard]] bool has_key_formats() const noexcept { return !key_formats.empty(); }
};

// Every family, in the ChainType numbering.
[[nodiscard]] std::span<const FamilyDescriptor* const> families() noexcept;

// The descriptor of `type`.
[[nodiscard]] const FamilyDescriptor& family(ChainType type) noexcept;

}  // namespace vek_signer
