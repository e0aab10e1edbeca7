// The wallet operations behind the Python functions. Every operation reads the vault
// afresh, keeps no state between calls, and returns its result or a VekLibError.
// Absent optional values take the defaults here: passphrase "", index 0, 12 words,
// UTF-8 message encoding, the configured RPC endpoint, the default vault directory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/chain.h"
#include "vek/core/wallet_file.h"
#include "vek/lib/error.h"
#include "vek/lib/types.h"
#include "vek/signer/mnemonic.h"
#include "vek/signer/zeroizing.h"

namespace vek_lib {

using OptText = std::optional<std::string_view>;
using OptIndex = std::optional<std::uint32_t>;

// The two private keys of a private-key wallet; both wiped on release.
struct KeyPair {
  vek_signer::SecretBytes secp256k1;
  vek_signer::SecretBytes ed25519;
};

// A new random BIP-39 phrase of 12 or 24 words.
// Errors: InvalidInput "words must be 12 or 24", Mnemonic.
[[nodiscard]] VekResult<std::string> generate_mnemonic(std::uint32_t words);

// The address of `chain`'s family at the family's default path for `index` (0 when absent).
// Errors: InvalidInput (unknown chain), Mnemonic, Hd, Signer.
[[nodiscard]] VekResult<std::string> derive_address(std::string_view phrase, std::string_view chain, OptIndex index);

// One account per chain family, in the fixed order evm, solana, bitcoin, cosmos, tron, ton.
[[nodiscard]] VekResult<std::vector<vek_core::WalletAccount>> derive_all_accounts(const vek_signer::Mnemonic& mnemonic,
                                                                                  std::uint32_t index);

// Key bytes from hex text (a lower-case "0x" prefix dropped; no length check).
// Error: InvalidInput "invalid hex private key: {hex error}".
[[nodiscard]] VekResult<vek_signer::SecretBytes> decode_hex_key(std::string_view text);

[[nodiscard]] VekResult<WalletInfo> create_wallet(std::string_view name, OptIndex words, OptText passphrase,
                                                  OptText vault);
[[nodiscard]] VekResult<WalletInfo> import_wallet_mnemonic(std::string_view name, std::string_view phrase,
                                                           OptText passphrase, OptIndex index, OptText vault);
[[nodiscard]] VekResult<WalletInfo> import_wallet_private_key(std::string_view name, std::string_view key_hex,
                                                              OptText chain, OptText passphrase, OptText vault,
                                                              OptText secp256k1_key, OptText ed25519_key);

// The public view of a stored wallet (no secret, no envelope). Cannot fail.
[[nodiscard]] WalletInfo wallet_to_info(const vek_core::EncryptedWallet& wallet);

// Newest first.
[[nodiscard]] VekResult<std::vector<WalletInfo>> list_wallets(OptText vault);
[[nodiscard]] VekResult<WalletInfo> get_wallet(std::string_view name_or_id, OptText vault);
[[nodiscard]] VekResult<void> delete_wallet(std::string_view name_or_id, OptText vault);
[[nodiscard]] VekResult<void> rename_wallet(std::string_view name_or_id, std::string_view new_name, OptText vault);
// The stored secret as text (phrase or key document). The caller owns and should wipe it.
// When check_stored_accounts fails, the secret is still returned (a tampered file must
// not block the backup) and one line goes to standard error:
//   "warning: the stored accounts of wallet '{name}' do not match its secret", or, when
//   the check itself failed (a key the signer refuses, an algorithm OpenSSL lacks),
//   "warning: the stored accounts of wallet '{name}' could not be checked against its secret: {error}".
[[nodiscard]] VekResult<std::string> export_wallet(std::string_view name_or_id, OptText passphrase, OptText vault);

// Ties a wallet's displayed accounts to its secret, which anyone who can write the
// wallet file could otherwise replace: re-derives every stored account from `secret`
// (the decrypted phrase or key document; a phrase's seed is computed once, then each
// account's chain family and stored path; key wallets from the key of the family's
// curve) and compares the addresses. Every operation that decrypts a wallet runs it.
// {name} is the wallet's name with control characters escaped. No text of the secret
// is quoted in any error. Errors:
//   InvalidInput "the wallet's stored secret does not match its key type" (a key
//     document marked "mnemonic", a phrase marked "private_key", an invalid phrase);
//   InvalidInput "the stored accounts of wallet '{name}' do not match its secret"
//     (an address differs, or a stored chain or path names no key);
//   the key document's own errors (InvalidInput, Json), as decrypt_signing_key;
//   InvalidInput "wallet contains invalid UTF-8 mnemonic";
//   Signer, when a chain's signer refuses the key.
[[nodiscard]] VekResult<void> check_stored_accounts(const vek_core::EncryptedWallet& wallet,
                                                    const vek_signer::SecretBytes& secret);

// The private key of a stored wallet for a chain family and account index, after
// check_stored_accounts passed (its errors are returned).
[[nodiscard]] VekResult<vek_signer::SecretBytes> decrypt_signing_key(std::string_view wallet,
                                                                     vek_core::ChainType chain_type,
                                                                     OptText passphrase, OptIndex index,
                                                                     OptText vault);

// `encoding` absent or "utf8": the message's bytes; "hex": hex-decoded.
[[nodiscard]] VekResult<SignResult> sign_message(std::string_view wallet, std::string_view chain,
                                                 std::string_view message, OptText passphrase, OptText encoding,
                                                 OptIndex index, OptText vault);
[[nodiscard]] VekResult<SignResult> sign_transaction(std::string_view wallet, std::string_view chain,
                                                     std::string_view tx_hex, OptText passphrase, OptIndex index,
                                                     OptText vault);

// Transaction bytes from hex text; a lower-case "0x" prefix is dropped.
// Error: InvalidInput "invalid hex transaction: {hex error}".
[[nodiscard]] VekResult<std::vector<std::uint8_t>> decode_transaction_hex(std::string_view tx_hex);

// Signs `tx_hex` with the wallet's key for `chain`, assembles the signed transaction
// and submits it (EVM and Solana). Returns the node's transaction hash.
[[nodiscard]] VekResult<std::string> sign_and_send(std::string_view wallet, std::string_view chain,
                                                   std::string_view tx_hex, OptText passphrase, OptIndex index,
                                                   OptText rpc_url, OptText vault);

}  // namespace vek_lib
