#include "vek/lib/secrets.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <utility>

#include "refusal.h"
#include "secret_json.h"
#include "secret_text.h"
#include "vek/core/ascii.h"
#include "vek/core/json_reader.h"
#include "vek/core/support.h"
#include "vek/core/utf8.h"
#include "vek/core/wallet_file.h"
#include "vek/signer/chains.h"
#include "vek/signer/crypto.h"
#include "vek/signer/crypto_json.h"
#include "vek/signer/hd.h"
#include "vek/signer/hex.h"

namespace vek_lib {

using vek_core::ChainType;
using vek_core::EncryptedWallet;
using vek_core::KeyType;
using vek_core::WalletAccount;
using vek_signer::Curve;
using vek_signer::HdDeriver;
using vek_signer::Mnemonic;
using vek_signer::SecretBytes;

std::optional<std::string> stored_family_path(const EncryptedWallet& wallet, ChainType family) {
  for (const WalletAccount& account : wallet.accounts) {
    auto chain = vek_signer::parse_chain(account.chain_id);
    if (chain && chain->chain_type == family && !account.derivation_path.empty()) return account.derivation_path;
  }
  return std::nullopt;
}

std::string chain_account_path(const vek_core::Chain& chain, std::optional<std::string_view> stored) {
  if (!stored) return chain.default_path(0);
  const vek_core::Chain& main = vek_signer::default_chain_for_type(chain.chain_type);
  if (chain.coin_type == main.coin_type) return std::string(*stored);
  // "m/{purpose}'/{coin}'/..." with the family's coin: the same account on the chain's coin.
  std::string coin_level = "/";
  coin_level.append(std::to_string(main.coin_type)).append("'");
  const std::size_t purpose_end = stored->find('/', 2);
  if (stored->starts_with("m/") && purpose_end != std::string_view::npos &&
      stored->substr(purpose_end).starts_with(coin_level)) {
    const std::string_view rest = stored->substr(purpose_end + coin_level.size());
    if (rest.empty() || rest.front() == '/') {
      std::string path(stored->substr(0, purpose_end));
      path.append("/").append(std::to_string(chain.coin_type)).append("'").append(rest);
      return path;
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

std::string_view text_of(const SecretBytes& b) {
  return {reinterpret_cast<const char*>(b.data()), b.size()};
}

std::expected<SecretBytes, std::string> decode_secret_hex(std::string_view text, bool allow_prefix) {
  if (allow_prefix) text = vek_core::without_0x(text, vek_core::HexPrefix::LowerOnly);
  std::vector<std::uint8_t> out;
  if (auto r = vek_signer::hex_decode_into(text, out); !r) {
    vek_signer::wipe_vector(out);
    return std::unexpected(std::move(r.error()));
  }
  return SecretBytes(std::move(out));
}

SecretBytes key_document(const KeyPair& pair) {
  static constexpr std::string_view kA = "{\"ed25519\":\"", kB = "\",\"secp256k1\":\"", kC = "\"}";
  std::vector<std::uint8_t> doc;
  doc.reserve(kA.size() + kB.size() + kC.size() + 2 * (pair.ed25519.size() + pair.secp256k1.size()));
  auto put = [&doc](std::string_view s) {
    for (const char c : s) doc.push_back(static_cast<std::uint8_t>(c));
  };
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
  VEK_TRY(mnemonic, parse_mnemonic_secret(plain));
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
      return std::unexpected(VekLibError{vek_core::ErrorCode::WrongBip39Passphrase,
                                         "the BIP-39 passphrase does not give the stored accounts of wallet '" +
                                             vek_core::json_text::one_line(wallet.name) + "'"});
    }
    return invalid("the stored accounts of wallet '" + vek_core::json_text::one_line(wallet.name) + "' do not match its secret");
  };
  for (const WalletAccount& account : wallet.accounts) {
    auto chain = vek_signer::parse_chain(account.chain_id);
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

}  // namespace

VekResult<void> check_bip39_use(const EncryptedWallet& wallet, OptText bip39_passphrase) {
  const bool given = bip39_passphrase && !bip39_passphrase->empty();
  if (given && (!wallet.bip39_passphrase || wallet.key_type != KeyType::Mnemonic)) {
    return invalid("wallet '" + vek_core::json_text::one_line(wallet.name) + "' has no BIP-39 passphrase");
  }
  if (!given && wallet.bip39_passphrase) {
    return invalid("wallet '" + vek_core::json_text::one_line(wallet.name) +
                   "' is protected by a BIP-39 passphrase; give it as bip39_passphrase to use the wallet");
  }
  return {};
}

VekResult<void> check_stored_accounts(const EncryptedWallet& wallet, const SecretBytes& secret,
                                      OptText bip39_passphrase) {
  if (auto r = check_bip39_use(wallet, bip39_passphrase); !r) return r;
  VEK_TRY(opened, open_secret(wallet.key_type, secret, bip39_passphrase.value_or("")));
  return verify_accounts(wallet, *opened);
}

}  // namespace vek_lib
