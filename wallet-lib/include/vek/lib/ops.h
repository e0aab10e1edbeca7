// The wallet operations behind the Python functions. Every operation reads the vault
// afresh, keeps no state between calls, and returns its result or a VekLibError.
// Absent optional values take the defaults here: passphrase "", index 0, 12 words,
// UTF-8 message encoding, the configured RPC endpoint, the default vault directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/chain.h"
#include "vek/core/account.h"
#include "vek/lib/error.h"
#include "vek/lib/types.h"
#include "vek/signer/mnemonic.h"
#include "vek/signer/zeroizing.h"

namespace vek_core {
struct EncryptedWallet;  // the wallet file record (internal)
}  // namespace vek_core

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

// The vault directory a call with `vault` uses: `vault` taken literally (no ~ or
// variable expansion), else the data directory. Cannot fail.
[[nodiscard]] std::filesystem::path vault_directory(OptText vault);

// Newest first.
[[nodiscard]] VekResult<std::vector<WalletInfo>> list_wallets(OptText vault);
[[nodiscard]] VekResult<WalletInfo> get_wallet(std::string_view name_or_id, OptText vault);
[[nodiscard]] VekResult<void> delete_wallet(std::string_view name_or_id, OptText vault);
[[nodiscard]] VekResult<void> rename_wallet(std::string_view name_or_id, std::string_view new_name, OptText vault);
// The stored secret as text (phrase or key document). The caller owns and should wipe it.
[[nodiscard]] VekResult<std::string> export_wallet(std::string_view name_or_id, OptText passphrase, OptText vault);

// The private key of a stored wallet for a chain family and account index.
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

// The steps the operations above are made of, for callers that keep a wallet open
// across several signatures (session.h).

// The known chain for a chain name, the alias "evm" or a CAIP-2 id.
// Error: InvalidInput carrying the unknown-chain message.
[[nodiscard]] VekResult<vek_core::Chain> resolve_chain(std::string_view chain);

// The bytes sign_message signs: `encoding` absent or "utf8": the message text itself
// (the span points into `message`); "hex": hex-decoded into `decoded` (the span points there).
// Errors: InvalidInput "invalid hex message: {hex error}",
// "unsupported encoding: {encoding} (use 'utf8' or 'hex')".
[[nodiscard]] VekResult<std::span<const std::uint8_t>> message_bytes(std::string_view message, OptText encoding,
                                                                   std::vector<std::uint8_t>& decoded);

// The plaintext of a stored wallet's envelope (one scrypt). Absent passphrase: "".
// Errors: Json (an envelope that cannot be read), Crypto (wrong passphrase: DecryptionFailed).
[[nodiscard]] VekResult<vek_signer::SecretBytes> decrypt_wallet(const vek_core::EncryptedWallet& wallet,
                                                                OptText passphrase);

// The secp256k1 and ed25519 keys of a decrypted private-key wallet.
// Errors: InvalidInput "invalid key pair data", "missing secp256k1 key", "missing ed25519 key",
// "invalid secp256k1 hex: ...", "invalid ed25519 hex: ..."; Json.
[[nodiscard]] VekResult<KeyPair> parse_key_document(const vek_signer::SecretBytes& plain);

// The phrase of a decrypted mnemonic wallet.
// Errors: InvalidInput "wallet contains invalid UTF-8 mnemonic"; Mnemonic.
[[nodiscard]] VekResult<vek_signer::Mnemonic> parse_mnemonic_secret(const vek_signer::SecretBytes& plain);

// Transaction bytes from hex text; a lower-case "0x" prefix is dropped.
// Error: InvalidInput "invalid hex transaction: {hex error}".
[[nodiscard]] VekResult<std::vector<std::uint8_t>> decode_transaction_hex(std::string_view tx_hex);

// Signs `tx_hex` with the wallet's key for `chain`, assembles the signed transaction
// and submits it (EVM and Solana). Returns the node's transaction hash.
[[nodiscard]] VekResult<std::string> sign_and_send(std::string_view wallet, std::string_view chain,
                                                   std::string_view tx_hex, OptText passphrase, OptIndex index,
                                                   OptText rpc_url, OptText vault);

}  // namespace vek_lib
