// The application face of vek: `vek.Vault`, `vek.Session`, the result types and the
// exception classes, over the same wallet operations as vek._native.
//
// Every method converts its arguments first, then releases the interpreter lock for
// the whole wallet operation (file-system work, scrypt, seed and key derivation,
// signing, the wait for curl), then takes the lock back to build its result or raise.
// Texts are borrowed from their str objects (kept alive by the call), so no secret
// argument is copied into memory that is freed unwiped.
#include <nanobind/nanobind.h>
#include <nanobind/stl/filesystem.h>
#include <nanobind/stl/map.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/string_view.h>
#include <nanobind/stl/unique_ptr.h>
#include <nanobind/stl/variant.h>
#include <nanobind/stl/vector.h>

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "errors.h"
#include "review.h"
#include "values.h"
#include "vek/signer/chains.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/review.h"
#include "vek/lib/ops.h"
#include "vek/lib/session.h"
#include "vek/lib/verify.h"
#include "vek/lib/types.h"
#include "vek/signer/crypto.h"
#include "vek/signer/zeroizing.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::OptIndex;
using vek_lib::OptText;
using vek_lib::Session;
using OptStr = std::optional<nb::str>;
using TextOrBytes = std::variant<nb::str, nb::bytes>;

OptText opt_text(const OptStr& s) { return s ? OptText(text(*s)) : std::nullopt; }

std::span<const std::uint8_t> bytes_of(const nb::bytes& b) {
  return {reinterpret_cast<const std::uint8_t*>(b.c_str()), b.size()};
}

bool python_signals_let_wait();

// Runs `f` without the interpreter lock. Reading a vault creates nothing; its
// directories come with the first wallet written. A key derivation waiting for a free
// core runs Python's signal handlers meanwhile; the exception one raises is what the
// caller sees.
template <typename F>
auto released(F&& f) {
  auto result = [&] {
    nb::gil_scoped_release unlocked;
    const vek_lib::ScopedCreateOnWrite create_on_write;
    const vek_signer::ScopedKdfWaitCheck signals(python_signals_let_wait);
    return f();
  }();
  if (!result && PyErr_Occurred() != nullptr) throw nb::python_error();
  return result;
}

// A str result that carries a secret: the native copy is wiped once Python has its own.
nb::str secret_str(std::string&& secret) {
  struct Wipe {
    std::string& s;
    ~Wipe() { vek_signer::wipe_string(s); }
  } wipe{secret};
  return nb::str(secret.data(), secret.size());
}

// The vault directory as the file-system bytes of a str, bytes or os.PathLike (as
// os.fsencode gives them); None for the default directory.
std::optional<std::string> fs_path(nb::handle obj) {
  if (obj.is_none()) return std::nullopt;
  PyObject* encoded = nullptr;
  if (PyUnicode_FSConverter(obj.ptr(), &encoded) == 0) throw nb::python_error();
  const nb::object hold = nb::steal(encoded);
  return std::string(PyBytes_AS_STRING(encoded), static_cast<std::size_t>(PyBytes_GET_SIZE(encoded)));
}

class Vault {
 public:
  explicit Vault(std::optional<std::string> path) : path_(std::move(path)) {}
  [[nodiscard]] OptText where() const { return path_ ? OptText(*path_) : std::nullopt; }

 private:
  std::optional<std::string> path_;
};

void bind_results(nb::module_& m) {
  nb::class_<vek_lib::AccountInfo> account(m, "Account", "One account of a wallet (public data only).");
  account.def_ro("chain_id", &vek_lib::AccountInfo::chain_id, "The CAIP-2 id of the family's default chain.")
      .def_ro("address", &vek_lib::AccountInfo::address, "The address, as the chain writes it.")
      .def_ro("derivation_path", &vek_lib::AccountInfo::derivation_path,
              "The derivation path of the account's key; empty for a private-key wallet.");
  value_methods(account, "Account", {"chain_id", "address", "derivation_path"});

  nb::class_<vek_lib::WalletInfo> wallet(m, "Wallet", "A stored wallet (public data only).");
  wallet.def_ro("id", &vek_lib::WalletInfo::id, "The wallet's id (a version-4 UUID).")
      .def_ro("name", &vek_lib::WalletInfo::name, "The wallet's name.")
      .def_ro("accounts", &vek_lib::WalletInfo::accounts,
              "One account per chain family: evm, solana, bitcoin, cosmos, tron, ton.")
      .def_ro("created_at", &vek_lib::WalletInfo::created_at, "When the wallet was created (RFC 3339, UTC).")
      .def_ro("bip39_passphrase", &vek_lib::WalletInfo::bip39_passphrase,
              "Whether the accounts come from the phrase under a BIP-39 passphrase (not stored; unlock needs it).");
  value_methods(wallet, "Wallet", {"id", "name", "accounts", "created_at", "bip39_passphrase"});

  nb::class_<vek_lib::SignResult> signature(m, "Signature", "A signed message.");
  signature
      .def_ro("signature", &vek_lib::SignResult::signature,
              "The signature as its format writes it: base64 for bip322 (the serialised witness), bip137\n"
              "(header || r || s) and adr036 (r || s); lower-case hex for the others.")
      .def_ro("recovery_id", &vek_lib::SignResult::recovery_id,
              "The recovery byte the signature carries (eip191, eip712 and tip191: v, 27 or 28; bip137: the\n"
              "header; raw: 0 or 1), None where the format has none.")
      .def_ro("format", &vek_lib::SignResult::format,
              "The message format: eip191, eip712, raw, bip322, bip137, adr036 or tip191.")
      .def_prop_ro(
          "public_key",
          [](const vek_lib::SignResult& r) -> std::optional<std::map<std::string, std::string>> {
            if (!r.public_key) return std::nullopt;
            return std::map<std::string, std::string>{{"type", r.public_key_type.value_or("")},
                                                      {"value", *r.public_key}};
          },
          "adr036: the signer's public key as Cosmos wallets return it,\n"
          "{\"type\": \"tendermint/PubKeySecp256k1\", \"value\": base64 of the compressed key}; otherwise None.");
  value_methods(signature, "Signature", {"signature", "recovery_id", "format", "public_key"});

  nb::class_<vek_lib::SignedTransaction> signed_tx(m, "SignedTransaction", "A signed transaction.");
  signed_tx
      .def_prop_ro(
          "signature", [](const vek_lib::SignedTransaction& t) { return t.signature.signature; },
          "The signature in lower-case hex (EVM: r || s || y-parity, 65 bytes).")
      .def_prop_ro(
          "recovery_id", [](const vek_lib::SignedTransaction& t) { return t.signature.recovery_id; },
          "The recovery id, None where the chain has none.")
      .def_ro("raw_transaction", &vek_lib::SignedTransaction::raw_transaction,
              "EVM: the signed transaction, \"0x\" and lower-case hex, ready for eth_sendRawTransaction; "
              "None for other chains.")
      .def_ro("tx_hash", &vek_lib::SignedTransaction::tx_hash,
              "EVM: the transaction hash, \"0x\" and the Keccak-256 of raw_transaction in hex; None for other chains.");
  value_methods(signed_tx, "SignedTransaction", {"signature", "recovery_id", "raw_transaction", "tx_hash"});
}

// The chain table of the library, the one every operation resolves chain names against.
void bind_chains(nb::module_& m) {
  nb::class_<vek_core::Chain> chain(m, "Chain", "A chain the library knows (public data only).");
  chain.def_prop_ro(
           "name", [](const vek_core::Chain& c) { return c.name; },
           "The chain's name, as every chain argument accepts it (in any letter case).")
      .def_prop_ro(
          "family", [](const vek_core::Chain& c) { return vek_core::chain_type_name(c.chain_type); },
          "The chain's family: evm, solana, cosmos, bitcoin, tron or ton.")
      .def_prop_ro(
          "chain_id", [](const vek_core::Chain& c) { return c.chain_id; },
          "The CAIP-2 id, also accepted as a chain argument (exactly as written).")
      .def_prop_ro(
          "coin_type", [](const vek_core::Chain& c) { return c.coin_type; },
          "The SLIP-44 coin type of the chain's default paths (1 for Bitcoin's test networks).")
      .def_prop_ro(
          "address_prefix", [](const vek_core::Chain& c) { return c.address_prefix; },
          "The bech32 prefix of its addresses (Bitcoin and Cosmos chains); \"\" for the other families.")
      .def_prop_ro(
          "testnet", [](const vek_core::Chain& c) { return c.testnet; }, "Whether it is a test network.")
      .def_prop_ro(
          "native", [](const vek_core::Chain& c) { return !c.testnet && !c.default_rpc_url.empty(); },
          "Whether vek._native accepts it (the twelve mainnets); the others are for Vault and Session.")
      .def(
          "default_path", [](const vek_core::Chain& c, std::uint32_t index) { return c.default_path(index); },
          "index"_a = 0, "The chain's default derivation path for account `index`.");
  value_methods(chain, "Chain", {"name", "family", "chain_id"});

  m.def(
      "known_chains",
      [] {
        const auto table = vek_signer::all_chains();
        return std::vector<vek_core::Chain>(table.begin(), table.end());
      },
      "Every named chain, in a fixed order: the twelve of vek._native (the seven EVM mainnets,\n"
      "ethereum first, then solana, bitcoin, cosmos, tron and ton), then the test networks and\n"
      "further chains of the application API (sepolia, holesky, solana-devnet, solana-testnet,\n"
      "bitcoin-testnet, bitcoin-signet, osmosis, celestia, secret, kava, cosmos-testnet,\n"
      "ton-testnet). Any other EVM chain is named by its id, \"eip155:<n>\". The first chain\n"
      "of each family is the chain of that family's accounts in a wallet.");
}

// The wait for curl or for a free core runs Python's signal handlers (taking the lock for
// each check, every 20 to 50 ms), and so does a keystore import after its key stretching:
// one that raises (Ctrl-C's KeyboardInterrupt, an alarm's exception) ends the wait or the
// import, and that exception, not the operation's "interrupted", is what the caller sees.
bool python_signals_let_wait() {
  const nb::gil_scoped_acquire locked;
  return PyErr_CheckSignals() == 0;
}

template <typename F>
std::string send_letting_signals_in(F&& send) {
  auto result = released([&] {
    const vek_lib::ScopedBroadcastCheck signals(python_signals_let_wait);
    return send();
  });
  if (!result && PyErr_Occurred() != nullptr) throw nb::python_error();
  return take(std::move(result));
}

void bind_session(nb::module_& m) {
  nb::class_<Session>(m, "Session",
                      "One wallet, unlocked once by Vault.unlock, signing until it is closed.\n\n"
                      "What signing needs is held in locked memory that is left out of core dumps and wiped by\n"
                      "close(), at the end of a with block, when the session is garbage-collected, or at the\n"
                      "first use after its time to live. A closed session raises SessionClosedError.\n"
                      "With index=None a session signs with the account the wallet stores for the chain's\n"
                      "family (its stored derivation path; the stored key of a private-key wallet); an index\n"
                      "selects the family's default path for that index instead, a path (path=...) that path.\n"
                      "Safe to share between\n"
                      "threads; no method holds the interpreter lock while it works.")
      .def_prop_ro(
          "wallet", [](const Session& s) { return s.wallet(); }, "The wallet, as it was when unlocked.")
      .def_prop_ro(
          "closed",
          [](Session& s) {
            nb::gil_scoped_release unlocked;
            return s.closed();
          },
          "Whether the session can no longer sign (closed, its time to live ran out, or used in a\n"
          "forked child of the process that unlocked it).")
      .def(
          "close",
          [](Session& s) {
            nb::gil_scoped_release unlocked;
            s.close();
          },
          "Wipes the secret now. Closing again does nothing.")
      .def("__enter__", [](nb::handle self) { return self; }, nb::sig("def __enter__(self) -> Session"))
      .def(
          "__exit__",
          [](Session& s, nb::handle, nb::handle, nb::handle) {
            nb::gil_scoped_release unlocked;
            s.close();
          },
          "exc_type"_a.none(), "exc"_a.none(), "tb"_a.none(),
          nb::sig("def __exit__(self, exc_type: type[BaseException] | None, exc: BaseException | None, "
                  "tb: types.TracebackType | None) -> None"))
      .def(
          "address",
          [](Session& s, const nb::str& chain, OptIndex index, const OptStr& path) {
            const auto c = text(chain);
            const vek_lib::AccountRef which(index, opt_text(path));
            return take(released([&] { return s.address(c, which); }));
          },
          "chain"_a, "index"_a = nb::none(), "path"_a = nb::none(),
          "The address that signs for `chain`.\n\n"
          "Raises:\n    InvalidInputError: unknown chain.\n    SessionClosedError: the session is closed.\n"
          "    DerivationError, SignerError: the key cannot be derived or used.")
      .def(
          "sign_message",
          [](Session& s, const nb::str& chain, const TextOrBytes& message, const OptStr& encoding, OptIndex index,
             const OptStr& path, const OptStr& format, const OptStr& domain, std::optional<std::uint64_t> timestamp) {
            const auto c = text(chain);
            const vek_lib::AccountRef which(index, opt_text(path));
            const auto f = opt_text(format);
            vek_lib::MessageContext context{opt_text(domain), timestamp, false, std::nullopt, std::nullopt};
            if (const auto* raw = std::get_if<nb::bytes>(&message)) {
              if (encoding) raise(vek_lib::VekLibError::invalid_input("encoding applies only to a str message"));
              const auto b = bytes_of(*raw);
              context.binary = true;
              return take(released([&] { return s.sign_message(c, b, which, f, context); }));
            }
            const auto t = text(std::get<nb::str>(message));
            const auto e = opt_text(encoding);
            return take(released([&] { return s.sign_message(c, t, e, which, f, context); }));
          },
          "chain"_a, "message"_a, "encoding"_a = nb::none(), "index"_a = nb::none(), "path"_a = nb::none(),
          "format"_a = nb::none(), "domain"_a = nb::none(), "timestamp"_a = nb::none(),
          "Signs a message in a format its chain's verifiers accept; format=None is the family's\n"
          "standard. EVM: \"eip191\" (personal message), \"eip712\" (the message is typed-data JSON).\n"
          "Solana: \"raw\", \"offchain\" (an off-chain message with the header the released command-line\n"
          "tools verify; base58), \"offchain_domain\" (the header with application domain and signers\n"
          "the newer JavaScript SDK reads; base58). Bitcoin: \"bip322\" (simple,\n"
          "P2WPKH), \"bip137\", \"raw\". Cosmos: \"adr036\" (the result also has public_key), \"raw\".\n"
          "Tron: \"tip191\" (v 27/28), \"raw\" (v 0/1). TON: \"raw\", and TON Connect's \"ton_proof\" and\n"
          "\"sign_data\" (base64), which need the dApp's `domain` and the Unix `timestamp`; sign_data\n"
          "signs a str as text and bytes (or hex) as binary. TON results have public_key (the Ed25519\n"
          "key, base64), which checks need. \"raw\" gives the signature of vek._native.sign_message,\n"
          "but Solana, Cosmos and TON \"raw\" refuse bytes whose signature would authorise a\n"
          "transaction (a Solana transaction message, a Cosmos sign document, a Tron transaction,\n"
          "32 bytes).\n\n"
          "A str message is signed as its UTF-8 bytes, or with encoding=\"hex\" as the bytes its hex\n"
          "digits spell; bytes are signed as they are (no encoding then).\n\n"
          "Raises:\n    InvalidInputError: unknown chain or format, bad hex, unknown encoding, a refused\n"
          "        raw message.\n"
          "    SessionClosedError: the session is closed.\n    DerivationError, SignerError.")
      .def(
          "sign_typed_data",
          [](Session& s, const nb::str& chain, const nb::str& typed_data, OptIndex index, const OptStr& path) {
            const auto c = text(chain);
            const auto t = text(typed_data);
            const vek_lib::AccountRef which(index, opt_text(path));
            return take(released([&] { return s.sign_typed_data(c, t, which); }));
          },
          "chain"_a, "typed_data"_a, "index"_a = nb::none(), "path"_a = nb::none(),
          "Signs EIP-712 typed data (the JSON text of eth_signTypedData_v4) with an EVM chain's\n"
          "key; the signature is r || s || v with v = 27 or 28.\n\n"
          "Raises:\n    InvalidInputError: unknown chain, not an EVM chain, a domain chainId that is not\n"
          "        the chain's.\n"
          "    SignerError: malformed typed data (the message names the member), or beyond a limit\n"
          "        (1 MiB, 1024 types, 1024 members of a type, 128 levels of nesting).\n"
          "    SessionClosedError: the session is closed.\n    DerivationError.")
      .def(
          "sign_transaction",
          [](Session& s, const nb::str& chain, const TextOrBytes& tx, OptIndex index, const OptStr& path) {
            const auto c = text(chain);
            const vek_lib::AccountRef which(index, opt_text(path));
            if (const auto* raw = std::get_if<nb::bytes>(&tx)) {
              const auto b = bytes_of(*raw);
              return take(released([&] { return s.sign_transaction(c, b, which); }));
            }
            const auto t = text(std::get<nb::str>(tx));
            return take(released([&] { return s.sign_transaction(c, t, which); }));
          },
          "chain"_a, "tx"_a, "index"_a = nb::none(), "path"_a = nb::none(),
          "Signs an unsigned transaction: hex text (a leading \"0x\" is dropped) or bytes.\n\n"
          "EVM: the unsigned typed transaction (EIP-2718 type 1 or 2); the result also carries the\n"
          "signed transaction and its hash. Nothing is sent.\n\n"
          "Raises:\n    InvalidInputError: unknown chain, bad hex; EVM: another chain's id, bytes\n"
          "        after the RLP list, RLP that is not canonical (the message says which).\n"
          "    SessionClosedError: the session is closed.\n"
          "    SignerError: the transaction cannot be signed or completed.\n    DerivationError.")
      .def(
          "send",
          [](Session& s, const nb::str& chain, const TextOrBytes& tx, const OptStr& rpc_url, OptIndex index,
             const OptStr& path) {
            const auto c = text(chain);
            const auto url = opt_text(rpc_url);
            const vek_lib::AccountRef which(index, opt_text(path));
            if (const auto* raw = std::get_if<nb::bytes>(&tx)) {
              const auto b = bytes_of(*raw);
              return send_letting_signals_in([&] { return s.send(c, b, url, which); });
            }
            const auto t = text(std::get<nb::str>(tx));
            return send_letting_signals_in([&] { return s.send(c, t, url, which); });
          },
          "chain"_a, "tx"_a, "rpc_url"_a = nb::none(), "index"_a = nb::none(), "path"_a = nb::none(),
          "Signs an unsigned EVM or Solana transaction, submits it and returns the node's\n"
          "transaction hash, which must be the transaction's own. Without rpc_url the endpoint\n"
          "is rpc_endpoint(chain)'s. The URL and the request reach curl on its standard input,\n"
          "never its command line; a redirect is followed only to the endpoint's own host.\n\n"
          "Raises:\n    InvalidInputError: unknown chain, bad hex; without rpc_url, a configuration\n"
          "        file that exists but is not used, or a chain without an endpoint; EVM: another\n"
          "        chain's id, bytes after the RLP list, RLP that is not canonical (the message\n"
          "        says which).\n"
          "    SessionClosedError: the session is closed.\n"
          "    SignerError: the transaction cannot be signed or completed.\n"
          "    BroadcastError, JsonError: submitting failed, a redirect to another host, a\n"
          "        reply without a hash or with another transaction's hash.")
      .def(
          "derive",
          [](Session& s, const nb::str& chain, OptIndex index, const OptStr& path) {
            const auto c = text(chain);
            const vek_lib::AccountRef which(index, opt_text(path));
            return take(released([&] { return s.derive(c, which); }));
          },
          "chain"_a, "index"_a = nb::none(), "path"_a = nb::none(),
          "The address of the account at `index` (the family's default path) or `path` (a\n"
          "derivation path such as \"m/44'/60'/3'/0/0\"), or of the stored account when both are\n"
          "None. Nothing is stored.\n\n"
          "Raises:\n    InvalidInputError: unknown chain, both index and path, a path for a private-key wallet.\n"
          "    DerivationError: a path that is not valid for the family's curve.\n"
          "    SessionClosedError: the session is closed.")
      .def(
          "add_account",
          [](Session& s, const nb::str& chain, OptIndex index, const OptStr& path) {
            const auto c = text(chain);
            const vek_lib::AccountRef which(index, opt_text(path));
            return take(released([&] { return s.add_account(c, which); }));
          },
          "chain"_a, "index"_a = nb::none(), "path"_a = nb::none(),
          "Stores the account derive() gives in the wallet's file (after its accounts; written\n"
          "atomically) and returns the wallet as stored. An account already stored is not added\n"
          "twice. Session.wallet stays as it was when unlocked.\n\n"
          "Raises:\n    InvalidInputError: as derive(), or a private-key wallet.\n"
          "    DerivationError.\n    SessionClosedError.\n"
          "    WalletNotFoundError: the wallet was deleted meanwhile.\n"
          "    VaultError: the file cannot be written, or holds another secret now.")
      .def("__repr__", [](nb::handle self) {
        const auto& s = nb::cast<Session&>(self);
        return "<vek.Session of wallet " + nb::cast<std::string>(nb::repr(nb::str(s.wallet().name.c_str()))) + ">";
      });
}

void bind_vault(nb::module_& m) {
  nb::class_<Vault>(m, "Vault",
                    "A vault directory of wallet files: the same files, rules and messages as vek._native.\n\n"
                    "path: the directory (str or os.PathLike); None for the default ~/.vek.")
      .def(
          "__init__", [](Vault* self, nb::handle path) { new (self) Vault(fs_path(path)); }, "path"_a = nb::none(),
          nb::sig("def __init__(self, path: str | os.PathLike[str] | None = None) -> None"))
      .def_prop_ro(
          "path", [](const Vault& v) { return vek_lib::vault_directory(v.where()); }, "The vault directory.")
      .def(
          "create",
          [](const Vault& v, const nb::str& name, const OptStr& passphrase, std::uint32_t words) {
            const auto n = text(name);
            const auto p = opt_text(passphrase);
            return take(released([&] { return vek_lib::create_wallet(n, words, p, v.where()); }));
          },
          "name"_a, "passphrase"_a = nb::none(), "words"_a = 12,
          "Creates a wallet with a new recovery phrase of 12 or 24 words.\n\n"
          "Raises:\n    InvalidInputError: words is not 12 or 24.\n"
          "    WalletNameExistsError: another wallet has that name.\n    VaultError.")
      .def(
          "import_mnemonic",
          [](const Vault& v, const nb::str& name, const nb::str& mnemonic, const OptStr& passphrase, OptIndex index,
             const OptStr& bip39_passphrase, const std::optional<std::map<std::string, std::string>>& paths) {
            const auto n = text(name);
            const auto ph = text(mnemonic);
            const auto p = opt_text(passphrase);
            const auto b = opt_text(bip39_passphrase);
            std::vector<vek_lib::FamilyPath> given;
            if (paths) {
              for (const auto& [chain, path] : *paths) given.push_back({chain, path});
            }
            return take(
                released([&] { return vek_lib::import_wallet_mnemonic(n, ph, p, index, v.where(), b, given); }));
          },
          "name"_a, "mnemonic"_a, "passphrase"_a = nb::none(), "index"_a = nb::none(),
          "bip39_passphrase"_a = nb::none(), "paths"_a = nb::none(),
          "Imports a recovery phrase; its accounts are derived at `index` (default 0).\n\n"
          "paths: {chain: derivation path} for the families whose first account another wallet\n"
          "shows at another path (e.g. {\"ethereum\": vek.preset_path(\"evm-account\", \"ethereum\", 1)});\n"
          "one chain of a family names the family. vek._native lists such a wallet but refuses to\n"
          "sign for a family stored at a path that is not one of its default paths.\n\n"
          "bip39_passphrase: the phrase's BIP-39 passphrase (\"25th word\"), ASCII; it is not stored,\n"
          "and unlock() then needs it. vek._native refuses to sign with such a wallet.\n\n"
          "Raises:\n    MnemonicError: the phrase is invalid.\n    InvalidInputError: a BIP-39 passphrase that is not ASCII.\n"
          "    WalletNameExistsError: another wallet has that name.\n    VaultError.")
      .def(
          "import_private_key",
          [](const Vault& v, const nb::str& name, const OptStr& private_key, const OptStr& chain,
             const OptStr& passphrase, const OptStr& secp256k1_key, const OptStr& ed25519_key) {
            const auto n = text(name);
            const auto k = private_key ? text(*private_key) : std::string_view();
            const auto c = opt_text(chain);
            const auto p = opt_text(passphrase);
            const auto secp = opt_text(secp256k1_key);
            const auto ed = opt_text(ed25519_key);
            return take(
                released([&] { return vek_lib::import_wallet_private_key(n, k, c, p, v.where(), secp, ed); }));
          },
          "name"_a, "private_key"_a = nb::none(), "chain"_a = nb::none(), "passphrase"_a = nb::none(),
          "secp256k1_key"_a = nb::none(), "ed25519_key"_a = nb::none(),
          "Imports a private key in hex for the curve of `chain` (default: secp256k1); the other\n"
          "curve gets a random key unless given. With both secp256k1_key and ed25519_key,\n"
          "private_key is not used.\n\n"
          "Raises:\n    InvalidInputError: bad hex or unknown chain.\n    SignerError: an invalid key.\n"
          "    WalletNameExistsError: another wallet has that name.\n    VaultError.")
      .def(
          "wallets", [](const Vault& v) { return take(released([&] { return vek_lib::list_wallets(v.where()); })); },
          "Every wallet of the vault, newest first.\n\nRaises:\n    VaultError.")
      .def(
          "get",
          [](const Vault& v, const nb::str& name_or_id) {
            const auto n = text(name_or_id);
            return take(released([&] { return vek_lib::get_wallet(n, v.where()); }));
          },
          "name_or_id"_a,
          "The wallet with this id, else the only wallet with this name.\n\n"
          "Raises:\n    WalletNotFoundError.\n    AmbiguousWalletError: several wallets have that name.\n"
          "    VaultError.")
      .def(
          "rename",
          [](const Vault& v, const nb::str& name_or_id, const nb::str& new_name) {
            const auto n = text(name_or_id);
            const auto nn = text(new_name);
            take(released([&] { return vek_lib::rename_wallet(n, nn, v.where()); }));
          },
          "name_or_id"_a, "new_name"_a,
          "Renames a wallet.\n\nRaises:\n    WalletNotFoundError, AmbiguousWalletError.\n"
          "    WalletNameExistsError: another wallet has the new name.\n    VaultError.")
      .def(
          "delete",
          [](const Vault& v, const nb::str& name_or_id) {
            const auto n = text(name_or_id);
            take(released([&] { return vek_lib::delete_wallet(n, v.where()); }));
          },
          "name_or_id"_a,
          "Deletes a wallet's file.\n\nRaises:\n    WalletNotFoundError, AmbiguousWalletError.\n    VaultError.")
      .def(
          "export",
          [](const Vault& v, const nb::str& name_or_id, const OptStr& passphrase) {
            const auto n = text(name_or_id);
            const auto p = opt_text(passphrase);
            return secret_str(take(released([&] { return vek_lib::export_wallet(n, p, v.where()); })));
          },
          "name_or_id"_a, "passphrase"_a = nb::none(),
          "The wallet's secret: its recovery phrase, or its key document\n"
          "{\"ed25519\":\"<hex>\",\"secp256k1\":\"<hex>\"}.\n\n"
          "Raises:\n    WrongPassphraseError.\n    WalletNotFoundError, AmbiguousWalletError.\n"
          "    CryptoError, InvalidInputError: damaged wallet data.\n    VaultError.")
      .def(
          "import_key",
          [](const Vault& v, const nb::str& name, const TextOrBytes& key, const nb::str& format, const OptStr& chain,
             const OptStr& key_password, const OptStr& passphrase) {
            const auto n = text(name);
            const auto k = std::holds_alternative<nb::str>(key) ? text(std::get<nb::str>(key))
                                                                 : std::string_view(std::get<nb::bytes>(key).c_str(),
                                                                                    std::get<nb::bytes>(key).size());
            const auto f = text(format);
            const auto c = opt_text(chain);
            const auto kp = opt_text(key_password);
            const auto p = opt_text(passphrase);
            // A keystore's key stretching lets Ctrl-C in once it is over (nothing is written then).
            auto result = released([&] {
              return vek_lib::import_wallet_key(n, k, f, c, kp, p, v.where(), python_signals_let_wait);
            });
            if (!result && PyErr_Occurred() != nullptr) throw nb::python_error();
            return take(std::move(result));
          },
          "name"_a, "key"_a, "format"_a, "chain"_a = nb::none(), "key_password"_a = nb::none(),
          "passphrase"_a = nb::none(),
          "Imports one private key written by another wallet, as a private-key wallet.\n\n"
          "format: \"hex\" (with or without 0x), \"wif\" (Bitcoin), \"keystore\" (an Ethereum keystore v3\n"
          "file's text, opened with key_password), \"solana-base58\" or \"solana-json\" (a Solana\n"
          "keypair, 64 bytes). chain: the chain the key is for (default: the format's family;\n"
          "ethereum for hex). The other curve gets a random key. Python's signal handlers run once a\n"
          "keystore's key is stretched: an exception they raise (KeyboardInterrupt) ends the import there,\n"
          "before anything is written.\n\n"
          "Raises:\n    InvalidInputError: unknown format or chain, a key that cannot be read.\n"
          "    WrongPassphraseError: a wrong keystore password.\n"
          "    CryptoError: a keystore longer than 64 KiB, or with weak, unsupported or excessive parameters.\n"
          "    OutOfMemoryError: no memory for the key derivation.\n"
          "    SignerError: an invalid key.\n    WalletNameExistsError: another wallet has that name.\n"
          "    VaultError.")
      .def(
          "export_key",
          [](const Vault& v, const nb::str& name_or_id, const nb::str& chain, const nb::str& format,
             const OptStr& passphrase, const OptStr& key_password, const OptStr& bip39_passphrase) {
            const auto n = text(name_or_id);
            const auto c = text(chain);
            const auto f = text(format);
            const auto p = opt_text(passphrase);
            const auto kp = opt_text(key_password);
            const auto b = opt_text(bip39_passphrase);
            return secret_str(take(released([&] { return vek_lib::export_key(n, c, f, p, kp, v.where(), b); })));
          },
          "name_or_id"_a, "chain"_a, "format"_a = "hex", "passphrase"_a = nb::none(), "key_password"_a = nb::none(),
          "bip39_passphrase"_a = nb::none(),
          "The private key that signs for `chain` (the account the wallet stores for its family),\n"
          "in `format`: \"hex\", \"wif\" (Bitcoin), \"keystore\" (an Ethereum keystore v3 document under\n"
          "key_password, None meaning the empty password), \"solana-base58\" or \"solana-json\".\n\n"
          "Raises:\n    WrongPassphraseError.\n    WalletNotFoundError, AmbiguousWalletError.\n"
          "    InvalidInputError: unknown format or chain, a format of another family, damaged wallet data.\n"
          "    VaultError.")
      .def(
          "public_key",
          [](const Vault& v, const nb::str& name_or_id, const nb::str& chain, const OptStr& passphrase,
             const OptStr& bip39_passphrase) {
            const auto n = text(name_or_id);
            const auto c = text(chain);
            const auto p = opt_text(passphrase);
            const auto b = opt_text(bip39_passphrase);
            return take(released([&] { return vek_lib::public_key(n, c, p, v.where(), b); }));
          },
          "name_or_id"_a, "chain"_a, "passphrase"_a = nb::none(), "bip39_passphrase"_a = nb::none(),
          "The public key of the account that signs for `chain` (as export_key picks it), in\n"
          "lower-case hex: secp256k1 chains the 33-byte compressed point, Ed25519 chains 32 bytes.\n\n"
          "Raises:\n    WrongPassphraseError.\n    WalletNotFoundError, AmbiguousWalletError.\n"
          "    InvalidInputError: unknown chain, damaged wallet data.\n    VaultError.")
      .def(
          "change_passphrase",
          [](const Vault& v, const nb::str& name_or_id, const OptStr& old_passphrase, const OptStr& new_passphrase) {
            const auto n = text(name_or_id);
            const auto o = opt_text(old_passphrase);
            const auto p = opt_text(new_passphrase);
            take(released([&] { return vek_lib::change_passphrase(n, o, p, v.where()); }));
          },
          "name_or_id"_a, "old_passphrase"_a.none(), "new_passphrase"_a.none(),
          "Encrypts the wallet's secret again under new_passphrase (None: the empty passphrase),\n"
          "with a fresh salt and nonce, and replaces its file atomically. The id, name, accounts\n"
          "and creation time stay as they are; a wrong old passphrase changes nothing.\n\n"
          "Raises:\n    WrongPassphraseError: old_passphrase is wrong.\n"
          "    WalletNotFoundError, AmbiguousWalletError.\n"
          "    InvalidInputError: the stored accounts do not match the secret, or damaged wallet data.\n"
          "    CryptoError: damaged wallet data.\n    VaultError: the file cannot be written, or changed meanwhile.")
      .def(
          "unlock",
          [](const Vault& v, const nb::str& wallet, const OptStr& passphrase, std::optional<double> ttl,
             const OptStr& bip39_passphrase) {
            const auto w = text(wallet);
            const auto p = opt_text(passphrase);
            const auto b = opt_text(bip39_passphrase);
            return take(released([&] { return Session::unlock(w, p, v.where(), ttl, b); }));
          },
          "wallet"_a, "passphrase"_a = nb::none(), "ttl"_a = nb::none(), "bip39_passphrase"_a = nb::none(),
          "Decrypts the wallet once and returns a Session that signs with it.\n\n"
          "ttl: seconds after which the session refuses to sign (None: until closed).\n"
          "bip39_passphrase: needed exactly for a wallet imported with one (Wallet.bip39_passphrase).\n\n"
          "Raises:\n    WrongPassphraseError.\n    WalletNotFoundError, AmbiguousWalletError.\n"
          "    InvalidInputError: ttl is not above zero, a BIP-39 passphrase missing, wrong or not\n"
          "        expected, or damaged wallet data.\n"
          "    CryptoError, MnemonicError, JsonError: damaged wallet data.\n    VaultError.")
      .def("__repr__", [](const Vault& v) {
        const std::string where = vek_lib::vault_directory(v.where()).native();
        return "Vault(" + nb::cast<std::string>(nb::repr(nb::steal(PyUnicode_DecodeFSDefaultAndSize(
                              where.data(), static_cast<Py_ssize_t>(where.size()))))) +
               ")";
      });
}

// A message as bytes: a str as its UTF-8 bytes, bytes as they are.
std::span<const std::uint8_t> message_of(const TextOrBytes& m) {
  if (const auto* raw = std::get_if<nb::bytes>(&m)) return bytes_of(*raw);
  const auto t = text(std::get<nb::str>(m));
  return {reinterpret_cast<const std::uint8_t*>(t.data()), t.size()};
}

// A signature as bytes: the text the format writes (hex, 0x optional, or base64), or bytes.
std::vector<std::uint8_t> signature_of(std::string_view chain, const TextOrBytes& sig, const OptText& format) {
  if (const auto* raw = std::get_if<nb::bytes>(&sig)) {
    const auto b = bytes_of(*raw);
    return {b.begin(), b.end()};
  }
  return take(vek_lib::decode_signature(chain, text(std::get<nb::str>(sig)), format));
}

void bind_verification(nb::module_& m) {
  m.def(
      "recover_address",
      [](const nb::str& chain, const TextOrBytes& message, const TextOrBytes& signature, const OptStr& format) {
        const auto c = text(chain);
        const auto msg = message_of(message);
        const auto f = opt_text(format);
        const auto sig = signature_of(c, signature, f);
        return take(released([&] { return vek_lib::recover_address(c, msg, sig, f); }));
      },
      "chain"_a, "message"_a, "signature"_a, "format"_a = nb::none(),
      "The address whose key signed `message` (str as UTF-8, or bytes) on `chain`, for the formats\n"
      "that allow it: EVM \"eip191\" (the default) and \"eip712\" (`message` is the typed-data JSON),\n"
      "Tron \"tip191\" (the default) and \"raw\", Bitcoin \"bip137\" (the address kind its header\n"
      "names) and \"raw\", Cosmos \"raw\". The signature is the format's text (hex, 0x optional;\n"
      "base64 for bip137) or its bytes.\n\n"
      "Raises:\n    InvalidInputError: unknown chain or format, a format without recovery, bad hex\n"
      "        or base64.\n"
      "    SignerError: a malformed signature or typed data.");
  m.def(
      "verify_message",
      [](const nb::str& chain, const nb::str& address, const TextOrBytes& message, const TextOrBytes& signature,
         const OptStr& format, const OptStr& public_key, const OptStr& domain, std::optional<std::uint64_t> timestamp,
         const OptStr& state_init) {
        const auto c = text(chain);
        const auto a = text(address);
        const auto msg = message_of(message);
        const auto f = opt_text(format);
        const auto sig = signature_of(c, signature, f);
        const vek_lib::MessageContext context{opt_text(domain), timestamp, std::holds_alternative<nb::bytes>(message),
                                              opt_text(public_key), opt_text(state_init)};
        return take(released([&] { return vek_lib::verify_message(c, a, msg, sig, f, context); }));
      },
      "chain"_a, "address"_a, "message"_a, "signature"_a, "format"_a = nb::none(), "public_key"_a = nb::none(),
      "domain"_a = nb::none(), "timestamp"_a = nb::none(), "state_init"_a = nb::none(),
      "Whether `address` signed `message` on `chain` in `format` (None: the family's standard).\n"
      "EVM: \"eip191\", \"eip712\". Solana: \"raw\", \"offchain\", \"offchain_domain\". Bitcoin: \"bip322\"\n"
      "(P2WPKH), \"bip137\", \"raw\". Cosmos: \"adr036\", \"raw\". Tron: \"tip191\", \"raw\". TON: \"raw\", \"ton_proof\",\n"
      "\"sign_data\" (str: text, bytes: binary); TON checks need the signer's `public_key` (hex or\n"
      "base64; it must give the address with this library's wallet contract on the chain's\n"
      "network) or the wallet's `state_init` (base64, as a TON Connect proof carries it; the\n"
      "address must be its hash, and the key is read from it for wallets v3r1, v3r2, v4r2, v5r1\n"
      "and v5 beta), and ton_proof and sign_data the `domain` and `timestamp` that were signed.\n"
      "Solana \"offchain\" and \"offchain_domain\" checks accept either header with any format byte\n"
      "that admits the message. The signature is the format's text\n"
      "(base64 for bip322, bip137, adr036, ton_proof and sign_data; base58 for the offchain formats; hex, 0x\n"
      "optional, for the others) or its bytes.\n"
      "False for a well-formed signature of another key or of none.\n\n"
      "Raises:\n    InvalidInputError: unknown chain or format, bad hex, base64 or base58, a malformed\n"
      "        EVM address, a TON check without its public key or state_init, domain or timestamp.\n"
      "    SignerError: a malformed address of the other families, a signature of the wrong length,\n"
      "        v or header, a malformed BIP-322 witness, malformed typed data, a state_init that\n"
      "        does not parse or holds no wallet of those versions.");
  m.def(
      "verify_typed_data",
      [](const nb::str& chain, const nb::str& address, const nb::str& typed_data, const TextOrBytes& signature) {
        const auto c = text(chain);
        const auto a = text(address);
        const auto t = text(typed_data);
        const std::span<const std::uint8_t> msg(reinterpret_cast<const std::uint8_t*>(t.data()), t.size());
        const auto sig = signature_of(c, signature, "eip712");
        return take(released([&] { return vek_lib::verify_message(c, a, msg, sig, "eip712"); }));
      },
      "chain"_a, "address"_a, "typed_data"_a, "signature"_a,
      "verify_message with format=\"eip712\": whether `address` signed the EIP-712 typed data.");
}

// Functions that need no vault.
void bind_functions(nb::module_& m) {
  m.def(
      "preset_path",
      [](const nb::str& preset, const nb::str& chain, std::uint32_t index) {
        const auto p = text(preset);
        const auto c = text(chain);
        return take(vek_lib::preset_path(p, c, index));
      },
      "preset"_a, "chain"_a, "index"_a = 0,
      "The derivation path other wallets use for account `index` of `chain`, by preset:\n"
      "\"default\" (the chain's default path for index), \"evm-account\" (m/44'/60'/i'/0/0),\n"
      "\"solana-account\" (m/44'/501'/i'), \"solana-seed\" (\"seed[0:32]\": the first 32 bytes of\n"
      "the BIP-39 seed as the key, as the Solana command-line tools take a phrase; index 0 only),\n"
      "\"bitcoin-bip84\" (m/84'/0'/i'/0/0; coin type 1 on the test networks). Give it to\n"
      "Session.derive, add_account or a signing method as path=, or to Vault.import_mnemonic\n"
      "in paths=.\n\n"
      "Raises:\n    InvalidInputError: unknown chain or preset, a preset of another family.");
  m.def(
      "derive_address",
      [](const nb::str& phrase, const nb::str& chain, OptIndex index, const OptStr& bip39_passphrase) {
        const auto ph = text(phrase);
        const auto c = text(chain);
        const auto b = opt_text(bip39_passphrase);
        return take(released([&] { return vek_lib::derive_address(ph, c, index, b); }));
      },
      "phrase"_a, "chain"_a, "index"_a = nb::none(), "bip39_passphrase"_a = nb::none(),
      "The address of `chain` at its family's default path for `index` (default 0), from the\n"
      "phrase's seed under bip39_passphrase (None: none; ASCII only).\n\n"
      "Raises:\n    InvalidInputError: unknown chain, a BIP-39 passphrase that is not ASCII.\n"
      "    MnemonicError: the phrase is invalid.\n    DerivationError: the index is out of range.");
}

}  // namespace
}  // namespace vek_api

NB_MODULE(_vek, m) {
  m.doc() = "The application face of vek: Vault, Session, their results and exceptions.";
  nb::set_leak_warnings(false);
  vek_api::register_exceptions(m);
  vek_api::bind_results(m);
  vek_api::bind_chains(m);
  vek_api::bind_session(m);
  vek_api::bind_vault(m);
  vek_api::bind_verification(m);
  vek_api::bind_functions(m);
  vek_api::bind_review(m);
}
