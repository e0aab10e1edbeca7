// vek.Session's EVM signing in the forms eth-account and web3 hand over (vek.web3 builds
// on these): a transaction dictionary, an EIP-191 message by its parts, a bare hash.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/variant.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "bindings.h"
#include "calls.h"
#include "vek/lib/session.h"
#include "vek/signer/hex.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::AccountRef;
using vek_lib::OptIndex;
using vek_lib::Session;

constexpr const char* kSignFieldsDoc =
    "Signs an EVM transaction given as its fields, the dictionary eth-account and web3 use:\n"
    "chainId (the chain's own when absent; another chain's is refused), nonce, gas,\n"
    "maxFeePerGas and maxPriorityFeePerGas (type 2), or gasPrice with accessList (type 1), to\n"
    "(absent or None: a contract creation), value, data (or input), accessList, type, from\n"
    "(must be the signing account). Integers are ints or \"0x\"-hex text, bytes values\n"
    "(data, to) bytes or \"0x\"-hex text; floats and bools are refused. The unsigned typed\n"
    "transaction is assembled here and signed as the hex form of it would be.\n\n"
    "Raises:\n    InvalidInputError: unknown chain, not an EVM chain, a missing or malformed field\n"
    "        (the message names it), a legacy transaction (gasPrice without accessList or\n"
    "        type 1; give maxFeePerGas and maxPriorityFeePerGas), another chain's chainId, a\n"
    "        from that is not the signing account.\n"
    "    SessionClosedError: the session is closed.\n    SignerError, DerivationError.";
constexpr const char* kSignSignableDoc =
    "Signs an EIP-191 signed-data message given by its parts after 0x19, as eth-account's\n"
    "SignableMessage holds them: version b\"E\" (a personal message: header b\"thereum Signed\n"
    "Message:\\n\" and the body's length), b\"\\x01\" (EIP-712: header the domain separator, body\n"
    "the struct hash, 32 bytes each; the domain's chainId cannot be checked from its hash),\n"
    "b\"\\x00\" (header the 20-byte intended validator). v is 27 or 28; format \"eip191\", or\n"
    "\"eip712\" for version 1.\n\n"
    "Raises:\n    InvalidInputError: unknown chain, not an EVM chain, another version, parts\n"
    "        of the wrong size.\n"
    "    SessionClosedError: the session is closed.\n    SignerError, DerivationError.";
constexpr const char* kUnsafeSignHashDoc =
    "Signs a 32-byte hash (bytes, or hex with or without 0x) as given with an EVM chain's key,\n"
    "as eth-account's unsafe_sign_hash: nothing says what the hash is of, and if it is a\n"
    "transaction's the signature authorises that transaction. v is 27 or 28.\n\n"
    "Raises:\n    InvalidInputError: unknown chain, not an EVM chain, bad hex, not 32 bytes.\n"
    "    SessionClosedError: the session is closed.\n    SignerError, DerivationError.";

constexpr int kMaxDepth = 8;  // a transaction's deepest value: accessList[i].storageKeys[k]

[[noreturn]] void refuse(const std::string& where, const std::string& what) {
  raise(vek_lib::VekLibError::invalid_input("transaction fields: " + where + " " + what));
}

std::string kind_of(nb::handle v) { return nb::cast<std::string>(nb::str(v.type().attr("__name__"))); }

// A Python value as JSON: ints as "0x"-hex text (exact at any size), bytes as "0x"-hex,
// str as it is, mappings and lists as objects and arrays, None as null.
nlohmann::json json_of(nb::handle v, const std::string& where, int depth) {
  if (depth > kMaxDepth) refuse(where, "nests too deeply");
  if (v.is_none()) return nullptr;
  if (PyBool_Check(v.ptr())) refuse(where, "is a bool; give an int");
  if (PyFloat_Check(v.ptr())) refuse(where, "is a float; give an int (exact) or 0x-hex text");
  if (PyLong_Check(v.ptr())) {
    if (PyObject_RichCompareBool(v.ptr(), nb::int_(0).ptr(), Py_LT) == 1) refuse(where, "is negative");
    return nb::cast<std::string>(nb::steal<nb::str>(PyNumber_ToBase(v.ptr(), 16)));
  }
  if (nb::isinstance<nb::str>(v)) return std::string(text(nb::borrow<nb::str>(v)));
  if (PyBytes_Check(v.ptr()) || PyByteArray_Check(v.ptr())) {
    const nb::bytes b(nb::steal(PyBytes_FromObject(v.ptr())));
    return "0x" + vek_signer::hex_encode(bytes_of(b));
  }
  if (PyDict_Check(v.ptr()) || nb::hasattr(v, "items")) {
    nlohmann::json out = nlohmann::json::object();
    for (nb::handle item : nb::iter(v.attr("items")())) {
      const nb::handle key = item[0];
      if (!nb::isinstance<nb::str>(key)) refuse(where, "has a key that is not a str");
      const std::string name(text(nb::borrow<nb::str>(key)));
      out[name] = json_of(item[1], where.empty() ? name : where + "." + name, depth + 1);
    }
    return out;
  }
  if (PyList_Check(v.ptr()) || PyTuple_Check(v.ptr())) {
    nlohmann::json out = nlohmann::json::array();
    std::size_t i = 0;
    for (nb::handle item : nb::iter(v)) {
      std::string at = where;
      at.append("[").append(std::to_string(i++)).append("]");
      out.push_back(json_of(item, at, depth + 1));
    }
    return out;
  }
  refuse(where, "has an unsupported type: " + kind_of(v));
}

using Fields = nb::typed<nb::mapping, nb::str, nb::any>;

vek_lib::SignedTransaction sign_fields(Session& s, const nb::str& chain, const Fields& tx, OptIndex index,
                                       const OptStr& path) {
  if (!nb::hasattr(tx, "items")) {
    raise(vek_lib::VekLibError::invalid_input("a transaction is hex text, bytes or a mapping of its fields, not " +
                                              kind_of(tx)));
  }
  const auto c = text(chain);
  const std::string fields = json_of(tx, "", 0).dump();
  const AccountRef which(index, opt_text(path));
  return take(released([&] { return s.sign_transaction_fields(c, fields, which); }));
}

vek_lib::SignResult sign_signable(Session& s, const nb::str& chain, const nb::bytes& version, const nb::bytes& header,
                                  const nb::bytes& body, OptIndex index, const OptStr& path) {
  if (version.size() != 1) {
    raise(vek_lib::VekLibError::invalid_input("the EIP-191 version is one byte, got " +
                                              std::to_string(version.size())));
  }
  const auto c = text(chain);
  const std::uint8_t v = bytes_of(version)[0];
  const auto h = bytes_of(header);
  const auto b = bytes_of(body);
  const AccountRef which(index, opt_text(path));
  return take(released([&] { return s.sign_signable_message(c, v, h, b, which); }));
}

vek_lib::SignResult unsafe_sign_hash(Session& s, const nb::str& chain, const TextOrBytes& hash, OptIndex index,
                                     const OptStr& path) {
  const auto c = text(chain);
  std::vector<std::uint8_t> digest;
  if (const auto* raw = std::get_if<nb::bytes>(&hash)) {
    const auto b = bytes_of(*raw);
    digest.assign(b.begin(), b.end());
  } else {
    std::string_view t = text(std::get<nb::str>(hash));
    if (t.starts_with("0x") || t.starts_with("0X")) t.remove_prefix(2);
    auto decoded = vek_signer::hex_decode(t);
    if (!decoded) raise(vek_lib::VekLibError::invalid_input("invalid hex hash: " + decoded.error()));
    digest = std::move(*decoded);
  }
  const AccountRef which(index, opt_text(path));
  return take(released([&] { return s.unsafe_sign_hash(c, digest, which); }));
}

}  // namespace

void bind_session_evm(nb::class_<Session>& session) {
  session
      .def("sign_transaction", &sign_fields, "chain"_a, "tx"_a, "index"_a = nb::none(), "path"_a = nb::none(),
           kSignFieldsDoc)
      .def("sign_signable_message", &sign_signable, "chain"_a, "version"_a, "header"_a, "body"_a,
           "index"_a = nb::none(), "path"_a = nb::none(), kSignSignableDoc)
      .def("unsafe_sign_hash", &unsafe_sign_hash, "chain"_a, "message_hash"_a, "index"_a = nb::none(),
           "path"_a = nb::none(), kUnsafeSignHashDoc);
}

}  // namespace vek_api
