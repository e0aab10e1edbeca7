// Phrases and the addresses and accounts derived from them, without a wallet.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vek/core/account.h"
#include "vek/core/chain.h"
#include "vek/lib/caller.h"
#include "vek/lib/error.h"
#include "vek/lib/types.h"
#include "vek/signer/mnemonic.h"

namespace vek_lib {

// A new random BIP-39 phrase of 12 or 24 words.
// Errors: InvalidInput "words must be 12 or 24", Mnemonic.
[[nodiscard]] VekResult<std::string> generate_mnemonic(std::uint32_t words);

// The address of `chain` at `path`, else at the chain's default path for `index` (0 when
// absent), from the phrase's seed under `bip39_passphrase` (absent: ""), for a chain
// `caller` takes. The BIP-39 passphrase is taken in Unicode NFKD form, as BIP-39 hashes
// it (the bindings normalise it). `path` may be kSeedPrefixPath (secrets.h).
// Errors: InvalidInput (unknown chain; "give an index or a derivation path, not both"),
// Mnemonic, Hd (the path), Signer.
[[nodiscard]] VekResult<std::string> derive_address(std::string_view phrase, std::string_view chain, OptIndex index,
                                                    OptText bip39_passphrase, const Caller& caller,
                                                    OptText path = std::nullopt);

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

// The 2048 words of the English BIP-39 list, in order: what a typed phrase is checked
// against (a word not in it can be shown with its nearest words).
[[nodiscard]] std::vector<std::string_view> mnemonic_words();

}  // namespace vek_lib
