// vek.Session: one unlocked wallet that signs until it is closed. Every method converts its
// arguments, then runs the operation without the interpreter lock (calls.h).
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/unique_ptr.h>
#include <nanobind/stl/variant.h>
#include <nanobind/stl/vector.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>

#include "bindings.h"
#include "calls.h"
#include "vek/lib/session.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::AccountRef;
using vek_lib::OptIndex;
using vek_lib::Session;

constexpr const char* kSessionDoc =
    "One wallet, unlocked once by Vault.unlock, signing until it is closed.\n\n"
    "What signing needs is held in locked memory that is left out of core dumps and wiped by\n"
    "close(), at the end of a with block, when the session is garbage-collected, or at the\n"
    "first use after its time to live. A closed session raises SessionClosedError.\n"
    "With index=None a session signs with the account the wallet stores for the chain's\n"
    "family (its stored derivation path; the stored key of a private-key wallet); an index\n"
    "selects the family's default path for that index instead, a path (path=...) that path.\n"
    "Safe to share between\n"
    "threads; no method holds the interpreter lock while it works.";
constexpr const char* kClosedDoc =
    "Whether the session can no longer sign (closed, its time to live ran out, or used in a\n"
    "forked child of the process that unlocked it).";
constexpr const char* kAddressDoc =
    "The address that signs for `chain`: the stored account's when index and path are None,\n"
    "else the account at `index` (the family's default path) or `path` (a derivation path such\n"
    "as \"m/44'/60'/3'/0/0\"). Nothing is stored (add_account stores it).\n\n"
    "Raises:\n    InvalidInputError: unknown chain, both index and path, a path for a private-key wallet.\n"
    "    SessionClosedError: the session is closed.\n"
    "    DerivationError, SignerError: the key cannot be derived or used (a path that is not\n"
    "        valid for the family's curve).";
constexpr const char* kSignMessageDoc =
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
    "digits spell (0x optional); bytes are signed as they are (no encoding then).\n\n"
    "Raises:\n    InvalidInputError: unknown chain or format, bad hex, unknown encoding, a refused\n"
    "        raw message.\n"
    "    SessionClosedError: the session is closed.\n    DerivationError, SignerError.";
constexpr const char* kSignTypedDataDoc =
    "Signs EIP-712 typed data (the JSON text of eth_signTypedData_v4) with an EVM chain's\n"
    "key; the signature is r || s || v with v = 27 or 28.\n\n"
    "Raises:\n    InvalidInputError: unknown chain, not an EVM chain, a domain chainId that is not\n"
    "        the chain's.\n"
    "    SignerError: malformed typed data (the message names the member), or beyond a limit\n"
    "        (1 MiB, 1024 types, 1024 members of a type, 128 levels of nesting).\n"
    "    SessionClosedError: the session is closed.\n    DerivationError.";
constexpr const char* kSignTransactionDoc =
    "Signs an unsigned transaction: hex text (a leading \"0x\" is dropped) or bytes.\n\n"
    "EVM: the unsigned typed transaction (EIP-2718 type 1 or 2); the result also carries the\n"
    "signed transaction and its hash. Nothing is sent.\n\n"
    "Solana: the whole transaction (signature count, signature slots, message). The wallet's\n"
    "signature goes into the slot of its key among the message's required signers; the\n"
    "result's raw_transaction is the transaction with the other slots as given (lower-case\n"
    "hex without \"0x\"), for the other signers to add theirs (partial signing); tx_hash is the\n"
    "base58 of the first slot once that is filled. A message without its slots is signed\n"
    "when the wallet is its only signer (no raw_transaction then).\n\n"
    "Raises:\n    InvalidInputError: unknown chain, bad hex; EVM: another chain's id, bytes\n"
    "        after the RLP list, RLP that is not canonical (the message says which); Solana:\n"
    "        a malformed transaction, \"<address> is not a signer of this transaction\", a\n"
    "        message alone that needs several signatures.\n"
    "    SessionClosedError: the session is closed.\n"
    "    SignerError: the transaction cannot be signed or completed.\n    DerivationError.";
constexpr const char* kDeriveDoc =
    "Deprecated: Session.address, under its older name (it warns with DeprecationWarning).";
constexpr const char* kPublicKeyDoc =
    "The public key of the key that signs for `chain` (the account as in address()), in\n"
    "lower-case hex: the compressed point (33 bytes) for secp256k1 families, the 32-byte key\n"
    "for Ed25519 families; for the stored account, what Vault.public_key gives.\n\n"
    "Raises:\n    InvalidInputError: as address().\n    SessionClosedError: the session is closed.\n"
    "    DerivationError, SignerError: the key cannot be derived or used.";
constexpr const char* kAddAccountDoc =
    "Stores the account address() names in the wallet's file (after its accounts; written\n"
    "atomically) and returns the wallet as stored. An account already stored is not added\n"
    "twice. Session.wallet stays as it was when unlocked.\n\n"
    "Raises:\n    InvalidInputError: as address(), or a private-key wallet.\n"
    "    DerivationError.\n    SessionClosedError.\n"
    "    WalletNotFoundError: the wallet was deleted meanwhile.\n"
    "    VaultError: the file cannot be written, or holds another secret now.";

// An account: the stored one, the default path at `index`, or `path`.
AccountRef account(OptIndex index, const OptStr& path) { return AccountRef(index, opt_text(path)); }

void close_now(Session& s) {
  nb::gil_scoped_release unlocked;
  s.close();
}

bool is_closed(Session& s) {
  nb::gil_scoped_release unlocked;
  return s.closed();
}

// EVM signatures read as the EVM libraries write them: "0x" and lower-case hex.
vek_lib::SignResult evm_form(std::string_view chain, vek_lib::SignResult r) {
  const auto c = vek_lib::resolve_chain(chain);
  if (c && c->chain_type == vek_core::ChainType::Evm) r.signature.insert(0, "0x");
  return r;
}

std::string address(Session& s, const nb::str& chain, OptIndex index, const OptStr& path) {
  const auto c = text(chain);
  const auto which = account(index, path);
  return take(released([&] { return s.address(c, which); }));
}

vek_lib::SignResult sign_message(Session& s, const nb::str& chain, const TextOrBytes& message, const OptStr& encoding,
                                 OptIndex index, const OptStr& path, const OptStr& format, const OptStr& domain,
                                 std::optional<std::uint64_t> timestamp) {
  const auto c = text(chain);
  const auto which = account(index, path);
  const auto f = opt_text(format);
  vek_lib::MessageContext context{opt_text(domain), timestamp, false, std::nullopt, std::nullopt};
  if (const auto* raw = std::get_if<nb::bytes>(&message)) {
    if (encoding) raise(vek_lib::VekLibError::invalid_input("encoding applies only to a str message"));
    const auto b = bytes_of(*raw);
    context.binary = true;
    return evm_form(c, take(released([&] { return s.sign_message(c, b, which, f, context); })));
  }
  const auto t = text(std::get<nb::str>(message));
  const auto e = opt_text(encoding);
  return evm_form(c, take(released([&] { return s.sign_message(c, t, e, which, f, context); })));
}

vek_lib::SignResult sign_typed_data(Session& s, const nb::str& chain, const nb::str& typed_data, OptIndex index,
                                    const OptStr& path) {
  const auto c = text(chain);
  const auto t = text(typed_data);
  const auto which = account(index, path);
  return evm_form(c, take(released([&] { return s.sign_typed_data(c, t, which); })));
}

vek_lib::SignedTransaction sign_transaction(Session& s, const nb::str& chain, const TextOrBytes& tx, OptIndex index,
                                            const OptStr& path) {
  const auto c = text(chain);
  const auto which = account(index, path);
  auto signed_tx = with_text_or_bytes(tx, [&](auto given) {
    return take(released([&] { return s.sign_transaction(c, given, which); }));
  });
  signed_tx.signature = evm_form(c, std::move(signed_tx.signature));
  return signed_tx;
}

std::string derive(Session& s, const nb::str& chain, OptIndex index, const OptStr& path) {
  if (PyErr_WarnEx(PyExc_DeprecationWarning, "Session.derive is deprecated; use Session.address", 1) != 0) {
    throw nb::python_error();
  }
  return address(s, chain, index, path);
}

std::string public_key(Session& s, const nb::str& chain, OptIndex index, const OptStr& path) {
  const auto c = text(chain);
  const auto which = account(index, path);
  return take(released([&] { return s.public_key(c, which); }));
}


vek_lib::WalletInfo add_account(Session& s, const nb::str& chain, OptIndex index, const OptStr& path) {
  const auto c = text(chain);
  const auto which = account(index, path);
  return take(released([&] { return s.add_account(c, which); }));
}

std::string session_repr(nb::handle self) {
  const auto& s = nb::cast<Session&>(self);
  return "<vek.Session of wallet " + nb::cast<std::string>(nb::repr(nb::str(s.wallet().name.c_str()))) + ">";
}

void bind_lifetime(nb::class_<Session>& session) {
  session.def_prop_ro("wallet", [](const Session& s) { return s.wallet(); }, "The wallet, as it was when unlocked.")
      .def_prop_ro("closed", &is_closed, kClosedDoc)
      .def("close", &close_now, "Wipes the secret now. Closing again does nothing.")
      .def("__enter__", [](nb::handle self) { return self; }, nb::sig("def __enter__(self) -> Session"))
      .def(
          "__exit__", [](Session& s, nb::handle, nb::handle, nb::handle) { close_now(s); }, "exc_type"_a.none(),
          "exc"_a.none(), "tb"_a.none(),
          nb::sig("def __exit__(self, exc_type: type[BaseException] | None, exc: BaseException | None, "
                  "tb: types.TracebackType | None) -> None"));
}

void bind_signing(nb::class_<Session>& session) {
  session.def("address", &address, "chain"_a, "index"_a = nb::none(), "path"_a = nb::none(), kAddressDoc)
      .def("sign_message", &sign_message, "chain"_a, "message"_a, "encoding"_a = nb::none(), "index"_a = nb::none(),
           "path"_a = nb::none(), "format"_a = nb::none(), "domain"_a = nb::none(), "timestamp"_a = nb::none(),
           kSignMessageDoc)
      .def("sign_typed_data", &sign_typed_data, "chain"_a, "typed_data"_a, "index"_a = nb::none(),
           "path"_a = nb::none(), kSignTypedDataDoc)
      .def("sign_transaction", &sign_transaction, "chain"_a, "tx"_a, "index"_a = nb::none(), "path"_a = nb::none(),
           kSignTransactionDoc)
      .def("public_key", &public_key, "chain"_a, "index"_a = nb::none(), "path"_a = nb::none(), kPublicKeyDoc)
      .def("derive", &derive, "chain"_a, "index"_a = nb::none(), "path"_a = nb::none(), kDeriveDoc)
      .def("add_account", &add_account, "chain"_a, "index"_a = nb::none(), "path"_a = nb::none(), kAddAccountDoc);
}

}  // namespace

void bind_session(nb::module_& m) {
  nb::class_<Session> session(m, "Session", kSessionDoc);
  bind_lifetime(session);
  bind_signing(session);
  bind_session_evm(session);
  bind_ephemeral(session);
  bind_sends(m, session);  // send and wait, sends.cpp
  session.def("__repr__", &session_repr);
}

}  // namespace vek_api
