// The wallets of a vault: creating, importing, listing, renaming, removing them, and
// changing the passphrase their secret is encrypted with.
#pragma once

#include <filesystem>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/account.h"
#include "vek/lib/caller.h"
#include "vek/lib/derivation.h"
#include "vek/lib/error.h"
#include "vek/lib/secrets.h"
#include "vek/lib/types.h"
#include "vek/signer/zeroizing.h"

namespace vek_core {
struct EncryptedWallet;  // the wallet file record (internal)
}  // namespace vek_core

namespace vek_lib {

// What a new wallet is made of before it is encrypted and stored: the secret as stored
// (the phrase in its canonical form, or the key document), its accounts, the curves
// whose key was made at random, and whether the accounts need a BIP-39 passphrase.
// A session made from a secret (Session::from_secret) is made of the same.
struct WalletSecret {
  bool mnemonic = true;  // a phrase, else a private-key wallet's key document
  vek_signer::SecretBytes secret;
  std::vector<vek_core::WalletAccount> accounts;
  std::vector<std::string> generated_keys;
  bool bip39_passphrase = false;
};

// The phrase and accounts import_wallet_mnemonic stores, nothing written: the accounts
// at `index` (0 when absent) or at `paths`, from the seed under `bip39_passphrase`,
// which the caller gives in Unicode NFKD form (as BIP-39 hashes it; the bindings
// normalise it). Errors: Mnemonic (the phrase); those of derive_all_accounts.
[[nodiscard]] VekResult<WalletSecret> mnemonic_wallet_secret(std::string_view phrase, OptIndex index,
                                                             OptText bip39_passphrase,
                                                             std::span<const FamilyPath> paths = {});

// The key document and accounts import_wallet_private_key stores, nothing written;
// `generated_keys` names the curve whose key is random ("ed25519" or "secp256k1"; none
// when both keys are given). Errors: as import_wallet_private_key, the name aside.
[[nodiscard]] VekResult<WalletSecret> private_key_wallet_secret(std::string_view key_hex, OptText chain,
                                                                OptText secp256k1_key, OptText ed25519_key,
                                                                const Caller& caller);

// Error: InvalidInput "invalid hex private key: {hex error}".
[[nodiscard]] VekResult<vek_signer::SecretBytes> decode_hex_key(std::string_view text);

// A new wallet with a random phrase of `words` (12 when absent) words and one account
// per family at index 0, encrypted with `passphrase` and written to the vault.
// Errors, first failure wins: InvalidInput "words must be 12 or 24"; WalletNameExists
// (a wallet of that exact name); Mnemonic; Hd or Signer (derivation); Crypto
// (encryption); Io (random id, directories, the write); Json (a name that is not UTF-8).
// Nothing is written unless every step before the write succeeded.
[[nodiscard]] VekResult<WalletInfo> create_wallet(std::string_view name, OptIndex words, OptText passphrase,
                                                  OptText vault);
// A wallet from an existing phrase, its accounts at `index` (0 when absent), or at the
// paths `paths` gives per family (derive_all_accounts), so that it lists the accounts
// another wallet shows. The one-call signing operations (signing.h) list such a wallet
// but refuse to sign for a family whose first stored account is not at one of the
// family's default paths. With a non-empty `bip39_passphrase` the accounts come from the seed under it; it is not
// stored, and the file is marked "bip39_passphrase": true so that signing asks for it
// (check_bip39_use) and the functions that cannot take it refuse (signing.h).
// Errors, first failure wins: WalletNameExists; InvalidInput (a BIP-39 passphrase that
// is not ASCII, as derive_address); Mnemonic (the phrase: word count, an unknown word,
// the checksum); Hd or Signer; Crypto; Io; Json. Nothing is written on failure.
// Errors also: those of derive_all_accounts for `paths`.
[[nodiscard]] VekResult<WalletInfo> import_wallet_mnemonic(std::string_view name, std::string_view phrase,
                                                           OptText passphrase, OptIndex index, OptText vault,
                                                           OptText bip39_passphrase = std::nullopt,
                                                           std::span<const FamilyPath> paths = {});
// A wallet of two raw keys (secp256k1 and ed25519). With both explicit keys given they
// are used and `key_hex`/`chain` are not read; otherwise `key_hex` is the key of
// `chain`'s curve (secp256k1 when absent) and the other curve's key is the explicit one
// or random; the file's "generated_keys" names the curve of a random key. Accounts have
// an empty derivation path. `chain` is one `caller` takes.
// Errors, first failure wins: WalletNameExists; InvalidInput "invalid hex private key:
// {hex error}" (explicit keys first, else `key_hex`), the unknown-chain message,
// "failed to generate random key: {error}"; Signer (a key that is not a valid scalar);
// Crypto; Io; Json. Nothing is written on failure.
[[nodiscard]] VekResult<WalletInfo> import_wallet_private_key(std::string_view name, std::string_view key_hex,
                                                              OptText chain, OptText passphrase, OptText vault,
                                                              OptText secp256k1_key, OptText ed25519_key,
                                                              const Caller& caller);

// The public view of a stored wallet (no secret, no envelope). Cannot fail.
[[nodiscard]] WalletInfo wallet_to_info(const vek_core::EncryptedWallet& wallet);

// The vault directory a call with `vault` uses: `vault` taken literally (no ~ or
// variable expansion), else the data directory. Cannot fail.
[[nodiscard]] std::filesystem::path vault_directory(OptText vault);

// Every operation that goes to the vault creates its directory and the wallets directory
// inside it when they are missing, a mere listing included. While an instance lives, the
// calling thread's operations create them only to write a wallet: until then a missing
// vault reads as one without wallets (nothing is created), and removing a wallet from it
// finds none (WalletNotFound). The application API runs every operation in one.
class ScopedCreateOnWrite {
 public:
  ScopedCreateOnWrite() noexcept;
  ~ScopedCreateOnWrite();
  ScopedCreateOnWrite(const ScopedCreateOnWrite&) = delete;
  ScopedCreateOnWrite& operator=(const ScopedCreateOnWrite&) = delete;

 private:
  bool previous_;
};

// Every readable wallet, newest first; unreadable files are skipped with a warning.
// Error: Io (creating or reading the vault's directories).
[[nodiscard]] VekResult<std::vector<WalletInfo>> list_wallets(OptText vault);
// The wallet whose id is `name_or_id`, else the only one with that name.
// Errors: those of list_wallets; WalletNotFound; AmbiguousWallet (two or more of that name).
[[nodiscard]] VekResult<WalletInfo> get_wallet(std::string_view name_or_id, OptText vault);
// Removes the wallet's file. Errors: those of get_wallet; Io (the removal).
[[nodiscard]] VekResult<void> delete_wallet(std::string_view name_or_id, OptText vault);
// Gives the wallet `new_name` (nothing happens when it already has it); id, accounts,
// secret and created_at are kept. Errors, first failure wins: those of get_wallet;
// WalletNameExists; Io or Json (the write; the old file stays on failure).
[[nodiscard]] VekResult<void> rename_wallet(std::string_view name_or_id, std::string_view new_name, OptText vault);
// Re-encrypts the wallet's secret under `new_passphrase` (absent: "") with a fresh salt
// and nonce and the current scrypt parameters, and writes the file atomically in place
// (the file the wallet was read from). id, name, created_at, key_type, accounts and
// metadata are kept; only `crypto` changes. The secret is decrypted with
// `old_passphrase` (absent: "") and checked against the stored accounts first, so a
// wrong passphrase or a tampered file changes nothing.
// Errors, first failure wins: those of get_wallet; Json (an unreadable envelope);
// Crypto (DecryptionFailed: a wrong old passphrase); those of check_stored_accounts;
// Crypto (encryption); Io "refusing to replace {path}: it holds a different wallet"
// (the file changed meanwhile), Io, Json (the write; the old file stays on failure).
[[nodiscard]] VekResult<void> change_passphrase(std::string_view name_or_id, OptText old_passphrase,
                                                OptText new_passphrase, OptText vault);


// The address of `wallet`'s stored account (the first of `chain`'s family) on `chain`,
// computed from the stored address alone: the stored address itself on the account's
// chain and on every chain writing the same key's address the same way (EVM, Solana,
// Tron); the stored bech32 data under the chain's prefix (Bitcoin and Cosmos); a chain
// signing with another key (a mnemonic wallet on a chain of another coin type: Bitcoin's
// test networks, secret, kava) or writing another address for it (TON's test network)
// has no stored address.
// Errors: InvalidInput (unknown chain; "wallet '{name}' stores no {family} account";
// "wallet '{name}' stores no address for '{chain}' ({reason}); Session.address('{chain}')
// derives it").
[[nodiscard]] VekResult<std::string> stored_address(const WalletInfo& wallet, std::string_view chain);

}  // namespace vek_lib
