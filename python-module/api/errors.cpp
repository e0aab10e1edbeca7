#include "errors.h"

#include <nanobind/stl/string.h>

#include <array>
#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <variant>

#include "interop.h"

namespace nb = nanobind;

namespace vek_api {
namespace {

enum Exc : std::size_t {
  kVekError,
  kWalletNotFound,
  kAmbiguousWallet,
  kWalletNameExists,
  kInvalidInput,
  kBroadcast,
  kCrypto,
  kWrongPassphrase,
  kSigner,
  kMnemonic,
  kDerivation,
  kVault,
  kJson,
  kSessionClosed,
  kOutOfMemory,
  kInternal,
  kExcCount
};

struct ExcDef {
  Exc id;
  const char* name;
  Exc base;  // kExcCount: RuntimeError
  const char* doc;
  bool memory = false;  // also a MemoryError
};

constexpr std::array<ExcDef, kExcCount> kDefs = {{
    {kVekError, "VekError", kExcCount,
     "Every failure of a vek operation. A RuntimeError, with the same one-line message as vek._native."},
    {kWalletNotFound, "WalletNotFoundError", kVekError, "No wallet has that id or name."},
    {kAmbiguousWallet, "AmbiguousWalletError", kVekError, "Several wallets have that name; use the wallet id."},
    {kWalletNameExists, "WalletNameExistsError", kVekError, "Another wallet already has that name."},
    {kInvalidInput, "InvalidInputError", kVekError,
     "An argument or a stored value is not acceptable (chain, hex, word count, encoding, key data, ...)."},
    {kBroadcast, "BroadcastError", kVekError,
     "A transaction could not be submitted, or the node's reply had no transaction hash."},
    {kCrypto, "CryptoError", kVekError, "The wallet's encryption envelope cannot be used (bad parameters or data)."},
    {kWrongPassphrase, "WrongPassphraseError", kCrypto,
     "The envelope did not authenticate: a wrong passphrase (or altered encrypted data)."},
    {kSigner, "SignerError", kVekError, "The chain's signer refused a key, message or transaction."},
    {kMnemonic, "MnemonicError", kVekError, "A recovery phrase is invalid, or one could not be generated."},
    {kDerivation, "DerivationError", kVekError, "A key could not be derived (derivation path or index)."},
    {kVault, "VaultError", kVekError, "The vault directory or a wallet file could not be read or written."},
    {kJson, "JsonError", kVekError, "A document (wallet data or a node's reply) is not the JSON expected."},
    {kSessionClosed, "SessionClosedError", kVekError,
     "The session was closed or its time to live ran out; unlock the wallet again."},
    {kOutOfMemory, "OutOfMemoryError", kVekError,
     "The key derivation (scrypt) could not have its working memory; also a MemoryError. Nothing was\n"
     "decrypted or written: free memory (or raise the address-space limit) and try again.",
     true},
    {kInternal, "InternalError", kVekError,
     "An internal fault of the native code (vek._native raises PanicException for it). It should never\n"
     "happen; please report it. Nothing was written."},
}};

// Created once by register_exceptions and kept for the life of the process, like the module.
std::array<PyObject*, kExcCount> g_types{};

Exc class_of(const vek_lib::VekLibError& e) {
  using K = vek_lib::VekLibErrorKind;
  switch (e.kind()) {
    case K::WalletNotFound: return kWalletNotFound;
    case K::AmbiguousWallet: return kAmbiguousWallet;
    case K::WalletNameExists: return kWalletNameExists;
    case K::InvalidInput: return kInvalidInput;
    case K::BroadcastFailed: return kBroadcast;
    case K::Crypto: {
      const auto* c = std::get_if<vek_signer::CryptoError>(&e.inner());
      if (c != nullptr && c->scrypt_memory_bytes != 0) return kOutOfMemory;
      return c != nullptr && c->kind == vek_signer::CryptoErrorKind::DecryptionFailed ? kWrongPassphrase : kCrypto;
    }
    case K::Signer: return kSigner;
    case K::Mnemonic: return kMnemonic;
    case K::Hd: return kDerivation;
    case K::Io: return kVault;
    case K::Json: return kJson;
    case K::SessionClosed: return kSessionClosed;
  }
  return kVekError;
}

// The message: vek._native's, except for two failures that one must not misread. A
// phrase error quotes no more of the phrase than the word not in the list (tracebacks
// and logs keep messages), and scrypt without memory says so rather than "decryption
// failed", which reads as a wrong passphrase.
std::string message_of(const vek_lib::VekLibError& e) {
  if (const auto* m = std::get_if<vek_signer::MnemonicError>(&e.inner())) return m->display_without_phrase();
  if (const auto* c = std::get_if<vek_signer::CryptoError>(&e.inner()); c != nullptr && c->scrypt_memory_bytes != 0) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    return "not enough memory for the key derivation: scrypt needs " + std::to_string(c->scrypt_memory_bytes) +
           " bytes (" + std::to_string((c->scrypt_memory_bytes + kMiB - 1) / kMiB) + " MiB)";
  }
  return e.display();
}

}  // namespace

void register_exceptions(nb::module_& m) {
  const std::string module_name = nb::cast<std::string>(m.attr("__name__"));
  for (const ExcDef& d : kDefs) {
    PyObject* base = d.base == kExcCount ? PyExc_RuntimeError : g_types[d.base];
    const std::string qualified = module_name + "." + d.name;
    nb::object bases = d.memory ? nb::object(nb::make_tuple(nb::handle(base), nb::handle(PyExc_MemoryError)))
                                : nb::borrow(base);
    PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), d.doc, bases.ptr(), nullptr);
    if (type == nullptr) throw nb::python_error();
    g_types[d.id] = type;  // the reference is kept
    m.attr(d.name) = nb::handle(type);
  }
  // A C++ exception that escapes an operation is a fault of this code, not of the
  // caller's input: InternalError, a VekError, rather than nanobind's generic mapping.
  // Python errors, nanobind's own argument errors and MemoryError keep their classes.
  nb::register_exception_translator([](const std::exception_ptr& p, void*) {
    try {
      std::rethrow_exception(p);
    } catch (const nb::python_error&) {
      throw;
    } catch (const nb::builtin_exception&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      PyErr_SetString(g_types[kInternal], (std::string("internal error: ") + e.what()).c_str());
    }
  });
}

void raise(const vek_lib::VekLibError& error) { vek_py::raise_text(g_types[class_of(error)], message_of(error)); }

}  // namespace vek_api
