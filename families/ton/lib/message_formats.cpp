// The TON family's message formats: raw bytes, and TON Connect's ton_proof and sign_data.
#include "message_formats.h"

#include <optional>
#include <vector>

#include "ton/family.h"
#include "ton/signer.h"
#include "vek/signer/ed25519_message_formats.h"
#include "vek/signer/encoding.h"
#include "vek/signer/hex.h"
#include "vek/signer/public_key.h"

namespace vek_lib {
namespace {

using namespace formats;
using vek_signer::MessageSignature;

// An Ed25519 signature with the signer's public key, which TON verifiers need.
VekResult<MessageSignature> with_ed25519_key(const MessageSignRequest& r, vek_signer::SignerResult<vek_signer::SignOutput> out) {
  if (!out) return std::unexpected(VekLibError(std::move(out.error())));
  auto key = vek_signer::public_key(vek_signer::Curve::Ed25519, r.key);
  if (!key) return std::unexpected(VekLibError(std::move(key.error())));
  return MessageSignature{std::move(out->signature), std::nullopt, std::move(*key)};
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
  VEK_TRY(out, screened_message(r));
  return with_ed25519_key(r, vek_signer::SignOutput{std::move(out->signature), std::nullopt});
}
VekResult<MessageSignature> ton_proof_sign(const MessageSignRequest& r) {
  VEK_TRY(b, binding(r.context, "ton_proof"));
  return with_ed25519_key(r, vek_signer::ton_proof_sign(r.key, b->domain, b->timestamp, r.message, ton_network(r.signer)));
}
VekResult<MessageSignature> ton_sign_data_sign(const MessageSignRequest& r) {
  VEK_TRY(b, binding(r.context, "sign_data"));
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
    VEK_TRY(key, parse_ton_public_key(*c.context.public_key));
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
    VEK_TRY(given, parse_ton_public_key(*c.context.public_key));
    if (*given != key) return std::optional<TonKey>{};
  }
  if (account->hash != state->hash) return std::optional<TonKey>{};
  return TonKey{std::move(key), vek_signer::TonKeyCheck::AsGiven};
}

// Runs `check(key, how, network)` with the key of the context; false when it binds no key.
template <typename Check>
VekResult<bool> with_ton_key(const MessageCheck& c, Check check) {
  VEK_TRY(key, ton_key(c));
  if (!*key) return false;
  return lifted(check((*key)->key, (*key)->check, ton_network(c.chain.testnet)));
}

VekResult<bool> ton_raw_verify(const MessageCheck& c) {
  return with_ton_key(c, [&](const auto& key, auto how, auto network) {
    return vek_signer::ton_raw_verify(c.address, key, c.message, c.signature, how, network);
  });
}
VekResult<bool> ton_proof_verify(const MessageCheck& c) {
  VEK_TRY(b, binding(c.context, "ton_proof"));
  return with_ton_key(c, [&](const auto& key, auto how, auto network) {
    return vek_signer::ton_proof_verify(c.address, key, b->domain, b->timestamp, c.message, c.signature, how, network);
  });
}
VekResult<bool> ton_sign_data_verify(const MessageCheck& c) {
  VEK_TRY(b, binding(c.context, "sign_data"));
  return with_ton_key(c, [&](const auto& key, auto how, auto network) {
    return vek_signer::ton_sign_data_verify(c.address, key, b->domain, b->timestamp, data_kind(c.context), c.message,
                                            c.signature, how, network);
  });
}

using enum SignatureText;

constexpr std::array kFormats{
    MessageFormat{vek_signer::kTonMessageFormats[0], Hex, "ed25519", ton_raw_sign, ton_raw_verify, nullptr},
    MessageFormat{vek_signer::kTonMessageFormats[1], Base64, "ed25519", ton_proof_sign, ton_proof_verify, nullptr},
    MessageFormat{vek_signer::kTonMessageFormats[2], Base64, "ed25519", ton_sign_data_sign, ton_sign_data_verify, nullptr},
};

}  // namespace

std::span<const MessageFormat> ton_message_formats() noexcept { return kFormats; }

}  // namespace vek_lib
