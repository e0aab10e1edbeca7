// Reading a wallet's decrypted secret, and checking it against the accounts the wallet
// lists, before anything is derived or signed with it.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/chain.h"
#include "vek/lib/error.h"
#include "vek/lib/types.h"
#include "vek/signer/mnemonic.h"
#include "vek/signer/traits.h"
#include "vek/signer/zeroizing.h"

namespace vek_core {
struct EncryptedWallet;  // the wallet file record (internal)
}  // namespace vek_core

namespace vek_lib {

// The two private keys of a private-key wallet; both wiped on release.
struct KeyPair {
  vek_signer::SecretBytes secp256k1;
  vek_signer::SecretBytes ed25519;
};

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
// (check_bip39_use first), and a mismatch then reads WrongBip39Passphrase "invalid input:
// the BIP-39 passphrase does not give the stored accounts of wallet '{name}'".
[[nodiscard]] VekResult<void> check_stored_accounts(const vek_core::EncryptedWallet& wallet,
                                                    const vek_signer::SecretBytes& secret,
                                                    OptText bip39_passphrase = std::nullopt);

// Whether `bip39_passphrase` (absent or empty: none) fits the wallet. Errors:
//   InvalidInput "wallet '{name}' has no BIP-39 passphrase" (one given for a wallet not
//     marked, or a private-key wallet);
//   InvalidInput "wallet '{name}' is protected by a BIP-39 passphrase; give it
//     as bip39_passphrase to use the wallet" (none given for a marked wallet).
[[nodiscard]] VekResult<void> check_bip39_use(const vek_core::EncryptedWallet& wallet, OptText bip39_passphrase);

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

}  // namespace vek_lib
