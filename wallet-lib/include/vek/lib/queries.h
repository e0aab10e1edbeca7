// What the library can do, family by family: the facts applications, the tool's help and
// the documentation list, read from the tables the operations themselves use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vek/lib/error.h"

namespace vek_lib {

struct FamilyInfo {
  std::string_view name;           // "evm"
  std::string_view curve;          // "secp256k1" or "ed25519"
  std::uint32_t coin_type = 0;     // SLIP-44 of the default chain
  std::string default_path;        // the default chain's path with "{index}" for the account
  std::string_view default_chain;  // the chain of the accounts a wallet stores for the family
  std::vector<std::string_view> chains;           // every chain of the table in the family, table order
  std::vector<std::string_view> message_formats;  // the standard first
  std::vector<std::string_view> key_formats;      // export and import formats of its keys
  bool sign_transaction = false;  // Session.sign_transaction signs its transactions
  bool decode = false;            // decode_transaction reads its transactions
  bool build = false;             // transactions can be built from an intent
  bool broadcast = false;         // signed transactions can be submitted
};

// The six families, in the family order (evm, solana, cosmos, bitcoin, tron, ton).
[[nodiscard]] const std::vector<FamilyInfo>& families();

// The message formats of the family of `chain` (any chain of the table, or "eip155:<n>"),
// the standard first. Errors: InvalidInput (unknown chain).
[[nodiscard]] VekResult<std::vector<std::string_view>> message_format_names(std::string_view chain);

}  // namespace vek_lib
