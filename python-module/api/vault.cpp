// vek.Vault: a directory of wallet files, and the operations on them. Every method
// converts its arguments, then runs the operation without the interpreter lock (calls.h).
#include <nanobind/stl/filesystem.h>
#include <nanobind/stl/map.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/unique_ptr.h>
#include <nanobind/stl/variant.h>
#include <nanobind/stl/vector.h>

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "bindings.h"
#include "calls.h"
#include "given_secrets.h"
#include "vek/lib/review.h"
#include "vek/lib/session.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::OptIndex;
using vek_lib::WalletInfo;

class Vault {
 public:
  explicit Vault(std::optional<std::string> path) : path_(std::move(path)) {}
  [[nodiscard]] vek_lib::OptText where() const { return path_ ? vek_lib::OptText(*path_) : std::nullopt; }

 private:
  std::optional<std::string> path_;
};

// The vault directory as the file-system bytes of a str, bytes or os.PathLike (as
// os.fsencode gives them); None for the default directory.
std::optional<std::string> fs_path(nb::handle obj) {
  if (obj.is_none()) return std::nullopt;
  PyObject* encoded = nullptr;
  if (PyUnicode_FSConverter(obj.ptr(), &encoded) == 0) throw nb::python_error();
  const nb::object hold = nb::steal(encoded);
  return std::string(PyBytes_AS_STRING(encoded), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded)));
}

constexpr const char* kVaultDoc =
    "A vault directory of wallet files: the same files, rules and messages as vek._native.\n\n"
    "path: the directory (str, bytes or os.PathLike: the file system's bytes, as os.fsencode\n"
    "gives them); None for the default ~/.vek.";
constexpr const char* kCreateDoc =
    "Creates a wallet with a new recovery phrase of 12 or 24 words.\n\n"
    "passphrase: what the wallet's file is encrypted with; it must be given: passphrase=\"\"\n"
    "stores a wallet without one (anyone who gets the file gets the wallet). So for every\n"
    "method that makes a wallet.\n\n"
    "Raises:\n    InvalidInputError: words is not 12 or 24, no passphrase given.\n"
    "    WalletNameExistsError: another wallet has that name.\n    VaultError.";
constexpr const char* kImportMnemonicDoc =
    "Imports a recovery phrase; its accounts are derived at `index` (default 0).\n\n"
    "paths: {chain: derivation path} for the families whose first account another wallet\n"
    "shows at another path (e.g. {\"ethereum\": vek.preset_path(\"evm-account\", \"ethereum\", 1)});\n"
    "one chain of a family names the family. vek._native lists such a wallet but refuses to\n"
    "sign for a family stored at a path that is not one of its default paths.\n\n"
    "bip39_passphrase: the phrase's BIP-39 passphrase (\"25th word\"); it is not stored, and\n"
    "unlock() then needs it. The phrase and it are taken in Unicode NFKD form, as BIP-39 (and\n"
    "other wallets) hash them. vek._native refuses to sign with such a wallet.\n\n"
    "Raises:\n    MnemonicError: the phrase is invalid.\n    InvalidInputError: no passphrase given.\n"
    "    WalletNameExistsError: another wallet has that name.\n    VaultError.";
constexpr const char* kImportPrivateKeyDoc =
    "Imports a private key in hex for the curve of `chain` (default: secp256k1); the other\n"
    "curve gets a random key unless given. With both secp256k1_key and ed25519_key,\n"
    "private_key is not used. A random key is said by a GeneratedKeyWarning and named in\n"
    "Wallet.generated_keys: it exists only in this wallet.\n\n"
    "Raises:\n    InvalidInputError: bad hex or unknown chain, no passphrase given.\n    SignerError: an invalid key.\n"
    "    WalletNameExistsError: another wallet has that name.\n    VaultError.";
constexpr const char* kWalletsDoc =
    "Every wallet of the vault, newest first.\n\nRaises:\n    VaultError.";
constexpr const char* kGetDoc =
    "The wallet with this id, else the only wallet with this name.\n\n"
    "Raises:\n    WalletNotFoundError.\n    AmbiguousWalletError: several wallets have that name.\n"
    "    VaultError.";
constexpr const char* kRenameDoc =
    "Renames a wallet.\n\nRaises:\n    WalletNotFoundError, AmbiguousWalletError.\n"
    "    WalletNameExistsError: another wallet has the new name.\n    VaultError.";
constexpr const char* kDeleteDoc =
    "Deletes a wallet's file.\n\nRaises:\n    WalletNotFoundError, AmbiguousWalletError.\n    VaultError.";
constexpr const char* kExportDoc =
    "The wallet's secret: its recovery phrase, or its key document\n"
    "{\"ed25519\":\"<hex>\",\"secp256k1\":\"<hex>\"}.\n\n"
    "Raises:\n    WrongPassphraseError.\n    WalletNotFoundError, AmbiguousWalletError.\n"
    "    CryptoError, InvalidInputError: damaged wallet data.\n    VaultError.";
constexpr const char* kImportKeyDoc =
    "Imports one private key written by another wallet, as a private-key wallet.\n\n"
    "format: \"hex\" (with or without 0x), \"wif\" (Bitcoin), \"keystore\" (an Ethereum keystore v3\n"
    "file's text, opened with key_password), \"solana-base58\" or \"solana-json\" (a Solana\n"
    "keypair, 64 bytes). chain: the chain the key is for (default: the format's family;\n"
    "ethereum for hex). The other curve gets a random key (GeneratedKeyWarning,\n"
    "Wallet.generated_keys). A keystore with light key stretching (geth's --lightkdf: scrypt\n"
    "N=4096; PBKDF2 below 262144 rounds) is refused unless allow_weak_kdf=True; the wallet is\n"
    "stored under the vault's own parameters either way. Python's signal handlers run once a\n"
    "keystore's key is stretched: an exception they raise (KeyboardInterrupt) ends the import there,\n"
    "before anything is written.\n\n"
    "Raises:\n    InvalidInputError: unknown format or chain, a key that cannot be read, no\n"
    "        passphrase given.\n"
    "    WrongPassphraseError: a wrong keystore password.\n"
    "    CryptoError: a keystore longer than 64 KiB, or with light (without allow_weak_kdf),\n"
    "        unsupported or excessive parameters.\n"
    "    OutOfMemoryError: no memory for the key derivation.\n"
    "    SignerError: an invalid key.\n    WalletNameExistsError: another wallet has that name.\n"
    "    VaultError.";
constexpr const char* kExportKeyDoc =
    "The private key that signs for `chain` (the account the wallet stores for its family),\n"
    "in `format`: \"hex\", \"wif\" (Bitcoin), \"keystore\" (an Ethereum keystore v3 document under\n"
    "key_password, None meaning the empty password), \"solana-base58\" or \"solana-json\".\n\n"
    "Raises:\n    WrongPassphraseError.\n    WalletNotFoundError, AmbiguousWalletError.\n"
    "    InvalidInputError: unknown format or chain, a format of another family, damaged wallet data.\n"
    "    VaultError.";
constexpr const char* kPublicKeyDoc =
    "The public key of the account that signs for `chain` (as export_key picks it), in\n"
    "lower-case hex: secp256k1 chains the 33-byte compressed point, Ed25519 chains 32 bytes.\n\n"
    "Raises:\n    WrongPassphraseError.\n    WalletNotFoundError, AmbiguousWalletError.\n"
    "    InvalidInputError: unknown chain, damaged wallet data.\n    VaultError.";
constexpr const char* kChangePassphraseDoc =
    "Encrypts the wallet's secret again under new_passphrase (None: the empty passphrase),\n"
    "with a fresh salt and nonce, and replaces its file atomically. The id, name, accounts\n"
    "and creation time stay as they are; a wrong old passphrase changes nothing.\n\n"
    "Raises:\n    WrongPassphraseError: old_passphrase is wrong.\n"
    "    WalletNotFoundError, AmbiguousWalletError.\n"
    "    InvalidInputError: the stored accounts do not match the secret, or damaged wallet data.\n"
    "    CryptoError: damaged wallet data.\n    VaultError: the file cannot be written, or changed meanwhile.";
constexpr const char* kUnlockDoc =
    "Decrypts the wallet once and returns a Session that signs with it.\n\n"
    "ttl: seconds after which the session refuses to sign (None: until closed).\n"
    "bip39_passphrase: needed exactly for a wallet imported with one (Wallet.bip39_passphrase);\n"
    "taken in Unicode NFKD form.\n\n"
    "Raises:\n    WrongPassphraseError.\n    WrongBip39PassphraseError: a wrong BIP-39 passphrase.\n"
    "    WalletNotFoundError, AmbiguousWalletError.\n"
    "    InvalidInputError: ttl is not above zero, a BIP-39 passphrase missing or not\n"
    "        expected, or damaged wallet data.\n"
    "    CryptoError, MnemonicError, JsonError: damaged wallet data.\n    VaultError.";

// The warning of an import whose other curve's key is random.
void warn_imported_keys(const WalletInfo& made) {
  std::string what = "wallet '";
  what.append(made.name).append("' (").append(made.id).append(")");
  warn_generated_keys(made, what, "back it up with Vault.export, or import both keys");
}

WalletInfo create(const Vault& v, const nb::str& name, const OptStr& passphrase, std::uint32_t words) {
  const auto n = text(name);
  const auto p = required_passphrase(passphrase);
  return take(released([&] { return vek_lib::create_wallet(n, words, p, v.where()); }));
}

WalletInfo import_mnemonic(const Vault& v, const nb::str& name, const nb::str& mnemonic, const OptStr& passphrase,
                           OptIndex index, const OptStr& bip39_passphrase,
                           const std::optional<std::map<std::string, std::string>>& paths) {
  const auto n = text(name);
  const Nfkd phrase(mnemonic);
  const auto ph = phrase.text();
  const auto p = required_passphrase(passphrase);
  const OptNfkd bip39(bip39_passphrase);
  const auto b = bip39.text();
  std::vector<vek_lib::FamilyPath> given;
  if (paths) {
    for (const auto& [chain, path] : *paths) given.push_back({chain, path});
  }
  return take(released([&] { return vek_lib::import_wallet_mnemonic(n, ph, p, index, v.where(), b, given); }));
}

WalletInfo import_private_key(const Vault& v, const nb::str& name, const OptStr& private_key, const OptStr& chain,
                              const OptStr& passphrase, const OptStr& secp256k1_key, const OptStr& ed25519_key) {
  const auto n = text(name);
  const auto k = private_key ? text(*private_key) : std::string_view();
  const auto c = opt_text(chain);
  const auto p = required_passphrase(passphrase);
  const auto secp = opt_text(secp256k1_key);
  const auto ed = opt_text(ed25519_key);
  WalletInfo made = take(
      released([&] { return vek_lib::import_wallet_private_key(n, k, c, p, v.where(), secp, ed, vek_lib::Caller{}); }));
  warn_imported_keys(made);
  return made;
}

// A keystore's key stretching lets Ctrl-C in once it is over (nothing is written then).
WalletInfo import_key(const Vault& v, const nb::str& name, const TextOrBytes& key, const nb::str& format,
                      const OptStr& chain, const OptStr& key_password, const OptStr& passphrase,
                      bool allow_weak_kdf) {
  const auto n = text(name);
  const auto k = std::holds_alternative<nb::str>(key)
                     ? text(std::get<nb::str>(key))
                     : std::string_view(std::get<nb::bytes>(key).c_str(), std::get<nb::bytes>(key).size());
  const auto f = text(format);
  const auto c = opt_text(chain);
  const auto kp = opt_text(key_password);
  const auto p = required_passphrase(passphrase);
  WalletInfo made = take(released([&] {
    return vek_lib::import_wallet_key(n, k, f, c, kp, p, v.where(), python_signals_let_wait, allow_weak_kdf);
  }));
  warn_imported_keys(made);
  return made;
}

std::vector<WalletInfo> wallets(const Vault& v) {
  return take(released([&] { return vek_lib::list_wallets(v.where()); }));
}

WalletInfo get(const Vault& v, const nb::str& name_or_id) {
  const auto n = text(name_or_id);
  return take(released([&] { return vek_lib::get_wallet(n, v.where()); }));
}

void rename_wallet(const Vault& v, const nb::str& name_or_id, const nb::str& new_name) {
  const auto n = text(name_or_id);
  const auto nn = text(new_name);
  take(released([&] { return vek_lib::rename_wallet(n, nn, v.where()); }));
}

void delete_wallet(const Vault& v, const nb::str& name_or_id) {
  const auto n = text(name_or_id);
  take(released([&] { return vek_lib::delete_wallet(n, v.where()); }));
}

nb::str export_secret(const Vault& v, const nb::str& name_or_id, const OptStr& passphrase) {
  const auto n = text(name_or_id);
  const auto p = opt_text(passphrase);
  return secret_str(take(released([&] { return vek_lib::export_wallet(n, p, v.where()); })));
}

nb::str export_key(const Vault& v, const nb::str& name_or_id, const nb::str& chain, const nb::str& format,
                   const OptStr& passphrase, const OptStr& key_password, const OptStr& bip39_passphrase) {
  const auto n = text(name_or_id);
  const auto c = text(chain);
  const auto f = text(format);
  const auto p = opt_text(passphrase);
  const auto kp = opt_text(key_password);
  const OptNfkd bip39(bip39_passphrase);
  const auto b = bip39.text();
  return secret_str(take(released([&] { return vek_lib::export_key(n, c, f, p, kp, v.where(), b); })));
}

std::string public_key(const Vault& v, const nb::str& name_or_id, const nb::str& chain, const OptStr& passphrase,
                       const OptStr& bip39_passphrase) {
  const auto n = text(name_or_id);
  const auto c = text(chain);
  const auto p = opt_text(passphrase);
  const OptNfkd bip39(bip39_passphrase);
  const auto b = bip39.text();
  return take(released([&] { return vek_lib::public_key(n, c, p, v.where(), b); }));
}

void change_passphrase(const Vault& v, const nb::str& name_or_id, const OptStr& old_passphrase,
                       const OptStr& new_passphrase) {
  const auto n = text(name_or_id);
  const auto o = opt_text(old_passphrase);
  const auto p = opt_text(new_passphrase);
  take(released([&] { return vek_lib::change_passphrase(n, o, p, v.where()); }));
}

std::unique_ptr<vek_lib::Session> unlock(const Vault& v, const nb::str& name_or_id, const OptStr& passphrase,
                                         std::optional<double> ttl, const OptStr& bip39_passphrase) {
  const auto w = text(name_or_id);
  const auto p = opt_text(passphrase);
  const OptNfkd bip39(bip39_passphrase);
  const auto b = bip39.text();
  return take(released([&] { return vek_lib::Session::unlock(w, p, v.where(), ttl, b); }));
}

std::string vault_repr(const Vault& v) {
  const std::string where = vek_lib::vault_directory(v.where()).native();
  std::string out = "Vault(";
  out.append(nb::cast<std::string>(nb::repr(
      nb::steal(PyUnicode_DecodeFSDefaultAndSize(where.data(), static_cast<Py_ssize_t>(where.size()))))));
  return out.append(")");
}

void bind_wallets(nb::class_<Vault>& vault) {
  vault.def("create", &create, "name"_a, "passphrase"_a = nb::none(), "words"_a = 12, kCreateDoc)
      .def("import_mnemonic", &import_mnemonic, "name"_a, "mnemonic"_a, "passphrase"_a = nb::none(),
           "index"_a = nb::none(), "bip39_passphrase"_a = nb::none(), "paths"_a = nb::none(), kImportMnemonicDoc)
      .def("import_private_key", &import_private_key, "name"_a, "private_key"_a = nb::none(), "chain"_a = nb::none(),
           "passphrase"_a = nb::none(), "secp256k1_key"_a = nb::none(), "ed25519_key"_a = nb::none(),
           kImportPrivateKeyDoc)
      .def("wallets", &wallets, kWalletsDoc)
      .def("get", &get, "name_or_id"_a, kGetDoc)
      .def("rename", &rename_wallet, "name_or_id"_a, "new_name"_a, kRenameDoc)
      .def("delete", &delete_wallet, "name_or_id"_a, kDeleteDoc);
}

void bind_keys(nb::class_<Vault>& vault) {
  vault.def("export", &export_secret, "name_or_id"_a, "passphrase"_a = nb::none(), kExportDoc)
      .def("import_key", &import_key, "name"_a, "key"_a, "format"_a, "chain"_a = nb::none(),
           "key_password"_a = nb::none(), "passphrase"_a = nb::none(), nb::kw_only(), "allow_weak_kdf"_a = false,
           kImportKeyDoc)
      .def("export_key", &export_key, "name_or_id"_a, "chain"_a, "format"_a = "hex", "passphrase"_a = nb::none(),
           "key_password"_a = nb::none(), "bip39_passphrase"_a = nb::none(), kExportKeyDoc)
      .def("public_key", &public_key, "name_or_id"_a, "chain"_a, "passphrase"_a = nb::none(),
           "bip39_passphrase"_a = nb::none(), kPublicKeyDoc)
      .def("change_passphrase", &change_passphrase, "name_or_id"_a, "old_passphrase"_a.none(),
           "new_passphrase"_a.none(), kChangePassphraseDoc)
      .def("unlock", &unlock, "name_or_id"_a, "passphrase"_a = nb::none(), "ttl"_a = nb::none(),
           "bip39_passphrase"_a = nb::none(), kUnlockDoc);
}

}  // namespace

void bind_vault(nb::module_& m) {
  bind_generated_key_warning(m);
  nb::class_<Vault> vault(m, "Vault", kVaultDoc);
  vault
      .def(
          "__init__", [](Vault* self, nb::handle path) { new (self) Vault(fs_path(path)); }, "path"_a = nb::none(),
          nb::sig("def __init__(self, path: str | bytes | os.PathLike[str] | os.PathLike[bytes] | None = None) -> None"))
      .def_prop_ro(
          "path", [](const Vault& v) { return vek_lib::vault_directory(v.where()); }, "The vault directory.");
  bind_wallets(vault);
  bind_keys(vault);
  vault.def("__repr__", &vault_repr);
}

}  // namespace vek_api
