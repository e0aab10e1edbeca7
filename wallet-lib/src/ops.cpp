#include "vek/lib/ops.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "secret_json.h"
#include "vek/core/json_reader.h"
#include "vek/core/support.h"
#include "vek/core/utf8.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/vault.h"
#include "vek/signer/chains.h"
#include "vek/signer/crypto.h"
#include "vek/signer/crypto_json.h"
#include "vek/signer/hd.h"
#include "vek/signer/hex.h"
#include "vek/signer/random.h"

namespace vek_lib {

using vek_core::ChainType;
using vek_core::EncryptedWallet;
using vek_core::KeyType;
using vek_core::WalletAccount;
using vek_signer::Curve;
using vek_signer::HdDeriver;
using vek_signer::Mnemonic;
using vek_signer::SecretBytes;
using vek_signer::WordCount;

namespace {

// The families every wallet gets an account on, in the order of its `accounts` array.
constexpr std::array<ChainType, 6> kAccountOrder = {ChainType::Evm,    ChainType::Solana, ChainType::Bitcoin,
                                                    ChainType::Cosmos, ChainType::Tron,   ChainType::Ton};

std::unexpected<VekLibError> invalid(std::string text) {
  return std::unexpected(VekLibError::invalid_input(std::move(text)));
}

// The only two phrase lengths a new wallet or phrase may have.
VekResult<WordCount> word_count(std::uint32_t words) {
  if (words == 12) return WordCount::Twelve;
  if (words == 24) return WordCount::TwentyFour;
  return invalid("words must be 12 or 24");
}

// A BIP-39 passphrase enters the seed after Unicode NFKD normalisation, which is not
// done here; ASCII text is its own normal form, so only ASCII is taken.
VekResult<void> check_bip39_text(OptText bip39_passphrase) {
  if (bip39_passphrase && std::any_of(bip39_passphrase->begin(), bip39_passphrase->end(),
                                      [](char c) { return static_cast<unsigned char>(c) >= 0x80; })) {
    return invalid("a BIP-39 passphrase must be ASCII text (other characters would need Unicode normalisation)");
  }
  return {};
}

}  // namespace

VekResult<vek_core::Chain> resolve_chain(std::string_view chain, vek_core::ChainScope scope) {
  auto c = vek_core::parse_chain(chain, scope);
  if (!c) return invalid(std::move(c.error()));
  return std::move(*c);
}

std::optional<std::string> stored_family_path(const EncryptedWallet& wallet, ChainType family) {
  for (const WalletAccount& account : wallet.accounts) {
    auto chain = vek_core::parse_chain(account.chain_id);
    if (chain && chain->chain_type == family && !account.derivation_path.empty()) return account.derivation_path;
  }
  return std::nullopt;
}

std::string chain_account_path(const vek_core::Chain& chain, std::optional<std::string_view> stored) {
  if (!stored) return chain.default_path(0);
  const vek_core::Chain& main = vek_core::default_chain_for_type(chain.chain_type);
  if (chain.coin_type == main.coin_type) return std::string(*stored);
  // "m/{purpose}'/{coin}'/..." with the family's coin: the same account on the chain's coin.
  const std::string coin_level = "/" + std::to_string(main.coin_type) + "'";
  const std::size_t purpose_end = stored->find('/', 2);
  if (stored->starts_with("m/") && purpose_end != std::string_view::npos &&
      stored->substr(purpose_end).starts_with(coin_level)) {
    const std::string_view rest = stored->substr(purpose_end + coin_level.size());
    if (rest.empty() || rest.front() == '/') {
      return std::string(stored->substr(0, purpose_end)) + "/" + std::to_string(chain.coin_type) + "'" +
             std::string(rest);
    }
  }
  return chain.default_path(0);
}

VekResult<SecretBytes> derive_account_key(std::span<const std::uint8_t> seed, std::string_view path, Curve curve) {
  if (path == kSeedPrefixPath) {
    if (curve != Curve::Ed25519 || seed.size() < vek_signer::kHdKeyBytes) {
      return std::unexpected(VekLibError(vek_signer::HdError{
          vek_signer::HdErrorKind::InvalidPath, "the seed-prefix key '" + std::string(kSeedPrefixPath) + "' is an Ed25519 key"}));
    }
    return SecretBytes::from_slice(seed.first(vek_signer::kHdKeyBytes));
  }
  auto key = HdDeriver::derive(seed, path, curve);
  if (!key) return std::unexpected(VekLibError(std::move(key.error())));
  return std::move(*key);
}

namespace {

std::string_view text_of(const SecretBytes& b) {
  return {reinterpret_cast<const char*>(b.data()), b.size()};
}

// Hex text into a secret buffer; a lower-case "0x" prefix is dropped when `allow_prefix`.
std::expected<SecretBytes, std::string> decode_secret_hex(std::string_view text, bool allow_prefix) {
  if (allow_prefix && text.size() >= 2 && text[0] == '0' && text[1] == 'x') text.remove_prefix(2);
  std::vector<std::uint8_t> out;
  if (auto r = vek_signer::hex_decode_into(text, out); !r) {
    vek_signer::wipe_vector(out);
    return std::unexpected(std::move(r.error()));
  }
  return SecretBytes(std::move(out));
}

VekResult<std::string> new_wallet_id() {
  auto id = vek_signer::random_uuid();
  if (!id) return std::unexpected(VekLibError::io(std::move(id.error())));
  return std::move(*id);
}

VekResult<void> refuse_taken_name(std::string_view name, OptText vault) {
  auto exists = wallet_name_exists(name, vault);
  if (!exists) return std::unexpected(std::move(exists.error()));
  if (*exists) return std::unexpected(VekLibError::wallet_name_exists(std::string(name)));
  return {};
}

// Encrypts `secret`, builds the record and writes it. Nothing is written unless every
// step before succeeded.
VekResult<WalletInfo> seal_and_save(std::string_view name, std::vector<WalletAccount>&& accounts,
                                    std::span<const std::uint8_t> secret, OptText passphrase, KeyType key_type,
                                    OptText vault, bool bip39_passphrase = false) {
  auto envelope = vek_signer::encrypt(secret, passphrase.value_or(""));
  if (!envelope) return std::unexpected(VekLibError(std::move(envelope.error())));
  nlohmann::json crypto = vek_signer::envelope_to_json(*envelope);
  auto id = new_wallet_id();
  if (!id) return std::unexpected(std::move(id.error()));
  EncryptedWallet record =
      EncryptedWallet::make_new(std::move(*id), std::string(name), std::move(accounts), std::move(crypto), key_type);
  record.bip39_passphrase = bip39_passphrase;
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

// The key document of a private-key wallet: {"ed25519":"<hex>","secp256k1":"<hex>"},
// built in one allocation so no partial copy is left behind.
SecretBytes key_document(const KeyPair& pair) {
  static constexpr std::string_view kA = "{\"ed25519\":\"", kB = "\",\"secp256k1\":\"", kC = "\"}";
  std::vector<std::uint8_t> doc;
  doc.reserve(kA.size() + kB.size() + kC.size() + 2 * (pair.ed25519.size() + pair.secp256k1.size()));
  auto put = [&doc](std::string_view s) { doc.insert(doc.end(), s.begin(), s.end()); };
  auto put_hex = [&doc](const SecretBytes& b) {
    for (std::uint8_t x : b.span()) {
      doc.push_back(static_cast<std::uint8_t>(vek_core::kHexDigits[x >> 4]));
      doc.push_back(static_cast<std::uint8_t>(vek_core::kHexDigits[x & 15]));
    }
  };
  put(kA);
  put_hex(pair.ed25519);
  put(kB);
  put_hex(pair.secp256k1);
  put(kC);
  return SecretBytes(std::move(doc));
}

}  // namespace

// The document is read by read_secret_strings, which keeps every copy of the key hex in
// wiped buffers.
VekResult<KeyPair> parse_key_document(const SecretBytes& plain) {
  if (vek_core::utf8_error(text_of(plain))) return invalid("invalid key pair data");
  static constexpr std::array<std::string_view, 2> kMembers = {"secp256k1", "ed25519"};
  auto members = read_secret_strings(text_of(plain), kMembers);
  if (!members) return std::unexpected(VekLibError::json(std::move(members.error())));
  const std::optional<SecretBytes>& secp = (*members)[0];
  const std::optional<SecretBytes>& ed = (*members)[1];
  if (!secp) return invalid("missing secp256k1 key");
  if (!ed) return invalid("missing ed25519 key");
  auto secp_bytes = decode_secret_hex(text_of(*secp), false);
  if (!secp_bytes) return invalid("invalid secp256k1 hex: " + secp_bytes.error());
  auto ed_bytes = decode_secret_hex(text_of(*ed), false);
  if (!ed_bytes) return invalid("invalid ed25519 hex: " + ed_bytes.error());
  return KeyPair{std::move(*secp_bytes), std::move(*ed_bytes)};
}

VekResult<SecretBytes> decrypt_wallet(const EncryptedWallet& wallet, OptText passphrase) {
  auto envelope = vek_signer::envelope_from_json(wallet.crypto);
  if (!envelope) return std::unexpected(VekLibError::json(std::move(envelope.error())));
  auto plain = vek_signer::decrypt(*envelope, passphrase.value_or(""));
  if (!plain) return std::unexpected(VekLibError(std::move(plain.error())));
  return std::move(*plain);
}

namespace {

constexpr std::string_view kSecretNotOfKeyType = "the wallet's stored secret does not match its key type";

// Lower-case letters and spaces only: what a phrase is made of, and what a key document
// (braces, quotes, digits) never is. Text that is not is never handed to the phrase
// parser, whose errors quote it.
bool phrase_like(std::string_view text) noexcept {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c == ' ' || (c >= 'a' && c <= 'z'); });
}

}  // namespace

// A phrase is checked for its shape before the phrase parser sees it, and the parser's
// error (which quotes the offending word) is wiped: text that came out of a decryption
// never reaches an error.
VekResult<Mnemonic> parse_mnemonic_secret(const SecretBytes& plain) {
  if (vek_core::utf8_error(text_of(plain))) return invalid("wallet contains invalid UTF-8 mnemonic");
  if (!phrase_like(text_of(plain))) return invalid(std::string(kSecretNotOfKeyType));
  auto mnemonic = Mnemonic::from_phrase(text_of(plain));
  if (!mnemonic) {
    vek_signer::wipe_string(mnemonic.error().detail);  // it quotes the secret
    return invalid(std::string(kSecretNotOfKeyType));
  }
  return std::move(*mnemonic);
}

namespace {

// A decrypted secret in usable form: the seed of a mnemonic wallet or the two keys of
// a private-key wallet.
struct OpenedSecret {
  KeyType key_type = KeyType::Mnemonic;
  SecretBytes seed;
  KeyPair keys;
};

// Reads the decrypted secret as the wallet's key type says. No text of the secret
// reaches an error: a secret that is not of the key type (a key document in a wallet
// marked "mnemonic", whose parser would quote it as a word, or a phrase in one marked
// "private_key") gives kSecretNotOfKeyType.
VekResult<OpenedSecret> open_secret(KeyType key_type, const SecretBytes& plain, std::string_view bip39 = "") {
  OpenedSecret out;
  out.key_type = key_type;
  if (key_type == KeyType::PrivateKey) {
    auto pair = parse_key_document(plain);
    if (!pair) {
      if (phrase_like(text_of(plain))) {
        auto phrase = Mnemonic::from_phrase(text_of(plain));
        if (phrase) return invalid(std::string(kSecretNotOfKeyType));
        vek_signer::wipe_string(phrase.error().detail);
      }
      return std::unexpected(std::move(pair.error()));
    }
    out.keys = std::move(*pair);
    return out;
  }
  auto mnemonic = parse_mnemonic_secret(plain);
  if (!mnemonic) return std::unexpected(std::move(mnemonic.error()));
  out.seed = mnemonic->to_seed(bip39);
  return out;
}

// The private key `signer` uses: a private-key wallet's key of the signer's curve, or
// the key at `path` from a mnemonic wallet's seed.
VekResult<SecretBytes> key_from_secret(const OpenedSecret& secret, const vek_signer::ChainSigner& signer,
                                       std::string_view path) {
  if (secret.key_type == KeyType::PrivateKey) {
    return SecretBytes::from_slice(
        (signer.curve() == Curve::Ed25519 ? secret.keys.ed25519 : secret.keys.secp256k1).span());
  }
  return derive_account_key(secret.seed.span(), path, signer.curve());
}

// Re-derives each stored account (its chain's family, its path) from the secret and
// compares the address with the stored one. A stored chain or path that names no key is
// a mismatch too; a key the chain's signer refuses gives the signer's error.
VekResult<void> verify_accounts(const EncryptedWallet& wallet, const OpenedSecret& secret) {
  const auto mismatch = [&wallet] {
    if (wallet.bip39_passphrase) {
      return invalid("the BIP-39 passphrase does not give the stored accounts of wallet '" +
                     vek_core::json_text::one_line(wallet.name) + "'");
    }
    return invalid("the stored accounts of wallet '" + vek_core::json_text::one_line(wallet.name) + "' do not match its secret");
  };
  for (const WalletAccount& account : wallet.accounts) {
    auto chain = vek_core::parse_chain(account.chain_id);
    if (!chain) return mismatch();
    const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(chain->chain_type);
    auto key = key_from_secret(secret, *signer, account.derivation_path);
    if (!key) return mismatch();
    auto address = signer->derive_address(key->span());
    if (!address) return std::unexpected(VekLibError(std::move(address.error())));
    if (*address != account.address) return mismatch();
  }
  return {};
}

// Whether `path` is `chain`'s default path for some index (a decimal below 2^32 written
// without leading zeros, as default_path writes it).
bool is_default_path(std::string_view path, const vek_core::Chain& chain) {
  if (!path.starts_with(chain.path_head) || !path.ends_with(chain.path_tail)) return false;
  if (path.size() < chain.path_head.size() + chain.path_tail.size()) return false;
  const std::string_view digits =
      path.substr(chain.path_head.size(), path.size() - chain.path_head.size() - chain.path_tail.size());
  std::uint32_t index = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
  return !digits.empty() && ec == std::errc() && end == digits.data() + digits.size() &&
         (digits.size() == 1 || digits[0] != '0');
}

SignResult to_sign_result(const vek_signer::SignOutput& out) {
  return SignResult{vek_signer::hex_encode(out.signature), out.recovery_id, {}, std::nullopt, std::nullopt};
}

}  // namespace

VekResult<std::string> generate_mnemonic(std::uint32_t words) {
  auto count = word_count(words);
  if (!count) return std::unexpected(std::move(count.error()));
  auto mnemonic = Mnemonic::generate(*count);
  if (!mnemonic) return std::unexpected(VekLibError(std::move(mnemonic.error())));
  const SecretBytes phrase = mnemonic->phrase();
  std::string text(text_of(phrase));
  if (auto err = vek_core::utf8_error(text)) {
    vek_signer::wipe_string(text);
    return invalid("invalid UTF-8 in mnemonic: " + *err);
  }
  return text;
}

VekResult<std::vector<WalletAccount>> derive_all_accounts(const Mnemonic& mnemonic, std::uint32_t index,
                                                          std::string_view bip39_passphrase,
                                                          std::span<const FamilyPath> paths) {
  std::array<std::optional<std::string_view>, vek_core::kAllChainTypes.size()> chosen;
  for (const FamilyPath& given : paths) {
    auto chain = resolve_chain(given.chain, vek_core::ChainScope::All);
    if (!chain) return std::unexpected(std::move(chain.error()));
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
    const vek_core::Chain chain = vek_core::default_chain_for_type(family);
    const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(family);
    const auto& given = chosen[static_cast<std::size_t>(family)];
    std::string path = given ? std::string(*given) : signer->default_derivation_path(index);
    auto key = derive_account_key(seed.span(), path, signer->curve());
    if (!key) return std::unexpected(std::move(key.error()));
    auto address = signer->derive_address(key->span());
    if (!address) return std::unexpected(VekLibError(std::move(address.error())));
    accounts.push_back(make_account(chain, std::move(*address), std::move(path)));
  }
  return accounts;
}

VekResult<std::string> derive_address(std::string_view phrase, std::string_view chain, OptIndex index,
                                      OptText bip39_passphrase, vek_core::ChainScope scope) {
  auto c = resolve_chain(chain, scope);
  if (!c) return std::unexpected(std::move(c.error()));
  if (auto r = check_bip39_text(bip39_passphrase); !r) return std::unexpected(std::move(r.error()));
  auto mnemonic = Mnemonic::from_phrase(phrase);
  if (!mnemonic) return std::unexpected(VekLibError(std::move(mnemonic.error())));
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(*c);
  const std::string path = c->default_path(index.value_or(0));
  auto key = HdDeriver::derive_from_mnemonic(*mnemonic, bip39_passphrase.value_or(""), path, signer->curve());
  if (!key) return std::unexpected(VekLibError(std::move(key.error())));
  auto address = signer->derive_address(key->span());
  if (!address) return std::unexpected(VekLibError(std::move(address.error())));
  return std::move(*address);
}

VekResult<SecretBytes> decode_hex_key(std::string_view text) {
  auto bytes = decode_secret_hex(text, true);
  if (!bytes) return invalid("invalid hex private key: " + bytes.error());
  return std::move(*bytes);
}

VekResult<WalletInfo> create_wallet(std::string_view name, OptIndex words, OptText passphrase, OptText vault) {
  auto count = word_count(words.value_or(12));
  if (!count) return std::unexpected(std::move(count.error()));
  if (auto r = refuse_taken_name(name, vault); !r) return std::unexpected(std::move(r.error()));
  auto mnemonic = Mnemonic::generate(*count);
  if (!mnemonic) return std::unexpected(VekLibError(std::move(mnemonic.error())));
  auto accounts = derive_all_accounts(*mnemonic, 0);
  if (!accounts) return std::unexpected(std::move(accounts.error()));
  const SecretBytes phrase = mnemonic->phrase();
  return seal_and_save(name, std::move(*accounts), phrase.span(), passphrase, KeyType::Mnemonic, vault);
}

VekResult<WalletInfo> import_wallet_mnemonic(std::string_view name, std::string_view phrase, OptText passphrase,
                                             OptIndex index, OptText vault, OptText bip39_passphrase,
                                             std::span<const FamilyPath> paths) {
  if (auto r = refuse_taken_name(name, vault); !r) return std::unexpected(std::move(r.error()));
  if (auto r = check_bip39_text(bip39_passphrase); !r) return std::unexpected(std::move(r.error()));
  auto mnemonic = Mnemonic::from_phrase(phrase);
  if (!mnemonic) return std::unexpected(VekLibError(std::move(mnemonic.error())));
  const std::string_view bip39 = bip39_passphrase.value_or("");
  auto accounts = derive_all_accounts(*mnemonic, index.value_or(0), bip39, paths);
  if (!accounts) return std::unexpected(std::move(accounts.error()));
  const SecretBytes canonical = mnemonic->phrase();
  return seal_and_save(name, std::move(*accounts), canonical.span(), passphrase, KeyType::Mnemonic, vault,
                       !bip39.empty());
}

VekResult<WalletInfo> import_wallet_private_key(std::string_view name, std::string_view key_hex, OptText chain,
                                                OptText passphrase, OptText vault, OptText secp256k1_key,
                                                OptText ed25519_key) {
  if (auto r = refuse_taken_name(name, vault); !r) return std::unexpected(std::move(r.error()));

  KeyPair pair;
  if (secp256k1_key && ed25519_key) {
    auto secp = decode_hex_key(*secp256k1_key);
    if (!secp) return std::unexpected(std::move(secp.error()));
    auto ed = decode_hex_key(*ed25519_key);
    if (!ed) return std::unexpected(std::move(ed.error()));
    pair.secp256k1 = std::move(*secp);
    pair.ed25519 = std::move(*ed);
  } else {
    auto main_key = decode_hex_key(key_hex);
    if (!main_key) return std::unexpected(std::move(main_key.error()));
    Curve curve = Curve::Secp256k1;
    if (chain) {
      auto c = resolve_chain(*chain);
      if (!c) return std::unexpected(std::move(c.error()));
      curve = vek_signer::signer_for_chain(c->chain_type)->curve();
    }
    vek_signer::WipedArray<32> random;
    if (auto r = vek_signer::os_random(random.span()); !r) return invalid("failed to generate random key: " + r.error());
    auto other = [&](OptText explicit_key) -> VekResult<SecretBytes> {
      if (explicit_key) return decode_hex_key(*explicit_key);
      return SecretBytes::from_slice(random.span());
    };
    if (curve == Curve::Secp256k1) {
      auto ed = other(ed25519_key);
      if (!ed) return std::unexpected(std::move(ed.error()));
      pair.secp256k1 = std::move(*main_key);
      pair.ed25519 = std::move(*ed);
    } else {
      auto secp = other(secp256k1_key);
      if (!secp) return std::unexpected(std::move(secp.error()));
      pair.ed25519 = std::move(*main_key);
      pair.secp256k1 = std::move(*secp);
    }
  }

  std::vector<WalletAccount> accounts;
  accounts.reserve(kAccountOrder.size());
  for (ChainType family : kAccountOrder) {
    const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(family);
    const SecretBytes& key = signer->curve() == Curve::Ed25519 ? pair.ed25519 : pair.secp256k1;
    auto address = signer->derive_address(key.span());
    if (!address) return std::unexpected(VekLibError(std::move(address.error())));
    accounts.push_back(make_account(vek_core::default_chain_for_type(family), std::move(*address), ""));
  }
  const SecretBytes document = key_document(pair);
  return seal_and_save(name, std::move(accounts), document.span(), passphrase, KeyType::PrivateKey, vault);
}

WalletInfo wallet_to_info(const EncryptedWallet& wallet) {
  WalletInfo info{wallet.id, wallet.name, {}, wallet.created_at, wallet.bip39_passphrase};
  info.accounts.reserve(wallet.accounts.size());
  for (const auto& a : wallet.accounts) info.accounts.push_back(AccountInfo{a.chain_id, a.address, a.derivation_path});
  return info;
}

std::filesystem::path vault_directory(OptText vault) { return resolve_vault_path(vault); }

VekResult<std::vector<WalletInfo>> list_wallets(OptText vault) {
  auto wallets = list_encrypted_wallets(vault);
  if (!wallets) return std::unexpected(std::move(wallets.error()));
  std::vector<WalletInfo> out;
  out.reserve(wallets->size());
  for (const auto& w : *wallets) out.push_back(wallet_to_info(w));
  return out;
}

VekResult<WalletInfo> get_wallet(std::string_view name_or_id, OptText vault) {
  auto wallet = load_wallet_by_name_or_id(name_or_id, vault);
  if (!wallet) return std::unexpected(std::move(wallet.error()));
  return wallet_to_info(*wallet);
}

// Both act on the file the wallet was read from, which is not always "{id}.json".
VekResult<void> delete_wallet(std::string_view name_or_id, OptText vault) {
  auto stored = load_stored_wallet(name_or_id, vault);
  if (!stored) return std::unexpected(std::move(stored.error()));
  return delete_stored_wallet(*stored, vault);
}

VekResult<void> rename_wallet(std::string_view name_or_id, std::string_view new_name, OptText vault) {
  auto stored = load_stored_wallet(name_or_id, vault);
  if (!stored) return std::unexpected(std::move(stored.error()));
  if (stored->wallet.name == new_name) return {};
  if (auto r = refuse_taken_name(new_name, vault); !r) return std::unexpected(std::move(r.error()));
  stored->wallet.name = std::string(new_name);
  return save_encrypted_wallet(stored->wallet, vault, stored->file_name);
}

VekResult<std::string> export_wallet(std::string_view name_or_id, OptText passphrase, OptText vault) {
  auto wallet = load_wallet_by_name_or_id(name_or_id, vault);
  if (!wallet) return std::unexpected(std::move(wallet.error()));
  auto plain = decrypt_wallet(*wallet, passphrase);
  if (!plain) return std::unexpected(std::move(plain.error()));
  if (vek_core::utf8_error(text_of(*plain))) {
    return invalid(wallet->key_type == KeyType::PrivateKey ? "wallet contains invalid key data"
                                                           : "wallet contains invalid UTF-8 mnemonic");
  }
  // A tampered file never blocks the backup: the secret is returned, with a warning.
  // Accounts derived under a BIP-39 passphrase cannot be checked without it.
  if (auto checked = wallet->bip39_passphrase ? VekResult<void>() : check_stored_accounts(*wallet, *plain); !checked) {
    const VekLibError& e = checked.error();
    const bool mismatch = e.code == VekLibErrorKind::InvalidInput || e.code == VekLibErrorKind::Json;
    const std::string line = "warning: the stored accounts of wallet '" + vek_core::json_text::one_line(wallet->name) + "' " +
                             (mismatch ? "do not match its secret" : "could not be checked against its secret: " +
                                                                         e.display()) +
                             "\n";
    std::fwrite(line.data(), 1, line.size(), stderr);
  }
  return std::string(text_of(*plain));
}

VekResult<void> check_bip39_use(const EncryptedWallet& wallet, OptText bip39_passphrase) {
  const bool given = bip39_passphrase && !bip39_passphrase->empty();
  if (given && (!wallet.bip39_passphrase || wallet.key_type != KeyType::Mnemonic)) {
    return invalid("wallet '" + vek_core::json_text::one_line(wallet.name) + "' has no BIP-39 passphrase");
  }
  if (!given && wallet.bip39_passphrase) {
    return invalid("wallet '" + vek_core::json_text::one_line(wallet.name) +
                   "' is protected by a BIP-39 passphrase; give it to use the wallet");
  }
  return {};
}

VekResult<void> check_stored_accounts(const EncryptedWallet& wallet, const SecretBytes& secret,
                                      OptText bip39_passphrase) {
  if (auto r = check_bip39_use(wallet, bip39_passphrase); !r) return r;
  auto opened = open_secret(wallet.key_type, secret, bip39_passphrase.value_or(""));
  if (!opened) return std::unexpected(std::move(opened.error()));
  return verify_accounts(wallet, *opened);
}

VekResult<SecretBytes> decrypt_signing_key(std::string_view wallet_ref, ChainType chain_type, OptText passphrase,
                                           OptIndex index, OptText vault) {
  auto wallet = load_wallet_by_name_or_id(wallet_ref, vault);
  if (!wallet) return std::unexpected(std::move(wallet.error()));
  // These functions take no BIP-39 passphrase, so they cannot reach the keys such a wallet lists.
  if (wallet->bip39_passphrase) {
    return invalid("wallet '" + vek_core::json_text::one_line(wallet->name) +
                   "' is protected by a BIP-39 passphrase, which vek._native cannot take; sign with vek.Vault.unlock");
  }
  auto plain = decrypt_wallet(*wallet, passphrase);
  if (!plain) return std::unexpected(std::move(plain.error()));
  // The check_stored_accounts steps, keeping the seed for the signing key.
  auto secret = open_secret(wallet->key_type, *plain);
  if (!secret) return std::unexpected(std::move(secret.error()));
  if (auto r = verify_accounts(*wallet, *secret); !r) return std::unexpected(std::move(r.error()));
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(chain_type);
  // These functions derive the family's default paths only: a wallet that shows another
  // account for the family (imported at another path) is not signed for here.
  if (wallet->key_type == KeyType::Mnemonic) {
    const auto stored = stored_family_path(*wallet, chain_type);
    if (stored && !is_default_path(*stored, vek_core::default_chain_for_type(chain_type))) {
      return invalid("wallet '" + vek_core::json_text::one_line(wallet->name) + "' stores its " +
                     std::string(vek_core::chain_type_name(chain_type)) + " account at derivation path " +
                     vek_core::json_text::one_line(*stored) + ", which vek._native does not derive; sign with vek.Vault.unlock");
    }
  }
  return key_from_secret(*secret, *signer, signer->default_derivation_path(index.value_or(0)));
}

VekResult<std::span<const std::uint8_t>> message_bytes(std::string_view message, OptText encoding,
                                                     std::vector<std::uint8_t>& decoded) {
  if (encoding && *encoding == "hex") {
    if (auto r = vek_signer::hex_decode_into(message, decoded); !r) return invalid("invalid hex message: " + r.error());
    return std::span<const std::uint8_t>(decoded);
  }
  if (encoding && *encoding != "utf8") {
    return invalid("unsupported encoding: " + std::string(*encoding) + " (use 'utf8' or 'hex')");
  }
  return std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(message.data()), message.size());
}

VekResult<SignResult> sign_message(std::string_view wallet, std::string_view chain, std::string_view message,
                                   OptText passphrase, OptText encoding, OptIndex index, OptText vault) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  std::vector<std::uint8_t> decoded;
  auto bytes = message_bytes(message, encoding, decoded);
  if (!bytes) return std::unexpected(std::move(bytes.error()));
  auto key = decrypt_signing_key(wallet, c->chain_type, passphrase, index, vault);
  if (!key) return std::unexpected(std::move(key.error()));
  auto out = vek_signer::signer_for_chain(c->chain_type)->sign_message(key->span(), *bytes);
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  return to_sign_result(*out);
}

VekResult<SignResult> sign_transaction(std::string_view wallet, std::string_view chain, std::string_view tx_hex,
                                       OptText passphrase, OptIndex index, OptText vault) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  auto tx = decode_transaction_hex(tx_hex);
  if (!tx) return std::unexpected(std::move(tx.error()));
  auto key = decrypt_signing_key(wallet, c->chain_type, passphrase, index, vault);
  if (!key) return std::unexpected(std::move(key.error()));
  auto out = vek_signer::signer_for_chain(c->chain_type)->sign_transaction(key->span(), *tx);
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  return to_sign_result(*out);
}

VekResult<std::vector<std::uint8_t>> decode_transaction_hex(std::string_view tx_hex) {
  if (tx_hex.size() >= 2 && tx_hex[0] == '0' && tx_hex[1] == 'x') tx_hex.remove_prefix(2);
  auto bytes = vek_signer::hex_decode(tx_hex);
  if (!bytes) return invalid("invalid hex transaction: " + bytes.error());
  return std::move(*bytes);
}

VekResult<std::string> sign_and_send(std::string_view wallet, std::string_view chain, std::string_view tx_hex,
                                     OptText passphrase, OptIndex index, OptText rpc_url, OptText vault) {
  auto c = resolve_chain(chain);
  if (!c) return std::unexpected(std::move(c.error()));
  auto tx = decode_transaction_hex(tx_hex);
  if (!tx) return std::unexpected(std::move(tx.error()));
  std::vector<std::uint8_t> signed_tx;
  {
    auto key = decrypt_signing_key(wallet, c->chain_type, passphrase, index, vault);
    if (!key) return std::unexpected(std::move(key.error()));
    auto out = sign_and_encode(key->span(), chain, *tx);
    if (!out) return std::unexpected(std::move(out.error()));
    signed_tx = std::move(*out);
  }  // the key is wiped here: none of it stays in memory while the node is awaited
  return send_signed(chain, signed_tx, rpc_url);
}

}  // namespace vek_lib
