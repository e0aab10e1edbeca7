#include "message_formats.h"

#include <algorithm>
#include <array>

#include "raw_messages.h"

#include "vek/signer/chains.h"
#include "vek/signer/chains/bitcoin.h"
#include "vek/signer/chains/cosmos.h"
#include "vek/signer/chains/evm.h"
#include "vek/signer/chains/ton.h"
#include "vek/signer/ed25519_message_formats.h"
#include "vek/signer/eip712.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hex.h"
#include "vek/signer/public_key.h"
#include "vek/signer/verify.h"

namespace vek_lib {

using vek_core::ChainType;
using vek_signer::MessageSignature;

namespace {

std::unexpected<VekLibError> invalid(std::string text) {
  return std::unexpected(VekLibError::invalid_input(std::move(text)));
}

template <typename T>
VekResult<T> lifted(vek_signer::SignerResult<T> r) {
  if (!r) return std::unexpected(VekLibError(std::move(r.error())));
  return std::move(*r);
}

// The signer's own message signature (the layout of ops.h sign_message).
VekResult<MessageSignature> signer_message(const MessageSignRequest& r) {
  auto out = r.signer.sign_message(r.key, r.message);
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  return MessageSignature{std::move(out->signature), out->recovery_id, {}};
}

// The signer's own message signature, refused for bytes whose signature would authorise a
// transaction (raw_messages.h).
VekResult<MessageSignature> screened_message(const MessageSignRequest& r) {
  if (auto ok = screen_raw_message(r.signer.chain_type(), r.message); !ok) return std::unexpected(std::move(ok.error()));
  return signer_message(r);
}

// ---------------------------------------------------------------- EVM

bool is_evm_address(std::string_view a) {
  return a.size() == 42 && a[0] == '0' && (a[1] == 'x' || a[1] == 'X') &&
         std::all_of(a.begin() + 2, a.end(), [](char c) {
           return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
         });
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

using Digest = std::array<std::uint8_t, vek_signer::kKeccak256Bytes>;

VekResult<Digest> eip191_digest(std::span<const std::uint8_t> message) {
  return vek_signer::EvmSigner::personal_message_hash(message);
}

VekResult<Digest> eip712_digest(std::span<const std::uint8_t> message) {
  auto digest =
      vek_signer::typed_data_hash(std::string_view(reinterpret_cast<const char*>(message.data()), message.size()));
  if (!digest) return std::unexpected(VekLibError(digest.error()));
  return *digest;
}

VekResult<MessageSignature> eip712_sign(const MessageSignRequest& r) {
  auto digest = eip712_digest(r.message);
  if (!digest) return std::unexpected(std::move(digest.error()));
  auto out = r.signer.sign(r.key, *digest);
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  // Wallets return v as 27 or 28 for typed data, as for personal messages.
  const auto v = static_cast<std::uint8_t>(out->signature.back() + vek_signer::EvmSigner::kMessageVOffset);
  out->signature.back() = v;
  return MessageSignature{std::move(out->signature), v, {}};
}

// The signer of an EVM digest, with the signer's own error kept so that a signature of
// no key can be told apart.
template <VekResult<Digest> (*DigestOf)(std::span<const std::uint8_t>)>
VekResult<vek_signer::SignerResult<std::string>> evm_signer(const MessageCheck& c) {
  auto digest = DigestOf(c.message);
  if (!digest) return std::unexpected(std::move(digest.error()));
  return vek_signer::evm_recover_address(*digest, c.signature);
}

template <VekResult<Digest> (*DigestOf)(std::span<const std::uint8_t>)>
VekResult<std::string> evm_recover(const MessageCheck& c) {
  auto who = evm_signer<DigestOf>(c);
  if (!who) return std::unexpected(std::move(who.error()));
  return lifted(std::move(*who));
}

template <VekResult<Digest> (*DigestOf)(std::span<const std::uint8_t>)>
VekResult<bool> evm_verify(const MessageCheck& c) {
  if (!is_evm_address(c.address)) return invalid("invalid EVM address: '" + std::string(c.address) + "'");
  auto who = evm_signer<DigestOf>(c);
  if (!who) return std::unexpected(std::move(who.error()));
  if (!*who) {
    if (who->error().detail == vek_signer::kRecoversNoKey) return false;
    return std::unexpected(VekLibError(std::move(who->error())));
  }
  const std::string& signer = **who;
  return std::equal(signer.begin(), signer.end(), c.address.begin(), c.address.end(),
                    [](char a, char b) { return lower(a) == lower(b); });
}

// ---------------------------------------------------------------- Ed25519 families

VekResult<bool> solana_raw_verify(const MessageCheck& c) {
  return lifted(vek_signer::solana_verify(c.address, c.message, c.signature));
}

// An Ed25519 signature with the signer's public key, which TON verifiers need.
VekResult<MessageSignature> with_ed25519_key(const MessageSignRequest& r, vek_signer::SignerResult<vek_signer::SignOutput> out) {
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  auto key = vek_signer::public_key(vek_signer::Curve::Ed25519, r.key);
  if (!key) return std::unexpected(VekLibError(std::move(key.error())));
  return MessageSignature{std::move(out->signature), std::nullopt, std::move(*key)};
}

VekResult<MessageSignature> signature_only(vek_signer::SignerResult<vek_signer::SignOutput> out) {
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  return MessageSignature{std::move(out->signature), std::nullopt, {}};
}
VekResult<MessageSignature> offchain_sign(const MessageSignRequest& r) {
  return signature_only(vek_signer::solana_offchain_sign_legacy(r.key, r.message));
}
VekResult<MessageSignature> offchain_domain_sign(const MessageSignRequest& r) {
  return signature_only(vek_signer::solana_offchain_sign(r.key, r.message));
}
VekResult<bool> offchain_verify(const MessageCheck& c) {
  return lifted(vek_signer::solana_offchain_verify(c.address, c.message, c.signature));
}

// TON Connect binds the dApp's domain and the moment of signing.
struct Binding {
  std::string_view domain;
  std::uint64_t timestamp;
};

VekResult<Binding> binding(const MessageContext& c, std::string_view format) {
  if (!c.domain || !c.timestamp) {
    return invalid(std::string(format) + " signs for a dApp: give its domain and the Unix timestamp");
  }
  return Binding{*c.domain, *c.timestamp};
}

vek_signer::TonSignDataKind data_kind(const MessageContext& c) {
  return c.binary ? vek_signer::TonSignDataKind::Binary : vek_signer::TonSignDataKind::Text;
}

// The network whose wallet id a TON chain's wallet contract carries.
vek_signer::TonNetwork ton_network(bool testnet) {
  return testnet ? vek_signer::TonNetwork::Testnet : vek_signer::TonNetwork::Mainnet;
}
vek_signer::TonNetwork ton_network(const vek_signer::ChainSigner& signer) {
  return ton_network(static_cast<const vek_signer::TonSigner&>(signer).testnet());
}

VekResult<MessageSignature> ton_raw_sign(const MessageSignRequest& r) {
  auto out = screened_message(r);
  if (!out) return std::unexpected(std::move(out.error()));
  return with_ed25519_key(r, vek_signer::SignOutput{std::move(out->signature), std::nullopt});
}
VekResult<MessageSignature> ton_proof_sign(const MessageSignRequest& r) {
  auto b = binding(r.context, "ton_proof");
  if (!b) return std::unexpected(std::move(b.error()));
  return with_ed25519_key(r, vek_signer::ton_proof_sign(r.key, b->domain, b->timestamp, r.message, ton_network(r.signer)));
}
VekResult<MessageSignature> ton_sign_data_sign(const MessageSignRequest& r) {
  auto b = binding(r.context, "sign_data");
  if (!b) return std::unexpected(std::move(b.error()));
  return with_ed25519_key(r, vek_signer::ton_sign_data_sign(r.key, b->domain, b->timestamp, data_kind(r.context),
                                                            r.message, ton_network(r.signer)));
}

// The signer's public key for a TON check: 64 hex digits (0x optional) or base64 of 32 bytes.
VekResult<std::vector<std::uint8_t>> parse_ton_public_key(std::string_view text) {
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  if (text.size() == 64) {
    if (auto bytes = vek_signer::hex_decode(text)) return std::move(*bytes);
  } else if (auto bytes = vek_signer::base64_decode(text); bytes && bytes->size() == 32) {
    return std::move(*bytes);
  }
  return invalid("invalid TON public key: expected 64 hex digits or base64 of 32 bytes");
}

// The key a TON check uses and how it is bound to the address. A StateInit binds by its
// hash: an address that is not its hash is a false result (nullopt here), and a public
// key given beside it must be the one it holds. A bare public key must derive the address
// with this library's wallet contract on the chain's network.
struct TonKey {
  std::vector<std::uint8_t> key;
  vek_signer::TonKeyCheck check;
};
VekResult<std::optional<TonKey>> ton_key(const MessageCheck& c) {
  if (!c.context.state_init) {
    if (!c.context.public_key) {
      return invalid(
          "checking a TON signature needs the signer's public key or the wallet's state_init (a TON address does not "
          "reveal the key)");
    }
    auto key = parse_ton_public_key(*c.context.public_key);
    if (!key) return std::unexpected(std::move(key.error()));
    return TonKey{std::move(*key), vek_signer::TonKeyCheck::WalletContract};
  }
  auto boc = vek_signer::base64_decode(*c.context.state_init);
  if (!boc) return invalid("invalid state_init: not base64: " + boc.error().display());
  auto state = vek_signer::ton_parse_state_init(*boc);
  if (!state) return std::unexpected(VekLibError(std::move(state.error())));
  auto account = vek_signer::ton_parse_address(c.address);
  if (!account) return std::unexpected(VekLibError(std::move(account.error())));
  std::vector<std::uint8_t> key(state->public_key.begin(), state->public_key.end());
  if (c.context.public_key) {
    auto given = parse_ton_public_key(*c.context.public_key);
    if (!given) return std::unexpected(std::move(given.error()));
    if (*given != key) return std::optional<TonKey>{};
  }
  if (account->hash != state->hash) return std::optional<TonKey>{};
  return TonKey{std::move(key), vek_signer::TonKeyCheck::AsGiven};
}

// Runs `check(key, how, network)` with the key of the context; false when it binds no key.
template <typename Check>
VekResult<bool> with_ton_key(const MessageCheck& c, Check check) {
  auto key = ton_key(c);
  if (!key) return std::unexpected(std::move(key.error()));
  if (!*key) return false;
  return lifted(check((*key)->key, (*key)->check, ton_network(c.chain.testnet)));
}

VekResult<bool> ton_raw_verify(const MessageCheck& c) {
  return with_ton_key(c, [&](const auto& key, auto how, auto network) {
    return vek_signer::ton_raw_verify(c.address, key, c.message, c.signature, how, network);
  });
}
VekResult<bool> ton_proof_verify(const MessageCheck& c) {
  auto b = binding(c.context, "ton_proof");
  if (!b) return std::unexpected(std::move(b.error()));
  return with_ton_key(c, [&](const auto& key, auto how, auto network) {
    return vek_signer::ton_proof_verify(c.address, key, b->domain, b->timestamp, c.message, c.signature, how, network);
  });
}
VekResult<bool> ton_sign_data_verify(const MessageCheck& c) {
  auto b = binding(c.context, "sign_data");
  if (!b) return std::unexpected(std::move(b.error()));
  return with_ton_key(c, [&](const auto& key, auto how, auto network) {
    return vek_signer::ton_sign_data_verify(c.address, key, b->domain, b->timestamp, data_kind(c.context), c.message,
                                            c.signature, how, network);
  });
}

// ---------------------------------------------------------------- Bitcoin

// The bech32 prefix of the chain's addresses, as its signer writes them.
std::string address_prefix(const MessageCheck& c) {
  const auto signer = vek_signer::signer_for_chain(c.chain);
  if (c.chain.chain_type == ChainType::Bitcoin) return static_cast<const vek_signer::BitcoinSigner&>(*signer).hrp();
  return static_cast<const vek_signer::CosmosSigner&>(*signer).hrp();
}

VekResult<MessageSignature> bip322_sign(const MessageSignRequest& r) {
  return lifted(vek_signer::bip322_sign(r.key, r.message));
}
VekResult<bool> bip322_verify(const MessageCheck& c) {
  return lifted(vek_signer::bip322_verify(c.address, c.message, c.signature));
}
VekResult<MessageSignature> bip137_sign(const MessageSignRequest& r) {
  return lifted(vek_signer::bip137_sign(r.key, r.message));
}
VekResult<bool> bip137_verify(const MessageCheck& c) {
  return lifted(vek_signer::bip137_verify(c.address, c.message, c.signature));
}
VekResult<std::string> bip137_recover(const MessageCheck& c) {
  return lifted(vek_signer::bip137_recover_address(c.message, c.signature));
}
VekResult<bool> bitcoin_raw_verify(const MessageCheck& c) {
  return lifted(vek_signer::bitcoin_raw_verify(c.address, c.message, c.signature));
}
VekResult<std::string> bitcoin_raw_recover(const MessageCheck& c) {
  return lifted(vek_signer::bitcoin_raw_recover_address(c.message, c.signature, address_prefix(c)));
}

// ---------------------------------------------------------------- Cosmos

VekResult<MessageSignature> adr036_sign(const MessageSignRequest& r) {
  auto signer = r.signer.derive_address(r.key);
  if (!signer) return std::unexpected(VekLibError(std::move(signer.error())));
  return lifted(vek_signer::adr036_sign(r.key, *signer, r.message));
}
VekResult<bool> adr036_verify(const MessageCheck& c) {
  return lifted(vek_signer::adr036_verify(c.address, c.message, c.signature));
}
VekResult<bool> cosmos_raw_verify(const MessageCheck& c) {
  return lifted(vek_signer::cosmos_raw_verify(c.address, c.message, c.signature));
}
VekResult<std::string> cosmos_raw_recover(const MessageCheck& c) {
  return lifted(vek_signer::cosmos_raw_recover_address(c.message, c.signature, address_prefix(c)));
}

// ---------------------------------------------------------------- Tron

VekResult<MessageSignature> tip191_sign(const MessageSignRequest& r) {
  return lifted(vek_signer::tron_sign_message(r.key, r.message, true));
}
VekResult<bool> tron_verify(const MessageCheck& c) {
  return lifted(vek_signer::tron_verify_message(c.address, c.message, c.signature));
}
VekResult<std::string> tron_recover(const MessageCheck& c) {
  return lifted(vek_signer::tron_recover_address(c.message, c.signature));
}

// ---------------------------------------------------------------- the table

using enum SignatureText;

constexpr std::array kEvm{
    MessageFormat{"eip191", Hex, {}, signer_message, evm_verify<eip191_digest>, evm_recover<eip191_digest>},
    MessageFormat{"eip712", Hex, {}, eip712_sign, evm_verify<eip712_digest>, evm_recover<eip712_digest>},
};
constexpr std::array kSolana{
    MessageFormat{"raw", Hex, {}, screened_message, solana_raw_verify, nullptr},
    MessageFormat{"offchain", Base58, {}, offchain_sign, offchain_verify, nullptr},
    MessageFormat{"offchain_domain", Base58, {}, offchain_domain_sign, offchain_verify, nullptr},
};
constexpr std::array kBitcoin{
    MessageFormat{"bip322", Base64, {}, bip322_sign, bip322_verify, nullptr},
    MessageFormat{"bip137", Base64, {}, bip137_sign, bip137_verify, bip137_recover},
    MessageFormat{"raw", Hex, {}, signer_message, bitcoin_raw_verify, bitcoin_raw_recover},
};
constexpr std::array kCosmos{
    MessageFormat{"adr036", Base64, "tendermint/PubKeySecp256k1", adr036_sign, adr036_verify, nullptr},
    MessageFormat{"raw", Hex, {}, screened_message, cosmos_raw_verify, cosmos_raw_recover},
};
constexpr std::array kTron{
    MessageFormat{"tip191", Hex, {}, tip191_sign, tron_verify, tron_recover},
    MessageFormat{"raw", Hex, {}, signer_message, tron_verify, tron_recover},
};
constexpr std::array kTon{
    MessageFormat{"raw", Hex, "ed25519", ton_raw_sign, ton_raw_verify, nullptr},
    MessageFormat{"ton_proof", Base64, "ed25519", ton_proof_sign, ton_proof_verify, nullptr},
    MessageFormat{"sign_data", Base64, "ed25519", ton_sign_data_sign, ton_sign_data_verify, nullptr},
};

struct Family {
  ChainType type;
  std::string_view article;  // of the family's name
  std::string_view name;
  std::span<const MessageFormat> formats;
};

// In the order of the families' names in error texts.
constexpr std::array kFamilies{
    Family{ChainType::Evm, "an", "EVM", kEvm},           Family{ChainType::Solana, "a", "Solana", kSolana},
    Family{ChainType::Bitcoin, "a", "Bitcoin", kBitcoin}, Family{ChainType::Cosmos, "a", "Cosmos", kCosmos},
    Family{ChainType::Tron, "a", "Tron", kTron},         Family{ChainType::Ton, "a", "TON", kTon},
};

const Family& family_of(ChainType t) {
  return *std::find_if(kFamilies.begin(), kFamilies.end(), [t](const Family& f) { return f.type == t; });
}

// "a", "a or b", "a, b or c".
std::string or_list(const std::vector<std::string_view>& items) {
  std::string out;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) out += i + 1 == items.size() ? " or " : ", ";
    out += items[i];
  }
  return out;
}

std::string and_list(const std::vector<std::string_view>& items) {
  std::string out = or_list(items);
  const auto at = out.rfind(" or ");
  if (at != std::string::npos) out.replace(at, 4, " and ");
  return out;
}

template <typename Has>
std::vector<std::string_view> families_with(Has has) {
  std::vector<std::string_view> out;
  for (const auto& f : kFamilies) {
    if (std::any_of(f.formats.begin(), f.formats.end(), has)) out.push_back(f.name);
  }
  return out;
}

}  // namespace

std::span<const MessageFormat> message_formats(ChainType family) { return family_of(family).formats; }

VekResult<const MessageFormat*> find_message_format(ChainType family, OptText name) {
  const Family& f = family_of(family);
  if (!name) return &f.formats.front();
  for (const auto& format : f.formats) {
    if (format.name == *name) return &format;
  }
  std::vector<std::string_view> names;
  for (const auto& format : f.formats) names.push_back(format.name);
  return invalid("unknown format for " + std::string(f.article) + " " + std::string(f.name) + " chain: '" +
                 std::string(*name) + "' (use " + or_list(names) + ")");
}

VekResult<SignResult> sign_in_format(const MessageFormat& format, const MessageSignRequest& request) {
  auto out = format.sign(request);
  if (!out) return std::unexpected(std::move(out.error()));
  SignResult result;
  switch (format.text) {
    case Hex: result.signature = vek_signer::hex_encode(out->signature); break;
    case Base64: result.signature = vek_signer::base64_encode(out->signature); break;
    case Base58: result.signature = vek_signer::base58_encode(out->signature); break;
  }
  result.recovery_id = out->recovery_id;
  result.format = std::string(format.name);
  if (!format.public_key_type.empty()) {
    result.public_key_type = std::string(format.public_key_type);
    result.public_key = vek_signer::base64_encode(out->public_key);
  }
  return result;
}

VekResult<std::vector<std::uint8_t>> decode_signature_text(const MessageFormat& format, std::string_view text) {
  if (format.text == Base64) {
    auto bytes = vek_signer::base64_decode(text);
    if (!bytes) return invalid("invalid base64 signature: " + bytes.error().display());
    return std::move(*bytes);
  }
  if (format.text == Base58) {
    auto bytes = vek_signer::base58_decode(text);
    if (!bytes) return invalid("invalid base58 signature: " + bytes.error().display());
    return std::move(*bytes);
  }
  if (text.starts_with("0x") || text.starts_with("0X")) text.remove_prefix(2);
  auto bytes = vek_signer::hex_decode(text);
  if (!bytes) return invalid("invalid hex signature: " + bytes.error());
  return std::move(*bytes);
}

VekLibError no_checks(ChainType family) {
  const auto names = families_with([](const MessageFormat& f) { return f.verify != nullptr; });
  return VekLibError::invalid_input("signature checks cover " + and_list(names) + " chains only, not " +
                                    std::string(vek_core::chain_type_name(family)));
}

VekLibError no_recovery(ChainType family, const MessageFormat& format) {
  const Family& f = family_of(family);
  std::vector<std::string_view> recoverable;
  for (const auto& each : f.formats) {
    if (each.recover != nullptr) recoverable.push_back(each.name);
  }
  if (recoverable.empty()) {
    const auto names = families_with([](const MessageFormat& m) { return m.recover != nullptr; });
    return VekLibError::invalid_input("recovering the signer covers " + and_list(names) + " chains only, not " +
                                      std::string(vek_core::chain_type_name(family)));
  }
  return VekLibError::invalid_input("the signer of a " + std::string(format.name) +
                                    " signature cannot be recovered; verify it against an address (formats of " +
                                    std::string(f.name) + " that allow recovery: " + and_list(recoverable) + ")");
}

}  // namespace vek_lib
