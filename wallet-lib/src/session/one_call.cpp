// The one-call signing operations: each opens its wallet as a Session and signs through it.
#include <charconv>
#include <memory>
#include <string>
#include <utility>

#include "refusal.h"
#include "vek/signer/chains.h"
#include "vek/core/ascii.h"
#include "vek/core/json_reader.h"
#include "vek/core/wallet_file.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/session.h"
#include "vek/lib/signing.h"
#include "vek/lib/vault.h"
#include "vek/signer/hex.h"

namespace vek_lib {
namespace {

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

// The wallet `wallet_ref` opened for signing for `family` at its default paths, after
// the refusals signing.h describes (named after `caller`).
VekResult<std::unique_ptr<Session>> open_for_signing(std::string_view wallet_ref, vek_core::ChainType family,
                                                     OptText passphrase, OptText vault, const Caller& caller) {
  VEK_TRY(wallet, load_wallet_by_name_or_id(wallet_ref, vault));
  const auto refusal = [&](std::string what) {
    std::string text = "wallet '";
    text.append(vek_core::json_text::one_line(wallet->name)).append("' ").append(what).append(", which ");
    return text;
  };
  // These operations take no BIP-39 passphrase, so they cannot reach the keys such a wallet lists.
  if (wallet->bip39_passphrase) {
    std::string text = refusal("is protected by a BIP-39 passphrase");
    text.append(caller.name).append(" cannot take; sign with ").append(caller.instead);
    return invalid(std::move(text));
  }
  VEK_TRY(session, Session::open(*wallet, passphrase, vault));
  // They derive the family's default paths only: a wallet that shows another account for
  // the family (imported at another path) is not signed for here.
  if (wallet->key_type == vek_core::KeyType::Mnemonic) {
    const auto stored = stored_family_path(*wallet, family);
    if (stored && !is_default_path(*stored, vek_signer::default_chain_for_type(family))) {
      std::string text = refusal("stores its " + std::string(vek_core::chain_type_name(family)) +
                                 " account at derivation path " + vek_core::json_text::one_line(*stored));
      text.append(caller.name).append(" does not derive; sign with ").append(caller.instead);
      return invalid(std::move(text));
    }
  }
  return session;
}

}  // namespace

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

VekResult<std::vector<std::uint8_t>> decode_transaction_hex(std::string_view tx_hex) {
  auto bytes = vek_signer::hex_decode(vek_core::without_0x(tx_hex, vek_core::HexPrefix::LowerOnly));
  if (!bytes) return invalid("invalid hex transaction: " + bytes.error());
  return std::move(*bytes);
}

VekResult<SignResult> sign_message(std::string_view wallet, std::string_view chain, std::string_view message,
                                   OptText passphrase, OptText encoding, OptIndex index, OptText vault,
                                   const Caller& caller) {
  VEK_TRY(c, resolve_chain(chain, caller));
  std::vector<std::uint8_t> decoded;
  VEK_TRY(bytes, message_bytes(message, encoding, decoded));
  VEK_TRY(session, open_for_signing(wallet, c->chain_type, passphrase, vault, caller));
  return (*session)->sign_family_message(*c, *bytes, index.value_or(0));
}

VekResult<SignResult> sign_transaction(std::string_view wallet, std::string_view chain, std::string_view tx_hex,
                                       OptText passphrase, OptIndex index, OptText vault, const Caller& caller) {
  VEK_TRY(c, resolve_chain(chain, caller));
  VEK_TRY(tx, decode_transaction_hex(tx_hex));
  VEK_TRY(session, open_for_signing(wallet, c->chain_type, passphrase, vault, caller));
  VEK_TRY(signed_tx, (*session)->sign_transaction(*c, *tx, index.value_or(0), TxForm::AsGiven));
  return std::move(signed_tx->signature);
}

VekResult<std::string> sign_and_send(std::string_view wallet, std::string_view chain, std::string_view tx_hex,
                                     OptText passphrase, OptIndex index, OptText rpc_url, OptText vault,
                                     const Caller& caller) {
  VEK_TRY(c, resolve_chain(chain, caller));
  VEK_TRY(tx, decode_transaction_hex(tx_hex));
  std::vector<std::uint8_t> signed_tx;
  {
    VEK_TRY(session, open_for_signing(wallet, c->chain_type, passphrase, vault, caller));
    VEK_TRY(out, (*session)->assemble(*c, *tx, index.value_or(0), TxForm::Assembled));
    signed_tx = std::move(out->signed_tx);
  }  // the session is closed here: none of the key stays in memory while the node is awaited
  return send_signed(*c, signed_tx, rpc_url);
}

VekResult<std::string> broadcast(const vek_core::Chain& chain, std::span<const std::uint8_t> signed_tx,
                                 OptText rpc_url, const CallLimits& limits) {
  return submit_signed(chain, signed_tx, rpc_url, limits);
}

VekResult<std::string> broadcast(std::string_view chain, std::span<const std::uint8_t> signed_tx, OptText rpc_url,
                                 const CallLimits& limits) {
  VEK_TRY(c, resolve_chain(chain));
  return submit_signed(*c, signed_tx, rpc_url, limits);
}

}  // namespace vek_lib
