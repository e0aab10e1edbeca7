// The wallet operations behind the Python functions. Every operation reads the vault
// afresh, keeps no state between calls, and returns its result or a VekLibError.
// Absent optional values take the defaults here: passphrase "", index 0, 12 words,
// UTF-8 message encoding, the configured RPC endpoint, the default vault directory.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
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
#include "vek/signer/traits.h"
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

// The address of `chain` at the chain's default path for `index` (0 when absent), from
// the phrase's seed under `bip39_passphrase` (absent: ""); any chain vek_signer::parse_chain
// knows.
// Errors: InvalidInput (unknown chain; "a BIP-39 passphrase must be ASCII text (other
// characters would need Unicode normalisation)"), Mnemonic, Hd, Signer.
[[nodiscard]] VekResult<std::string> derive_address(std::string_view phrase, std::string_view chain, OptIndex index,
                                                    OptText bip39_passphrase = std::nullopt);

// A derivation path other wallets use for account `index` of `chain` (any chain of the
// table, or "eip155:<n>"), by name; {coin} is the chain's coin type:
//   "default"         the chain's default path for `index` (as derive_address);
//   "evm-account"     m/44'/{coin}'/{index}'/0/0  EVM wallets that count BIP-44 accounts
//                     ("account index", e.g. Ledger Live) rather than addresses;
//   "solana-account"  m/44'/{coin}'/{index}'      Solana wallets that stop at the account level;
//   "solana-seed"     kSeedPrefixPath (index 0 only)  the Solana command-line tools' key of a
//                     phrase without a derivation path: the seed's first 32 bytes;
//   "bitcoin-bip84"   m/84'/{coin}'/{index}'/0/0  the first receive address of BIP-84 account {index}.
// The path is not checked here; deriving it checks it (an index of 2^31 or more is refused then).
// Errors: InvalidInput (unknown chain); InvalidInput "unknown derivation preset: {preset}
// (use 'default', 'evm-account', 'solana-account', 'solana-seed' or 'bitcoin-bip84')";
// InvalidInput "derivation preset '{preset}' is for {family} chains, not for '{chain}'";
// InvalidInput "derivation preset 'solana-seed' names one key: give index 0".
[[nodiscard]] VekResult<std::string> preset_path(std::string_view preset, std::string_view chain,
                                                 std::uint32_t index);

// The derivation path a new wallet's account of one family takes instead of the
// family's default path: `chain` names the family (any chain of it, or "evm").
struct FamilyPath {
  std::string_view chain;
  std::string_view path;
};

// One account per chain family, in the fixed order evm, solana, bitcoin, cosmos, tron,
// ton, from the seed under `bip39_passphrase`: at the family's path in `paths`, else at
// the family's default path for `index`.
// Errors: InvalidInput (a chain of `paths` unknown; "two paths given for the {family}
// family"); Hd (a path the family's curve cannot derive); Signer.
[[nodiscard]] VekResult<std::vector<vek_core::WalletAccount>> derive_all_accounts(
    const vek_signer::Mnemonic& mnemonic, std::uint32_t index, std::string_view bip39_passphrase = "",
    std::span<const FamilyPath> paths = {});

// Key bytes from hex text (a lower-case "0x" prefix dropped; no length check).
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
// another wallet shows. vek._native lists such a wallet but refuses to sign for a family
// whose first stored account is not at one of the family's default paths
// (decrypt_signing_key). With a
// non-empty `bip39_passphrase` the accounts come from the seed under it; it is not
// stored, and the file is marked "bip39_passphrase": true so that signing asks for it
// (check_bip39_use) and the functions that cannot take it refuse (decrypt_signing_key).
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
// or random. Accounts have an empty derivation path.
// Errors, first failure wins: WalletNameExists; InvalidInput "invalid hex private key:
// {hex error}" (explicit keys first, else `key_hex`), the unknown-chain message,
// "failed to generate random key: {error}"; Signer (a key that is not a valid scalar);
// Crypto; Io; Json. Nothing is written on failure.
[[nodiscard]] VekResult<WalletInfo> import_wallet_private_key(std::string_view name, std::string_view key_hex,
                                                              OptText chain, OptText passphrase, OptText vault,
                                                              OptText secp256k1_key, OptText ed25519_key);

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

// Key interchange with other wallets. `format` names how a single private key is written:
//   "hex"            64 hex digits of either case, with or without "0x"/"0X";
//   "wif"            Bitcoin's Wallet Import Format (Base58Check; mainnet 0x80 or testnet 0xef);
//   "keystore"       an Ethereum keystore v3 file (its JSON text), protected by `key_password`;
//   "solana-base58"  a Solana keypair (secret key, then public key) in base58;
//   "solana-json"    the same 64 bytes as the JSON array of Solana's keypair files.
// "wif" belongs to the Bitcoin family, "keystore" to EVM chains and the "solana-" formats
// to Solana; "hex" to every family. A chain given with a format of another family:
// InvalidInput "key format '{format}' is for {family} keys, not for '{chain}'".
// An unknown format: InvalidInput "unsupported key format: {format} (use 'hex', 'wif',
// 'keystore', 'solana-base58' or 'solana-json')". White space around `key` is ignored.
// No error quotes the key or the password.

// A private-key wallet from one key in `format`, for `chain` (by default the format's
// family; ethereum for "hex"). The key serves every family of its curve; the other
// curve gets a random key, as import_wallet_private_key does.
// Errors, first failure wins: the format and chain errors above; the unknown-chain
// message; WalletNameExists; InvalidInput "invalid {format} key: {reason}" ({reason} as
// key_formats.h / keystore.h give it); Crypto (a keystore's refusals: InvalidParams
// for weak or unsupported parameters, DecryptionFailed "keystore MAC mismatch (wrong
// password or altered file)"); InvalidInput "the keystore's address does not match its
// key"; then those of import_wallet_private_key. Nothing is written on failure.
// `keep_going`, when given, is asked once a keystore's key stretching (the long step, up
// to about a second) is over; false ends the import before anything else is done or
// written, with Io EINTR ("Interrupted system call (os error 4)"). The Python binding
// runs the interpreter's signal handlers there, so that Ctrl-C cancels an import.
[[nodiscard]] VekResult<WalletInfo> import_wallet_key(std::string_view name, std::string_view key,
                                                      std::string_view format, OptText chain, OptText key_password,
                                                      OptText passphrase, OptText vault,
                                                      const std::function<bool()>& keep_going = {});

// The private key the wallet signs with for `chain` (any chain of the table, or
// "eip155:<n>"; the key of the account it stores for the family, on the chain's coin type
// as chain_account_path gives it, as a session signs without an index), in `format`:
// "hex" as 64 lower-case digits without prefix; "wif" compressed, with the mainnet
// prefix 0x80, or 0xef for Bitcoin's test networks; "keystore" as a
// keystore v3 document under `key_password` (absent: ""), scrypt N = 2^18, r = 8, p = 1,
// for the EVM address; "solana-base58" and "solana-json" as Solana writes them. The
// caller owns the text and should wipe it.
// Errors, first failure wins: the format and chain errors above; those of
// export_wallet's lookup and decryption; those of check_stored_accounts; Hd; Signer;
// Crypto (the keystore's encryption).
[[nodiscard]] VekResult<std::string> export_key(std::string_view name_or_id, std::string_view chain,
                                                std::string_view format, OptText passphrase, OptText key_password,
                                                OptText vault, OptText bip39_passphrase = std::nullopt);

// The stored secret as text (phrase or key document). The caller owns and should wipe it.
// Errors, first failure wins: those of get_wallet; Json (an unreadable envelope);
// Crypto (DecryptionFailed: wrong passphrase or a damaged file); InvalidInput "wallet
// contains invalid key data" or "wallet contains invalid UTF-8 mnemonic".
// A wallet marked "bip39_passphrase" is not checked (its accounts need the BIP-39
// passphrase, which is not stored); its phrase is returned as it is.
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
//   the key document's own errors (InvalidInput, Json), as parse_key_document;
//   InvalidInput "wallet contains invalid UTF-8 mnemonic";
//   Signer, when a chain's signer refuses the key.
// A wallet marked "bip39_passphrase" is checked with the seed under `bip39_passphrase`
// (check_bip39_use first), and a mismatch then reads InvalidInput "the BIP-39 passphrase
// does not give the stored accounts of wallet '{name}'".
[[nodiscard]] VekResult<void> check_stored_accounts(const vek_core::EncryptedWallet& wallet,
                                                    const vek_signer::SecretBytes& secret,
                                                    OptText bip39_passphrase = std::nullopt);

// Whether `bip39_passphrase` (absent or empty: none) fits the wallet. Errors:
//   InvalidInput "wallet '{name}' has no BIP-39 passphrase" (one given for a wallet not
//     marked, or a private-key wallet);
//   InvalidInput "wallet '{name}' is protected by a BIP-39 passphrase; give it to use the
//     wallet" (none given for a marked wallet).
[[nodiscard]] VekResult<void> check_bip39_use(const vek_core::EncryptedWallet& wallet, OptText bip39_passphrase);

// The private key of a stored wallet for a chain family and account index (0 when
// absent; a key wallet ignores it and gives the key of the family's curve).
// Errors, first failure wins: those of export_wallet's lookup; InvalidInput "wallet
// '{name}' is protected by a BIP-39 passphrase, which vek._native cannot take; sign with
// vek.Vault.unlock" (a wallet marked "bip39_passphrase": these operations take none);
// export_wallet's decryption errors, then those of check_stored_accounts; InvalidInput
// "wallet '{name}' stores its {family} account at derivation path {path}, which
// vek._native does not derive; sign with vek.Vault.unlock" (a mnemonic wallet whose
// first stored account of the family is not at one of the family's default paths: the
// key of the index asked for would not be the one the wallet shows); then Hd.
[[nodiscard]] VekResult<vek_signer::SecretBytes> decrypt_signing_key(std::string_view wallet,
                                                                     vek_core::ChainType chain_type,
                                                                     OptText passphrase, OptIndex index,
                                                                     OptText vault);

// Signs `message` with the chain family's message scheme.
// Errors, first failure wins: InvalidInput (unknown chain; then message_bytes' errors);
// those of decrypt_signing_key; Signer.
[[nodiscard]] VekResult<SignResult> sign_message(std::string_view wallet, std::string_view chain,
                                                 std::string_view message, OptText passphrase, OptText encoding,
                                                 OptIndex index, OptText vault);
// Signs the transaction bytes of `tx_hex` with the chain family's transaction scheme.
// Errors, first failure wins: InvalidInput (unknown chain; then decode_transaction_hex's
// error); those of decrypt_signing_key; Signer.
[[nodiscard]] VekResult<SignResult> sign_transaction(std::string_view wallet, std::string_view chain,
                                                     std::string_view tx_hex, OptText passphrase, OptIndex index,
                                                     OptText vault);

// The steps the operations above are made of, for callers that keep a wallet open
// across several signatures (session.h).

// The known chain for a chain name, the alias "evm" or a CAIP-2 id (vek_signer::parse_chain).
// Error: InvalidInput carrying parse_chain's message.
[[nodiscard]] VekResult<vek_core::Chain> resolve_chain(std::string_view chain);

// Accounts and their keys on chains other than a family's default chain. A wallet stores
// its accounts on each family's default chain; another chain of the family uses the same
// account. Where the chain has the family's coin type (EVM chains, Solana clusters, Cosmos
// chains of coin type 118, TON's test network) that is the same key, written as the chain
// writes addresses. Where it has its own (Bitcoin's test networks: 1; some Cosmos
// chains), the stored path with its coin-type level (the second, "{family coin}'")
// replaced by the chain's, or, for a stored path without that level, the chain's default
// path for index 0.

// The path of the wallet's first stored account of `family`, if it stores one with a path.
[[nodiscard]] std::optional<std::string> stored_family_path(const vek_core::EncryptedWallet& wallet,
                                                            vek_core::ChainType family);

// The path `chain`'s default account uses, given the path of the family's stored account
// (none: the chain's default path for index 0). Cannot fail.
[[nodiscard]] std::string chain_account_path(const vek_core::Chain& chain, std::optional<std::string_view> stored);

// The stored path of the Ed25519 key that is the first 32 bytes of the BIP-39 seed
// itself, as some Solana command-line tools take it (no BIP-32 derivation). It is not a
// derivation path: the path rules refuse it, so nothing that does not know it derives
// another key from it.
inline constexpr std::string_view kSeedPrefixPath = "seed[0:32]";

// The key at `path` from `seed` (HdDeriver::derive), or the seed's first 32 bytes for
// kSeedPrefixPath and an Ed25519 curve.
// Errors: Hd (the path's; kSeedPrefixPath for secp256k1: InvalidPath "the seed-prefix key
// 'seed[0:32]' is an Ed25519 key").
[[nodiscard]] VekResult<vek_signer::SecretBytes> derive_account_key(std::span<const std::uint8_t> seed,
                                                                    std::string_view path, vek_signer::Curve curve);

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

// The phrase of a decrypted mnemonic wallet. No text of the secret reaches an error.
// Errors: InvalidInput "wallet contains invalid UTF-8 mnemonic", "the wallet's stored
// secret does not match its key type" (not a valid phrase).
[[nodiscard]] VekResult<vek_signer::Mnemonic> parse_mnemonic_secret(const vek_signer::SecretBytes& plain);

// Transaction bytes from hex text; a lower-case "0x" prefix is dropped.
// Error: InvalidInput "invalid hex transaction: {hex error}".
[[nodiscard]] VekResult<std::vector<std::uint8_t>> decode_transaction_hex(std::string_view tx_hex);

// Signs `tx_hex` with the wallet's key for `chain`, assembles the signed transaction
// and submits it (EVM and Solana). Returns the node's transaction hash. The key is
// wiped before the node is contacted.
// Errors, first failure wins: InvalidInput (unknown chain; decode_transaction_hex's
// error); those of decrypt_signing_key; those of sign_and_encode (broadcast.h: trailing
// bytes, a family without broadcasting, Signer); those of send_signed (an endpoint
// that is not http(s), BroadcastFailed).
[[nodiscard]] VekResult<std::string> sign_and_send(std::string_view wallet, std::string_view chain,
                                                   std::string_view tx_hex, OptText passphrase, OptIndex index,
                                                   OptText rpc_url, OptText vault);

}  // namespace vek_lib
