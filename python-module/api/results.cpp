// The result types: what the vault and a session return (public data, and signatures).
#include <nanobind/stl/map.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/vector.h>

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "bindings.h"
#include "errors.h"
#include "lists.h"
#include "values.h"
#include "vek/lib/session.h"
#include "vek/lib/types.h"
#include "vek/lib/wallets.h"
#include "vek/signer/chains.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::AccountInfo;
using vek_lib::SignedTransaction;
using vek_lib::SignResult;
using vek_lib::WalletInfo;

// adr036 and TON results name the signer's key; the others have none.
std::optional<std::map<std::string, std::string>> signer_key(const SignResult& r) {
  if (!r.public_key) return std::nullopt;
  return std::map<std::string, std::string>{{"type", r.public_key_type.value_or("")}, {"value", *r.public_key}};
}

constexpr const char* kWalletAddressDoc =
    "The stored account's address on `chain`, from the stored address alone (no passphrase):\n"
    "the account's own on its chain and on every chain that writes the same key's address alike\n"
    "(all EVM chains, Solana's networks, Tron), under the chain's bech32 prefix on the other\n"
    "Bitcoin and Cosmos chains.\n\n"
    "Raises:\n    InvalidInputError: unknown chain; a family the wallet stores no account of; a chain\n"
    "        whose address the stored one does not give (a mnemonic wallet signs with another\n"
    "        key on a chain of another coin type: bitcoin-testnet, bitcoin-signet, secret,\n"
    "        kava; TON's test network has another wallet contract): Session.address(chain)\n"
    "        derives it.";

// The family of a stored account's chain ("" for a chain id the table does not know,
// which a wallet file cannot hold).
std::string_view account_family(const AccountInfo& a) {
  auto chain = vek_signer::parse_chain(a.chain_id);
  return chain ? vek_core::chain_type_name(chain->chain_type) : std::string_view();
}

std::string wallet_address(const WalletInfo& w, const nb::str& chain) {
  return take(vek_lib::stored_address(w, text(chain)));
}

void bind_accounts(nb::module_& m) {
  nb::class_<vek_lib::AccountInfo> account(m, "Account", "One account of a wallet (public data only).");
  account.def_ro("chain_id", &vek_lib::AccountInfo::chain_id, "The CAIP-2 id of the family's default chain.")
      .def_ro("address", &vek_lib::AccountInfo::address, "The address, as the chain writes it.")
      .def_ro("derivation_path", &vek_lib::AccountInfo::derivation_path,
              "The derivation path of the account's key; empty for a private-key wallet.");
  account.def_prop_ro("family", &account_family, kept("The account's chain family: " + family_names() + "."));
  value_methods(account, "Account", {"chain_id", "family", "address", "derivation_path"});
  state_methods(account, &AccountInfo::chain_id, &AccountInfo::address, &AccountInfo::derivation_path);

  nb::class_<vek_lib::WalletInfo> wallet(m, "Wallet", "A stored wallet (public data only).");
  wallet.def_ro("id", &vek_lib::WalletInfo::id, "The wallet's id (a version-4 UUID).")
      .def_ro("name", &vek_lib::WalletInfo::name, "The wallet's name.")
      .def_ro("accounts", &vek_lib::WalletInfo::accounts,
              "One account per chain family: evm, solana, bitcoin, cosmos, tron, ton.")
      .def_ro("created_at", &vek_lib::WalletInfo::created_at, "When the wallet was created (RFC 3339, UTC).")
      .def_ro("bip39_passphrase", &vek_lib::WalletInfo::bip39_passphrase,
              "Whether the accounts come from the phrase under a BIP-39 passphrase (not stored; unlock needs it).")
      .def_ro("generated_keys", &vek_lib::WalletInfo::generated_keys,
              "The curves whose key the import made at random, e.g. [\"ed25519\"]: only one curve's key was given.");
  wallet.def("address", &wallet_address, "chain"_a, kWalletAddressDoc);
  value_methods(wallet, "Wallet", {"id", "name", "accounts", "created_at", "bip39_passphrase", "generated_keys"});
  state_methods(wallet, &WalletInfo::id, &WalletInfo::name, &WalletInfo::accounts, &WalletInfo::created_at,
                &WalletInfo::bip39_passphrase, &WalletInfo::generated_keys);
}

void bind_signatures(nb::module_& m) {
  nb::class_<SignResult> signature(m, "Signature", "A signed message.");
  signature
      .def_ro("signature", &SignResult::signature,
              "The signature as its format writes it: base64 for bip322 (the serialised witness), bip137\n"
              "(header || r || s) and adr036 (r || s); \"0x\" and lower-case hex for EVM (eip191, eip712),\n"
              "as EVM libraries write it; lower-case hex for the others.")
      .def_ro("recovery_id", &SignResult::recovery_id,
              "The recovery byte the signature carries (eip191, eip712 and tip191: v, 27 or 28; bip137: the\n"
              "header; raw: 0 or 1), None where the format has none.")
      .def_ro("format", &SignResult::format, kept("The message format: " + all_message_formats() + "."))
      .def_prop_ro("public_key", &signer_key,
                   "adr036: the signer's public key as Cosmos wallets return it,\n"
                   "{\"type\": \"tendermint/PubKeySecp256k1\", \"value\": base64 of the compressed key}; TON:\n"
                   "{\"type\": \"ed25519\", \"value\": base64 of the key}; otherwise None.");
  value_methods(signature, "Signature", {"signature", "recovery_id", "format", "public_key"});
  state_methods(signature, &SignResult::signature, &SignResult::recovery_id, &SignResult::format,
                &SignResult::public_key_type, &SignResult::public_key);

  nb::class_<SignedTransaction> signed_tx(m, "SignedTransaction", "A signed transaction.");
  signed_tx
      .def_prop_ro(
          "signature", [](const SignedTransaction& t) { return t.signature.signature; },
          "The signature in lower-case hex; EVM: \"0x\" and r || s || y-parity (65 bytes) in hex.")
      .def_prop_ro(
          "recovery_id", [](const SignedTransaction& t) { return t.signature.recovery_id; },
          "The recovery id, None where the chain has none.")
      .def_ro("raw_transaction", &SignedTransaction::raw_transaction,
              "EVM: the signed transaction, \"0x\" and lower-case hex, ready for eth_sendRawTransaction.\n"
              "Solana: the whole transaction with the wallet's signature in its slot and the other slots\n"
              "as given, lower-case hex without \"0x\" (None for a message signed alone). None for other\n"
              "chains.")
      .def_ro("tx_hash", &SignedTransaction::tx_hash,
              "EVM: the transaction hash, \"0x\" and the Keccak-256 of raw_transaction in hex. Solana: the\n"
              "base58 of the first signature, once that slot is filled. None for other chains.");
  value_methods(signed_tx, "SignedTransaction", {"signature", "recovery_id", "raw_transaction", "tx_hash"});
  state_methods(signed_tx, &SignedTransaction::signature, &SignedTransaction::raw_transaction,
                &SignedTransaction::tx_hash);
}

}  // namespace

void bind_results(nb::module_& m) {
  bind_accounts(m);
  bind_signatures(m);
}

}  // namespace vek_api
