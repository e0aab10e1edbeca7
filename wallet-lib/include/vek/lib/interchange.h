// Keys and secrets that leave or enter the vault in the forms other wallets use.
#pragma once

#include <functional>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/chain.h"
#include "vek/lib/error.h"
#include "vek/lib/types.h"
#include "vek/signer/zeroizing.h"

namespace vek_lib {

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
// A keystore whose key stretching is lighter than keystore.h's minimums (geth's
// --lightkdf: scrypt N = 4096, p = 6; PBKDF2 with few rounds) is taken only with
// `allow_weak_kdf`; otherwise InvalidParams "invalid parameters: scrypt N={n} is below
// minimum 262144; pass allow_weak_kdf=True (vek import-keystore --allow-weak-kdf) to
// import it; the wallet is stored under the vault's own parameters" (r*p and pbkdf2 c
// alike). Either way the wallet's secret is stored under the vault's own scrypt envelope.
[[nodiscard]] VekResult<WalletInfo> import_wallet_key(std::string_view name, std::string_view key,
                                                      std::string_view format, OptText chain, OptText key_password,
                                                      OptText passphrase, OptText vault,
                                                      const std::function<bool()>& keep_going = {},
                                                      bool allow_weak_kdf = false);

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

// The public key of the account a wallet signs with by default for `chain` (as
// export_key): secp256k1 families the compressed point (33 bytes), Ed25519 families
// the 32-byte key, in lower-case hex.
// Errors: those of export_key's lookup, decryption and checks.
[[nodiscard]] VekResult<std::string> public_key(std::string_view name_or_id, std::string_view chain,
                                                OptText passphrase, OptText vault,
                                                OptText bip39_passphrase = std::nullopt);

}  // namespace vek_lib
