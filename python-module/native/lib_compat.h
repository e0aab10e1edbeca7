// The operations vek._native calls, in the form that takes the caller's description
// last. Until the library's own operations take it, these forward to the ones that
// accept the same twelve chains and word their refusals for this module.
#pragma once

#include <string>

#include "vek/lib/broadcast.h"
#include "vek/lib/caller.h"
#include "vek/lib/ops.h"

namespace vek_lib {

inline VekResult<std::string> derive_address(std::string_view phrase, std::string_view chain, OptIndex index,
                                             OptText bip39_passphrase, const Caller& /*caller*/) {
  return derive_address(phrase, chain, index, bip39_passphrase, vek_core::ChainScope::Native);
}

inline VekResult<WalletInfo> import_wallet_private_key(std::string_view name, std::string_view key_hex, OptText chain,
                                                       OptText passphrase, OptText vault, OptText secp256k1_key,
                                                       OptText ed25519_key, const Caller& /*caller*/) {
  return import_wallet_private_key(name, key_hex, chain, passphrase, vault, secp256k1_key, ed25519_key);
}

inline VekResult<SignResult> sign_transaction(std::string_view wallet, std::string_view chain, std::string_view tx_hex,
                                              OptText passphrase, OptIndex index, OptText vault,
                                              const Caller& /*caller*/) {
  return sign_transaction(wallet, chain, tx_hex, passphrase, index, vault);
}

inline VekResult<SignResult> sign_message(std::string_view wallet, std::string_view chain, std::string_view message,
                                          OptText passphrase, OptText encoding, OptIndex index, OptText vault,
                                          const Caller& /*caller*/) {
  return sign_message(wallet, chain, message, passphrase, encoding, index, vault);
}

inline VekResult<std::string> sign_and_send(std::string_view wallet, std::string_view chain, std::string_view tx_hex,
                                            OptText passphrase, OptIndex index, OptText rpc_url, OptText vault,
                                            const Caller& /*caller*/) {
  return sign_and_send(wallet, chain, tx_hex, passphrase, index, rpc_url, vault);
}

}  // namespace vek_lib
