// One private key in, or out, in the formats other wallets use (ops.h, "Key interchange").
#include <algorithm>
#include <array>
#include <cerrno>
#include <functional>
#include <optional>
#include <utility>

#include "refusal.h"
#include "capabilities.h"
#include "vek/core/chain.h"
#include "vek/lib/ops.h"
#include "vek/lib/vault.h"
#include "vek/signer/chains.h"
#include "vek/signer/hd.h"
#include "vek/signer/hex.h"
#include "vek/signer/key_formats.h"
#include "vek/signer/keystore.h"
#include "vek/signer/random.h"
#include "secret/stored_key.h"
#include "vek/core/ascii.h"

namespace vek_lib {
namespace {

using vek_core::ChainType;
using vek_signer::Curve;
using vek_signer::SecretBytes;

enum class KeyFormat : std::uint8_t { Hex, Wif, Keystore, SolanaBase58, SolanaJson };

struct FormatInfo {
  std::string_view name;
  KeyFormat format;
  std::optional<ChainType> family;  // none: any family
};

constexpr std::array<FormatInfo, 5> kFormats = {{
    {"hex", KeyFormat::Hex, std::nullopt},
    {"wif", KeyFormat::Wif, ChainType::Bitcoin},
    {"keystore", KeyFormat::Keystore, ChainType::Evm},
    {"solana-base58", KeyFormat::SolanaBase58, ChainType::Solana},
    {"solana-json", KeyFormat::SolanaJson, ChainType::Solana},
}};

// How a keystore with light key stretching is taken after all (import_wallet_key).
constexpr std::string_view kWeakKdfHint =
    "pass allow_weak_kdf=True (vek import-keystore --allow-weak-kdf) to import it; the wallet is stored under the "
    "vault's own parameters";

struct Target {
  FormatInfo format;
  vek_core::Chain chain;
};

// The format and the chain it is used for; a chain of another family than the format's is refused.
VekResult<Target> resolve_target(std::string_view format, OptText chain) {
  const auto f = std::find_if(kFormats.begin(), kFormats.end(), [&](const FormatInfo& i) { return i.name == format; });
  if (f == kFormats.end()) {
    return invalid("unsupported key format: " + std::string(format) +
                   " (use 'hex', 'wif', 'keystore', 'solana-base58' or 'solana-json')");
  }
  if (!chain) return Target{*f, vek_signer::default_chain_for_type(f->family.value_or(ChainType::Evm))};
  VEK_TRY(c, resolve_chain(*chain));
  if (f->family && *f->family != c->chain_type) {
    return invalid("key format '" + std::string(f->name) + "' is for " +
                   std::string(vek_core::chain_type_name(*f->family)) + " keys, not for '" + std::string(*chain) + "'");
  }
  return Target{*f, *c};
}

std::string_view trimmed(std::string_view s) {
  const auto space = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!s.empty() && space(s.front())) s.remove_prefix(1);
  while (!s.empty() && space(s.back())) s.remove_suffix(1);
  return s;
}

// A std::string holding key text, wiped when it goes.
struct WipedText {
  std::string text;
  WipedText() = default;
  explicit WipedText(std::string t) : text(std::move(t)) {}
  WipedText(const WipedText&) = delete;
  WipedText& operator=(const WipedText&) = delete;
  ~WipedText() { vek_signer::wipe_string(text); }
};

}  // namespace

std::vector<std::string_view> key_format_names(ChainType family) {
  std::vector<std::string_view> names;
  for (const FormatInfo& f : kFormats) {
    if (!f.family || *f.family == family) names.push_back(f.name);
  }
  return names;
}

VekResult<SecretBytes> stored_account_key(const vek_core::EncryptedWallet& wallet, const SecretBytes& plain,
                                          const vek_core::Chain& chain, std::string_view bip39) {
  const vek_signer::SignerPtr signer = vek_signer::signer_for_chain(chain);
  if (wallet.key_type == vek_core::KeyType::PrivateKey) {
    VEK_TRY(pair, parse_key_document(plain));
    return SecretBytes::from_slice((signer->curve() == Curve::Ed25519 ? pair->ed25519 : pair->secp256k1).span());
  }
  VEK_TRY(mnemonic, parse_mnemonic_secret(plain));
  const auto stored = stored_family_path(wallet, chain.chain_type);
  const std::string path = chain_account_path(chain, stored ? std::optional<std::string_view>(*stored) : std::nullopt);
  const SecretBytes seed = mnemonic->to_seed(bip39);
  return derive_account_key(seed.span(), path, signer->curve());
}

VekResult<SecretBytes> wallet_account_key(std::string_view name_or_id, const vek_core::Chain& chain,
                                          OptText passphrase, OptText vault, OptText bip39_passphrase) {
  VEK_TRY(wallet, load_wallet_by_name_or_id(name_or_id, vault));
  VEK_TRY(plain, decrypt_wallet(*wallet, passphrase));
  if (auto checked = check_stored_accounts(*wallet, *plain, bip39_passphrase); !checked) {
    return std::unexpected(std::move(checked.error()));
  }
  return stored_account_key(*wallet, *plain, chain, bip39_passphrase.value_or(""));
}

VekResult<WalletInfo> import_wallet_key(std::string_view name, std::string_view key, std::string_view format,
                                        OptText chain, OptText key_password, OptText passphrase, OptText vault,
                                        const std::function<bool()>& keep_going, bool allow_weak_kdf) {
  VEK_TRY(target, resolve_target(format, chain));
  // The key serves the chain's whole family, whose accounts live on its default chain.
  const std::string_view chain_id = vek_signer::default_chain_for_type(target->chain.chain_type).chain_id;
  key = trimmed(key);
  if (target->format.format == KeyFormat::Hex) {
    if (key.size() >= 2 && key[0] == '0' && key[1] == 'X') key.remove_prefix(2);
    return import_wallet_private_key(name, key, chain_id, passphrase, vault, std::nullopt, std::nullopt, Caller{});
  }
  // Checked before a keystore's key stretching, which takes a while.
  VEK_TRY(taken, wallet_name_exists(name, vault));
  if (*taken) return std::unexpected(VekLibError::wallet_name_exists(std::string(name)));

  const std::string reason_prefix = "invalid " + std::string(target->format.name) + " key: ";
  SecretBytes secret;
  switch (target->format.format) {
    case KeyFormat::Wif: {
      auto wif = vek_signer::wif_decode(key);
      if (!wif) return invalid(reason_prefix + wif.error());
      secret = std::move(wif->key);
      break;
    }
    case KeyFormat::Keystore: {
      const vek_signer::KeystoreLimits limits{allow_weak_kdf, kWeakKdfHint};
      auto opened = vek_signer::keystore_decrypt(key, key_password.value_or(""), limits);
      if (keep_going && !keep_going()) return std::unexpected(VekLibError::io_errno(EINTR));
      if (!opened) return std::unexpected(VekLibError(std::move(opened.error())));
      if (opened->address) {
        auto address = vek_signer::signer_for_chain(ChainType::Evm)->derive_address(opened->key.span());
        if (!address) return std::unexpected(VekLibError(std::move(address.error())));
        if (vek_core::ascii_lower(address->substr(2)) != vek_core::ascii_lower(*opened->address)) {
          return invalid("the keystore's address does not match its key");
        }
      }
      secret = std::move(opened->key);
      break;
    }
    case KeyFormat::SolanaBase58:
    case KeyFormat::SolanaJson: {
      const bool json = target->format.format == KeyFormat::SolanaJson;
      if (json != (!key.empty() && key.front() == '[')) {
        return invalid(reason_prefix + (json ? "not a JSON array of integers from 0 to 255"
                                             : "a JSON byte array; use the format 'solana-json'"));
      }
      auto pair = vek_signer::solana_keypair_decode(key);
      if (!pair) return invalid(reason_prefix + pair.error());
      secret = std::move(*pair);
      break;
    }
    case KeyFormat::Hex: break;
  }
  // The other curve's key is made at random there, and the wallet says so.
  const WipedText given(vek_signer::hex_encode(secret.span()));
  return import_wallet_private_key(name, given.text, chain_id, passphrase, vault, std::nullopt, std::nullopt, Caller{});
}

VekResult<std::string> export_key(std::string_view name_or_id, std::string_view chain, std::string_view format,
                                  OptText passphrase, OptText key_password, OptText vault, OptText bip39_passphrase) {
  VEK_TRY(target, resolve_target(format, chain));
  const ChainType family = target->chain.chain_type;
  VEK_TRY(key, wallet_account_key(name_or_id, target->chain, passphrase, vault, bip39_passphrase));
  switch (target->format.format) {
    case KeyFormat::Hex: return vek_signer::hex_encode(key->span());
    case KeyFormat::Wif: return vek_signer::wif_encode(key->span(), true, target->chain.testnet);
    case KeyFormat::Keystore: {
      auto address = vek_signer::signer_for_chain(family)->derive_address(key->span());
      if (!address) return std::unexpected(VekLibError(std::move(address.error())));
      auto doc = vek_signer::keystore_encrypt(key->span(), key_password.value_or(""), vek_core::ascii_lower(address->substr(2)));
      if (!doc) return std::unexpected(VekLibError(std::move(doc.error())));
      return std::move(*doc);
    }
    case KeyFormat::SolanaBase58:
    case KeyFormat::SolanaJson: {
      auto text = vek_signer::solana_keypair_encode(key->span(), target->format.format == KeyFormat::SolanaJson);
      if (!text) return invalid("invalid solana key: " + text.error());
      return std::move(*text);
    }
  }
  return invalid("unsupported key format: " + std::string(format));
}

}  // namespace vek_lib
