// The key a wallet signs with by default for a chain family, shared by the operations
// that hand out that key or its public half.
#pragma once

#include <optional>
#include <string_view>

#include "vek/core/chain.h"
#include "vek/core/wallet_file.h"
#include "vek/lib/error.h"
#include "vek/signer/zeroizing.h"

namespace vek_lib {

// The key a session signs with for `chain` by default: the stored key of a private-key
// wallet's curve, or the key at chain_account_path of the wallet's first stored account
// of the chain's family (the chain's default path for index 0 when it stores none).
// `plain` is the decrypted envelope; `bip39` the BIP-39 passphrase ("" for none).
// Errors: those of parse_key_document and parse_mnemonic_secret; Hd.
[[nodiscard]] VekResult<vek_signer::SecretBytes> stored_account_key(const vek_core::EncryptedWallet& wallet,
                                                                    const vek_signer::SecretBytes& plain,
                                                                    const vek_core::Chain& chain, std::string_view bip39);

// That key of the stored wallet `name_or_id`: the wallet is loaded and decrypted with
// `passphrase`, and its stored accounts are checked first (under `bip39_passphrase`).
// Errors: those of load_wallet_by_name_or_id, decrypt_wallet, check_stored_accounts and
// stored_account_key.
[[nodiscard]] VekResult<vek_signer::SecretBytes> wallet_account_key(std::string_view name_or_id,
                                                                    const vek_core::Chain& chain,
                                                                    std::optional<std::string_view> passphrase,
                                                                    std::optional<std::string_view> vault,
                                                                    std::optional<std::string_view> bip39_passphrase);

}  // namespace vek_lib
