// The function table: one row per Python function, each with its docstring,
// parameters and the call of one wallet operation.
#include <array>

#include "binding.h"
#include "conversions.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/ops.h"

namespace vek_py {
namespace {

using P = Param;
using K = ParamKind;

// The chains vek._native takes, and where its refusals send the user.
constexpr std::string_view kNativeChains[] = {"ethereum", "polygon", "arbitrum", "optimism", "base",   "bsc",
                                              "avalanche", "solana", "bitcoin",  "cosmos",   "tron", "ton"};
constexpr vek_lib::Caller kNative{kNativeChains, "vek._native", "vek.Vault.unlock"};

// Runs an operation's result through a result conversion, or raises its error.
template <typename T, typename F>
PyObject* finish(const vek_lib::VekResult<T>& result, F&& to_python) {
  if (!result) return map_err(result.error());
  if constexpr (std::is_void_v<T>) {
    return to_python();
  } else {
    return to_python(*result);
  }
}

PyObject* none() { Py_RETURN_NONE; }

// Texts that carry a secret back to the caller are wiped once Python has its copy.
PyObject* secret_str(std::string& text) {
  PyObject* out = str_result(text);
  vek_signer::wipe_string(text);
  return out;
}

constexpr P kGenerateMnemonic[] = {{"words", K::IntDefault12}};
PyObject* generate_mnemonic_impl(const Args& a) {
  auto r = vek_lib::generate_mnemonic(a.int_or(0, 12));
  if (!r) return map_err(r.error());
  return secret_str(*r);
}

constexpr P kDeriveAddress[] = {{"mnemonic", K::Text}, {"chain", K::Text}, {"index", K::OptInt}};
PyObject* derive_address_impl(const Args& a) {
  return finish(vek_lib::derive_address(a.str(0), a.str(1), a.opt_int(2), std::nullopt, kNative), str_result);
}

constexpr P kCreateWallet[] = {
    {"name", K::Text}, {"passphrase", K::OptText}, {"words", K::OptInt}, {"vault_path_opt", K::OptText}};
PyObject* create_wallet_impl(const Args& a) {
  return finish(vek_lib::create_wallet(a.str(0), a.opt_int(2), a.opt_str(1), a.opt_str(3)), wallet_info_to_dict);
}

constexpr P kImportMnemonic[] = {{"name", K::Text},
                                 {"mnemonic", K::Text},
                                 {"passphrase", K::OptText},
                                 {"index", K::OptInt},
                                 {"vault_path_opt", K::OptText}};
PyObject* import_wallet_mnemonic_impl(const Args& a) {
  return finish(vek_lib::import_wallet_mnemonic(a.str(0), a.str(1), a.opt_str(2), a.opt_int(3), a.opt_str(4)),
                wallet_info_to_dict);
}

constexpr P kImportPrivateKey[] = {{"name", K::Text},           {"private_key_hex", K::Text},
                                   {"chain", K::OptText},       {"passphrase", K::OptText},
                                   {"vault_path_opt", K::OptText}, {"secp256k1_key", K::OptText},
                                   {"ed25519_key", K::OptText}};
PyObject* import_wallet_private_key_impl(const Args& a) {
  return finish(vek_lib::import_wallet_private_key(a.str(0), a.str(1), a.opt_str(2), a.opt_str(3), a.opt_str(4),
                                                   a.opt_str(5), a.opt_str(6), kNative),
                wallet_info_to_dict);
}

constexpr P kListWallets[] = {{"vault_path_opt", K::OptText}};
PyObject* list_wallets_impl(const Args& a) { return finish(vek_lib::list_wallets(a.opt_str(0)), wallet_list); }

constexpr P kNameOrIdVault[] = {{"name_or_id", K::Text}, {"vault_path_opt", K::OptText}};
PyObject* get_wallet_impl(const Args& a) {
  return finish(vek_lib::get_wallet(a.str(0), a.opt_str(1)), wallet_info_to_dict);
}
PyObject* delete_wallet_impl(const Args& a) { return finish(vek_lib::delete_wallet(a.str(0), a.opt_str(1)), none); }

constexpr P kExportWallet[] = {{"name_or_id", K::Text}, {"passphrase", K::OptText}, {"vault_path_opt", K::OptText}};
PyObject* export_wallet_impl(const Args& a) {
  auto r = vek_lib::export_wallet(a.str(0), a.opt_str(1), a.opt_str(2));
  if (!r) return map_err(r.error());
  return secret_str(*r);
}

constexpr P kRenameWallet[] = {{"name_or_id", K::Text}, {"new_name", K::Text}, {"vault_path_opt", K::OptText}};
PyObject* rename_wallet_impl(const Args& a) {
  return finish(vek_lib::rename_wallet(a.str(0), a.str(1), a.opt_str(2)), none);
}

constexpr P kSignTransaction[] = {{"wallet", K::Text},      {"chain", K::Text}, {"tx_hex", K::Text},
                                  {"passphrase", K::OptText}, {"index", K::OptInt}, {"vault_path_opt", K::OptText}};
PyObject* sign_transaction_impl(const Args& a) {
  return finish(vek_lib::sign_transaction(a.str(0), a.str(1), a.str(2), a.opt_str(3), a.opt_int(4), a.opt_str(5), kNative),
                sign_result_to_dict);
}

constexpr P kSignMessage[] = {{"wallet", K::Text},     {"chain", K::Text},    {"message", K::Text},
                              {"passphrase", K::OptText}, {"encoding", K::OptText}, {"index", K::OptInt},
                              {"vault_path_opt", K::OptText}};
PyObject* sign_message_impl(const Args& a) {
  return finish(vek_lib::sign_message(a.str(0), a.str(1), a.str(2), a.opt_str(3), a.opt_str(4), a.opt_int(5),
                                      a.opt_str(6), kNative),
                sign_result_to_dict);
}

constexpr P kSignAndSend[] = {{"wallet", K::Text},     {"chain", K::Text},  {"tx_hex", K::Text},
                              {"passphrase", K::OptText}, {"index", K::OptInt}, {"rpc_url", K::OptText},
                              {"vault_path_opt", K::OptText}};
// The interpreter lock stays held while curl runs, so signals are let through from the
// wait itself: Python-level handlers run here, and one that raises (Ctrl-C's
// KeyboardInterrupt, an alarm's exception) ends curl.
bool python_signals_let_wait() { return PyErr_CheckSignals() == 0; }

PyObject* sign_and_send_impl(const Args& a) {
  const vek_lib::ScopedBroadcastCheck signals(python_signals_let_wait);
  auto result = vek_lib::sign_and_send(a.str(0), a.str(1), a.str(2), a.opt_str(3), a.opt_int(4), a.opt_str(5),
                                       a.opt_str(6), kNative);
  // The handler's exception, rather than the wait's "interrupted", is what the caller sees.
  if (!result && PyErr_Occurred() != nullptr) return nullptr;
  return finish(result, broadcast_result_to_dict);
}

constexpr FunctionRow kTable[] = {
    {"generate_mnemonic", "generate_mnemonic(words=12)\n--\n\nGenerate a new BIP-39 mnemonic phrase.",
     kGenerateMnemonic, 0, generate_mnemonic_impl},
    {"derive_address",
     "derive_address(mnemonic, chain, index=None)\n--\n\nDerive an address from a mnemonic for the given chain.",
     kDeriveAddress, 2, derive_address_impl},
    {"create_wallet",
     "create_wallet(name, passphrase=None, words=None, vault_path_opt=None)\n--\n\n"
     "Create a new universal wallet (derives addresses for all chains).",
     kCreateWallet, 1, create_wallet_impl},
    {"import_wallet_mnemonic",
     "import_wallet_mnemonic(name, mnemonic, passphrase=None, index=None, vault_path_opt=None)\n--\n\n"
     "Import a wallet from a mnemonic phrase (derives addresses for all chains).",
     kImportMnemonic, 2, import_wallet_mnemonic_impl},
    {"import_wallet_private_key",
     "import_wallet_private_key(name, private_key_hex, chain=None, passphrase=None, vault_path_opt=None, "
     "secp256k1_key=None, ed25519_key=None)\n--\n\n"
     "Import a wallet from a hex-encoded private key (derives addresses for all chains).\n"
     "Optionally specify explicit keys per curve via `secp256k1_key` and `ed25519_key`.",
     kImportPrivateKey, 2, import_wallet_private_key_impl},
    {"list_wallets", "list_wallets(vault_path_opt=None)\n--\n\nList all wallets in the vault.", kListWallets, 0,
     list_wallets_impl},
    {"get_wallet", "get_wallet(name_or_id, vault_path_opt=None)\n--\n\nGet a single wallet by name or ID.",
     kNameOrIdVault, 1, get_wallet_impl},
    {"delete_wallet", "delete_wallet(name_or_id, vault_path_opt=None)\n--\n\nDelete a wallet from the vault.",
     kNameOrIdVault, 1, delete_wallet_impl},
    {"export_wallet",
     "export_wallet(name_or_id, passphrase=None, vault_path_opt=None)\n--\n\n"
     "Export a wallet's secret (mnemonic or private key).",
     kExportWallet, 1, export_wallet_impl},
    {"rename_wallet", "rename_wallet(name_or_id, new_name, vault_path_opt=None)\n--\n\nRename a wallet.",
     kRenameWallet, 2, rename_wallet_impl},
    {"sign_transaction",
     "sign_transaction(wallet, chain, tx_hex, passphrase=None, index=None, vault_path_opt=None)\n--\n\n"
     "Sign a transaction.",
     kSignTransaction, 3, sign_transaction_impl},
    {"sign_message",
     "sign_message(wallet, chain, message, passphrase=None, encoding=None, index=None, vault_path_opt=None)\n--\n\n"
     "Sign a message.",
     kSignMessage, 3, sign_message_impl},
    {"sign_and_send",
     "sign_and_send(wallet, chain, tx_hex, passphrase=None, index=None, rpc_url=None, vault_path_opt=None)\n--\n\n"
     "Sign and broadcast a transaction.",
     kSignAndSend, 3, sign_and_send_impl},
};

}  // namespace

std::span<const FunctionRow> function_table() { return kTable; }

}  // namespace vek_py
