#include "vek/lib/wallets.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "refusal.h"
#include "phrase_rules.h"
#include "secret/secret_text.h"
#include "vek/core/json_reader.h"
#include "vek/core/support.h"
#include "vek/core/wallet_file.h"
#include "vek/lib/derivation.h"
#include "vek/lib/vault.h"
#include "vek/signer/chains.h"
#include "vek/signer/crypto.h"
#include "vek/signer/crypto_json.h"
#include "vek/signer/random.h"

namespace vek_lib {

using vek_core::ChainType;
using vek_core::KeyType;
using vek_core::WalletAccount;
using vek_signer::Curve;
using vek_signer::Mnemonic;
using vek_signer::SecretBytes;

namespace {

// The families every wallet gets an account on, in the order of its `accounts` array.
constexpr std::array<ChainType, 6> kAccountOrder = {ChainType::Evm,    ChainType::Solana, ChainType::Bitcoin,
                                                    ChainType::Cosmos, ChainType::Tron,   ChainType::Ton};

VekResult<std::string> new_wallet_id() {
  auto id = vek_signer::random_uuid();
  if (!id) return std::unexpected(VekLibError::io(std::move(id.error())));
  return std::move(*id);
}

VekResult<void> refuse_taken_name(std::string_view name, OptText vault) {
  VEK_TRY(exists, wallet_name_exists(name, vault));
  if (*exists) return std::unexpected(VekLibError::wallet_name_exists(std::string(name)));
  return {};
}

// Encrypts the secret, builds the record and writes it. Nothing is written unless every
// step before succeeded.
VekResult<WalletInfo> seal_and_save(std::string_view name, WalletSecret&& made, OptText passphrase, OptText vault) {
  auto envelope = vek_signer::encrypt(made.secret.span(), passphrase.value_or(""));
  if (!envelope) return std::unexpected(VekLibError(std::move(envelope.error())));
  nlohmann::json crypto = vek_signer::envelope_to_json(*envelope);
  VEK_TRY(id, new_wallet_id());
  vek_core::EncryptedWallet record = vek_core::EncryptedWallet::make_new(
      std::move(*id), std::string(name), std::move(made.accounts), std::move(crypto),
      made.mnemonic ? KeyType::Mnemonic : KeyType::PrivateKey);
  record.bip39_passphrase = made.bip39_passphrase;
  record.generated_keys = std::move(made.generated_keys);
  if (auto saved = save_encrypted_wallet(record, vault); !saved) return std::unexpected(std::move(saved.error()));
  return wallet_to_info(record);
}

WalletAccount make_account(const vek_core::Chain& chain, std::string address, std::string path) {
  WalletAccount a;
  a.account_id = std::string(chain.chain_id) + ":" + address;
  a.address = std::move(address);
  a.chain_id = std::string(chain.chain_id);
  a.derivation_path = std::move(path);
  return a;
}

}  // namespace

VekResult<std::vector<WalletAccount>> derive_all_accounts(const Mnemonic& mnemonic, std::uint32_t index,
                                                          std::string_view bip39_passphrase,
                                                          std::span<const FamilyPath> paths) {
  std::array<std::optional<std::string_view>, vek_core::kAllChainTypes.size()> chosen;
  for (const FamilyPath& given : paths) {
    VEK_TRY(chain, resolve_chain(given.chain));
    auto& slot = chosen[static_cast<std::size_t>(chain->chain_type)];
    if (slot) {
      return invalid("two paths given for the " + std::string(vek_core::chain_type_name(chain->chain_type)) +
                     " family");
    }
    slot = given.path;
  }
  std::vector<WalletAccount> accounts;
  accounts.reserve(kAccountOrder.size());
  // The seed costs 2,048 rounds of HMAC-SHA512: computed once, shared by the six families.
  const SecretBytes seed = mnemonic.to_seed(bip39_passphrase);
  for (ChainType family : kAccountOrder) {
    const vek_core::Chain chain = vek_signer::default_chain_for_type(family);
    const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(family);
    const auto& given = chosen[static_cast<std::size_t>(family)];
    std::string path = given ? std::string(*given) : signer->default_derivation_path(index);
    VEK_TRY(key, derive_account_key(seed.span(), path, signer->curve()));
    auto address = signer->derive_address(key->span());
    if (!address) return std::unexpected(VekLibError(std::move(address.error())));
    accounts.push_back(make_account(chain, std::move(*address), std::move(path)));
  }
  return accounts;
}

VekResult<SecretBytes> decode_hex_key(std::string_view text) {
  auto bytes = decode_secret_hex(text, true);
  if (!bytes) return invalid("invalid hex private key: " + bytes.error());
  return std::move(*bytes);
}

VekResult<WalletInfo> create_wallet(std::string_view name, OptIndex words, OptText passphrase, OptText vault) {
  VEK_TRY(count, word_count(words.value_or(12)));
  if (auto r = refuse_taken_name(name, vault); !r) return std::unexpected(std::move(r.error()));
  auto mnemonic = Mnemonic::generate(*count);
  if (!mnemonic) return std::unexpected(VekLibError(std::move(mnemonic.error())));
  VEK_TRY(accounts, derive_all_accounts(*mnemonic, 0));
  WalletSecret made{true, mnemonic->phrase(), std::move(*accounts), {}, false};
  return seal_and_save(name, std::move(made), passphrase, vault);
}

VekResult<WalletSecret> mnemonic_wallet_secret(std::string_view phrase, OptIndex index, OptText bip39_passphrase,
                                               std::span<const FamilyPath> paths) {
  auto mnemonic = Mnemonic::from_phrase(phrase);
  if (!mnemonic) return std::unexpected(VekLibError(std::move(mnemonic.error())));
  const std::string_view bip39 = bip39_passphrase.value_or("");
  VEK_TRY(accounts, derive_all_accounts(*mnemonic, index.value_or(0), bip39, paths));
  return WalletSecret{true, mnemonic->phrase(), std::move(*accounts), {}, !bip39.empty()};
}

VekResult<WalletInfo> import_wallet_mnemonic(std::string_view name, std::string_view phrase, OptText passphrase,
                                             OptIndex index, OptText vault, OptText bip39_passphrase,
                                             std::span<const FamilyPath> paths) {
  if (auto r = refuse_taken_name(name, vault); !r) return std::unexpected(std::move(r.error()));
  VEK_TRY(made, mnemonic_wallet_secret(phrase, index, bip39_passphrase, paths));
  return seal_and_save(name, std::move(*made), passphrase, vault);
}

namespace {

// The two keys of a private-key wallet, as import_wallet_private_key takes them; the
// names of the curves whose key is random are added to `generated`.
VekResult<KeyPair> key_pair(std::string_view key_hex, OptText chain, OptText secp256k1_key, OptText ed25519_key,
                            const Caller& caller, std::vector<std::string>& generated) {
  KeyPair pair;
  if (secp256k1_key && ed25519_key) {
    VEK_TRY(secp, decode_hex_key(*secp256k1_key));
    VEK_TRY(ed, decode_hex_key(*ed25519_key));
    pair.secp256k1 = std::move(*secp);
    pair.ed25519 = std::move(*ed);
    return pair;
  }
  VEK_TRY(main_key, decode_hex_key(key_hex));
  Curve curve = Curve::Secp256k1;
  if (chain) {
    VEK_TRY(c, resolve_chain(*chain, caller));
    curve = vek_signer::signer_for_chain(c->chain_type)->curve();
  }
  vek_signer::WipedArray<32> random;
  if (auto r = vek_signer::os_random(random.span()); !r) return invalid("failed to generate random key: " + r.error());
  auto other = [&](OptText explicit_key, std::string_view curve_name) -> VekResult<SecretBytes> {
    if (explicit_key) return decode_hex_key(*explicit_key);
    generated.emplace_back(curve_name);
    return SecretBytes::from_slice(random.span());
  };
  if (curve == Curve::Secp256k1) {
    VEK_TRY(ed, other(ed25519_key, "ed25519"));
    pair.secp256k1 = std::move(*main_key);
    pair.ed25519 = std::move(*ed);
  } else {
    VEK_TRY(secp, other(secp256k1_key, "secp256k1"));
    pair.ed25519 = std::move(*main_key);
    pair.secp256k1 = std::move(*secp);
  }
  return pair;
}

}  // namespace

VekResult<WalletSecret> private_key_wallet_secret(std::string_view key_hex, OptText chain, OptText secp256k1_key,
                                                  OptText ed25519_key, const Caller& caller) {
  std::vector<std::string> generated;
  VEK_TRY(pair, key_pair(key_hex, chain, secp256k1_key, ed25519_key, caller, generated));
  std::vector<WalletAccount> accounts;
  accounts.reserve(kAccountOrder.size());
  for (ChainType family : kAccountOrder) {
    const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(family);
    const SecretBytes& key = signer->curve() == Curve::Ed25519 ? pair->ed25519 : pair->secp256k1;
    auto address = signer->derive_address(key.span());
    if (!address) return std::unexpected(VekLibError(std::move(address.error())));
    accounts.push_back(make_account(vek_signer::default_chain_for_type(family), std::move(*address), ""));
  }
  return WalletSecret{false, key_document(*pair), std::move(accounts), std::move(generated), false};
}

VekResult<WalletInfo> import_wallet_private_key(std::string_view name, std::string_view key_hex, OptText chain,
                                                OptText passphrase, OptText vault, OptText secp256k1_key,
                                                OptText ed25519_key, const Caller& caller) {
  if (auto r = refuse_taken_name(name, vault); !r) return std::unexpected(std::move(r.error()));
  VEK_TRY(made, private_key_wallet_secret(key_hex, chain, secp256k1_key, ed25519_key, caller));
  return seal_and_save(name, std::move(*made), passphrase, vault);
}

WalletInfo wallet_to_info(const vek_core::EncryptedWallet& wallet) {
  WalletInfo info{wallet.id, wallet.name, {}, wallet.created_at, wallet.bip39_passphrase, wallet.generated_keys};
  info.accounts.reserve(wallet.accounts.size());
  for (const auto& a : wallet.accounts) info.accounts.push_back(AccountInfo{a.chain_id, a.address, a.derivation_path});
  return info;
}

std::filesystem::path vault_directory(OptText vault) { return resolve_vault_path(vault); }

VekResult<std::vector<WalletInfo>> list_wallets(OptText vault) {
  VEK_TRY(wallets, list_encrypted_wallets(vault));
  std::vector<WalletInfo> out;
  out.reserve(wallets->size());
  for (const auto& w : *wallets) out.push_back(wallet_to_info(w));
  return out;
}

VekResult<WalletInfo> get_wallet(std::string_view name_or_id, OptText vault) {
  VEK_TRY(wallet, load_wallet_by_name_or_id(name_or_id, vault));
  return wallet_to_info(*wallet);
}

// Both act on the file the wallet was read from, which is not always "{id}.json".
VekResult<void> delete_wallet(std::string_view name_or_id, OptText vault) {
  VEK_TRY(stored, load_stored_wallet(name_or_id, vault));
  return delete_stored_wallet(*stored, vault);
}

VekResult<void> rename_wallet(std::string_view name_or_id, std::string_view new_name, OptText vault) {
  VEK_TRY(stored, load_stored_wallet(name_or_id, vault));
  if (stored->wallet.name == new_name) return {};
  if (auto r = refuse_taken_name(new_name, vault); !r) return std::unexpected(std::move(r.error()));
  stored->wallet.name = std::string(new_name);
  return save_encrypted_wallet(stored->wallet, vault, stored->file_name);
}

}  // namespace vek_lib
