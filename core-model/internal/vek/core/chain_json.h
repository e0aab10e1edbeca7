// The JSON form of ChainType, as stored in the `chain_type` member of a wallet file.
#pragma once

#include <expected>
#include <string>

#include <nlohmann/json.hpp>

#include "vek/core/chain.h"

namespace vek_core {

// The JSON string of the family's name ("evm", "solana", "cosmos", "bitcoin", "tron", "ton").
[[nodiscard]] nlohmann::json chain_type_to_json(ChainType t);

// Reads a family from a JSON string equal to one of the six names (case-sensitive) or from
// the single-member form {"<name>": null}.
// Errors (one line, no position):
//   "unknown variant `{text}`, expected one of `evm`, `solana`, `cosmos`, `bitcoin`, `tron`, `ton`"
//   "invalid type for variant `{name}`: expected null, found {found}"
//   "invalid type: {found}, expected one of `evm`, ..."   (any other JSON value)
[[nodiscard]] std::expected<ChainType, std::string> chain_type_from_json(const nlohmann::json& value);

}  // namespace vek_core
