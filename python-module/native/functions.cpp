// The thirteen functions of vek._native, in table order: each converts its arguments
// (args.h), calls one wallet operation with the interpreter lock held, and builds its
// result (results.h) or raises the operation's error as RuntimeError.
#include "functions.h"

#include <array>
#include <string_view>

#include "adaptor.h"
#include "interop.h"
#include "results.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/caller.h"
#include "vek/lib/ops.h"

namespace vek_native {
namespace {

// The chains this module knows and how the library's refusals name it.
constexpr vek_lib::Caller kCaller{vek_py::kNativeChains, "vek._native", "vek.Vault.unlock"};

nb::object text_result(vek_lib::VekResult<std::string>&& result) { return vek_py::str_of(value_or_raise(std::move(result))); }
nb::object secret_result(vek_lib::VekResult<std::string>&& result) {
  return vek_py::secret_str(value_or_raise(std::move(result)));
}
nb::object wallet_result(vek_lib::VekResult<vek_lib::WalletInfo>&& result) {
  return wallet_dict(value_or_raise(std::move(result)));
}
nb::object none_result(vek_lib::VekResult<void>&& result) {
  value_or_raise(std::move(result));
  return nb::none();
}

nb::object generate_mnemonic(WordCount words) { return secret_result(vek_lib::generate_mnemonic(words.value)); }

nb::object derive_address(Text mnemonic, Text chain, OptIndex index) {
  return text_result(vek_lib::derive_address(mnemonic, chain, index, std::nullopt, kCaller));
}

nb::object create_wallet(Text name, OptText passphrase, OptIndex words, OptText vault) {
  return wallet_result(vek_lib::create_wallet(name, words, passphrase, vault));
}

nb::object import_wallet_mnemonic(Text name, Text mnemonic, OptText passphrase, OptIndex index, OptText vault) {
  return wallet_result(vek_lib::import_wallet_mnemonic(name, mnemonic, passphrase, index, vault));
}

nb::object import_wallet_private_key(Text name, Text key_hex, OptText chain, OptText passphrase, OptText vault,
                                     OptText secp256k1_key, OptText ed25519_key) {
  return wallet_result(vek_lib::import_wallet_private_key(name, key_hex, chain, passphrase, vault, secp256k1_key,
                                                          ed25519_key, kCaller));
}

nb::object list_wallets(OptText vault) { return wallet_list(value_or_raise(vek_lib::list_wallets(vault))); }

nb::object get_wallet(Text name_or_id, OptText vault) { return wallet_result(vek_lib::get_wallet(name_or_id, vault)); }

nb::object delete_wallet(Text name_or_id, OptText vault) { return none_result(vek_lib::delete_wallet(name_or_id, vault)); }

nb::object export_wallet(Text name_or_id, OptText passphrase, OptText vault) {
  return secret_result(vek_lib::export_wallet(name_or_id, passphrase, vault));
}

nb::object rename_wallet(Text name_or_id, Text new_name, OptText vault) {
  return none_result(vek_lib::rename_wallet(name_or_id, new_name, vault));
}

nb::object sign_transaction(Text wallet, Text chain, Text tx_hex, OptText passphrase, OptIndex index, OptText vault) {
  return sign_dict(value_or_raise(vek_lib::sign_transaction(wallet, chain, tx_hex, passphrase, index, vault, kCaller)));
}

nb::object sign_message(Text wallet, Text chain, Text message, OptText passphrase, OptText encoding, OptIndex index,
                        OptText vault) {
  return sign_dict(
      value_or_raise(vek_lib::sign_message(wallet, chain, message, passphrase, encoding, index, vault, kCaller)));
}

// The interpreter lock stays held while curl runs, so signals are let through from the
// wait itself: Python-level handlers run there, and one that raises (Ctrl-C's
// KeyboardInterrupt, an alarm's exception) ends curl. That exception, rather than the
// wait's "interrupted", is what the caller sees.
nb::object sign_and_send(Text wallet, Text chain, Text tx_hex, OptText passphrase, OptIndex index, OptText rpc_url,
                         OptText vault) {
  const vek_lib::ScopedBroadcastCheck signals(vek_py::python_signals_let_wait);
  auto result = vek_lib::sign_and_send(wallet, chain, tx_hex, passphrase, index, rpc_url, vault, kCaller);
  if (!result && PyErr_Occurred() != nullptr) throw nb::python_error();
  return broadcast_dict(value_or_raise(std::move(result)));
}

}  // namespace

void add_functions(nb::module_& m) {
  add_function<generate_mnemonic>(m, "generate_mnemonic", {"words"}, "Generate a new BIP-39 mnemonic phrase.");
  add_function<derive_address>(m, "derive_address", {"mnemonic", "chain", "index"},
                               "Derive an address from a mnemonic for the given chain.");
  add_function<create_wallet>(m, "create_wallet", {"name", "passphrase", "words", "vault_path_opt"},
                              "Create a new universal wallet (derives addresses for all chains).");
  add_function<import_wallet_mnemonic>(m, "import_wallet_mnemonic",
                                       {"name", "mnemonic", "passphrase", "index", "vault_path_opt"},
                                       "Import a wallet from a mnemonic phrase (derives addresses for all chains).");
  add_function<import_wallet_private_key>(
      m, "import_wallet_private_key",
      {"name", "private_key_hex", "chain", "passphrase", "vault_path_opt", "secp256k1_key", "ed25519_key"},
      "Import a wallet from a hex-encoded private key (derives addresses for all chains).\n"
      "Optionally specify explicit keys per curve via `secp256k1_key` and `ed25519_key`.");
  add_function<list_wallets>(m, "list_wallets", {"vault_path_opt"}, "List all wallets in the vault.");
  add_function<get_wallet>(m, "get_wallet", {"name_or_id", "vault_path_opt"}, "Get a single wallet by name or ID.");
  add_function<delete_wallet>(m, "delete_wallet", {"name_or_id", "vault_path_opt"}, "Delete a wallet from the vault.");
  add_function<export_wallet>(m, "export_wallet", {"name_or_id", "passphrase", "vault_path_opt"},
                              "Export a wallet's secret (mnemonic or private key).");
  add_function<rename_wallet>(m, "rename_wallet", {"name_or_id", "new_name", "vault_path_opt"}, "Rename a wallet.");
  add_function<sign_transaction>(m, "sign_transaction",
                                 {"wallet", "chain", "tx_hex", "passphrase", "index", "vault_path_opt"},
                                 "Sign a transaction.");
  add_function<sign_message>(m, "sign_message",
                             {"wallet", "chain", "message", "passphrase", "encoding", "index", "vault_path_opt"},
                             "Sign a message.");
  add_function<sign_and_send>(m, "sign_and_send",
                              {"wallet", "chain", "tx_hex", "passphrase", "index", "rpc_url", "vault_path_opt"},
                              "Sign and broadcast a transaction.");
}

}  // namespace vek_native
