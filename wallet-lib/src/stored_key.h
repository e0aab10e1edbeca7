// The key a wallet signs with by default for a chain family, shared by the operations
// that hand out that key or its public half.
#pragma once

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

}  // namespace vek_lib
