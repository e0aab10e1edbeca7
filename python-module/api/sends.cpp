// Calls to a node with a time limit and a cancel token: vek.Cancel, vek.Receipt,
// Session.send and Session.wait.
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/variant.h>

#include <cstdint>
#include <optional>
#include <string>
#include <tuple>

#include "bindings.h"
#include "calls.h"
#include "vek/lib/cancel.h"
#include "vek/lib/session.h"
#include "vek/lib/wait.h"

namespace nb = nanobind;
using namespace nb::literals;

namespace vek_api {
namespace {

using vek_lib::CancelToken;
using vek_lib::Receipt;
using vek_lib::Session;

constexpr const char* kCancelDoc =
    "A flag that ends the sends, broadcasts and waits it is given (cancel=...) from any thread.\n\n"
    "cancel() kills the call's curl at once; the call then raises NotSentError (nothing had\n"
    "gone out yet), SendOutcomeUnknownError (the request was under way) or WaitCancelledError.\n"
    "A token cannot be reset: use a new one for the next call.";
constexpr const char* kReceiptDoc = "What the node says of an included transaction (Session.wait).";
constexpr const char* kSendDoc =
    "Signs an unsigned EVM or Solana transaction, submits it and returns the node's\n"
    "transaction hash, which must be the transaction's own. Without rpc_url the endpoint\n"
    "is rpc_endpoint(chain)'s. The URL and the request reach curl on its standard input,\n"
    "never its command line; a redirect is followed only to the endpoint's own host.\n\n"
    "timeout: seconds the call may take (None: the configuration file's \"timeout\", else 30).\n"
    "cancel: a vek.Cancel another thread may use to end the call.\n\n"
    "Raises:\n    InvalidInputError: unknown chain, bad hex, a timeout not above 0; without\n"
    "        rpc_url or timeout, a configuration file that exists but is not used; without\n"
    "        rpc_url, a chain without an endpoint; EVM: another chain's id, bytes after the\n"
    "        RLP list, RLP that is not canonical (the message says which); Solana: as\n"
    "        sign_transaction, and a required signature of another signer still missing\n"
    "        (nothing is sent; sign with sign_transaction, add the others, then broadcast).\n"
    "    SessionClosedError: the session is closed.\n"
    "    SignerError: the transaction cannot be signed or completed.\n"
    "    NotSentError: certainly not submitted (no connection, the node refused it, an HTTP\n"
    "        4xx status, cancelled before the request): sending again is safe.\n"
    "    SendOutcomeUnknownError: the request went out, no complete answer came (time-out,\n"
    "        cancelled, connection lost, HTTP 5xx); its tx_hash is the hash to look up.\n"
    "    BroadcastError, JsonError: a redirect to another host, a reply without a hash or\n"
    "        with another transaction's hash.";
constexpr const char* kWaitDoc =
    "Waits until the node has included the transaction `tx_hash` and returns its Receipt.\n\n"
    "EVM: asks eth_getTransactionReceipt until there is a receipt; Solana: asks\n"
    "getSignatureStatuses until the signature is \"confirmed\" or \"finalized\". It asks every\n"
    "0.5 s at first, then less often (up to every 2 s); a question the node does not answer is\n"
    "asked again. Each request has the configuration's timeout. The endpoint is chosen as\n"
    "for send. The session's keys are not used: it may be closed.\n\n"
    "timeout: seconds for the whole wait (None: 120).\n"
    "cancel: a vek.Cancel another thread may use to end the wait.\n\n"
    "Raises:\n    InvalidInputError: unknown chain, a family other than EVM and Solana, a hash\n"
    "        that is not one of the chain's, a timeout not above 0.\n"
    "    WaitTimeoutError: nothing within the timeout; the transaction may still be included.\n"
    "    WaitCancelledError: cancelled.\n"
    "    BroadcastError, JsonError: the node refused the question or answered nonsense.";

// released(), with the wait for the node open to Python's signal handlers too.
template <typename F>
auto letting_signals_in(F&& call) {
  return take(released([&] {
    const vek_lib::ScopedBroadcastCheck signals(python_signals_let_wait);
    return call();
  }));
}

std::string sign_and_send(Session& s, const nb::str& chain, const TextOrBytes& tx, const OptStr& rpc_url,
                          vek_lib::OptIndex index, const OptStr& path, std::optional<double> timeout,
                          const CancelToken* cancel) {
  const auto c = text(chain);
  const auto url = opt_text(rpc_url);
  const vek_lib::AccountRef which(index, opt_text(path));
  const vek_lib::CallLimits limits{timeout, cancel};
  return with_text_or_bytes(tx, [&](auto given) {
    return letting_signals_in([&] { return s.send(c, given, url, which, limits); });
  });
}

Receipt wait(const Session&, const nb::str& chain, const nb::str& tx_hash, const OptStr& rpc_url,
             std::optional<double> timeout, const CancelToken* cancel) {
  const auto c = text(chain);
  const auto h = text(tx_hash);
  const auto url = opt_text(rpc_url);
  const vek_lib::CallLimits limits{timeout, cancel};
  return letting_signals_in([&] { return vek_lib::wait_for_transaction(c, h, url, limits); });
}

using ReceiptState = std::tuple<std::string, std::string, std::uint64_t, std::optional<std::uint64_t>,
                                std::optional<std::string>>;

void bind_receipt(nb::module_& m) {
  nb::class_<Receipt> receipt(m, "Receipt", kReceiptDoc);
  receipt.def_ro("tx_hash", &Receipt::tx_hash, "The transaction's hash (EVM: lower-case hex) or Solana signature.")
      .def_ro("status", &Receipt::status,
              "\"success\"; \"reverted\" (EVM: included, but its execution failed) or \"failed\" (Solana).")
      .def_ro("block_number", &Receipt::block_number, "The block's number (EVM) or the slot (Solana).")
      .def_ro("gas_used", &Receipt::gas_used, "The gas the transaction used (EVM); None on Solana.")
      .def_ro("error", &Receipt::error, "Solana: the node's `err` as compact JSON when it failed; otherwise None.")
      .def("__getstate__",
           [](const Receipt& r) { return ReceiptState{r.tx_hash, r.status, r.block_number, r.gas_used, r.error}; })
      .def("__setstate__", [](Receipt& r, const ReceiptState& s) {
        new (&r) Receipt{std::get<0>(s), std::get<1>(s), std::get<2>(s), std::get<3>(s), std::get<4>(s)};
      });
  value_methods(receipt, "Receipt", {"tx_hash", "status", "block_number", "gas_used", "error"});
}

}  // namespace

void bind_sends(nb::module_& m, nb::class_<Session>& session) {
  nb::class_<CancelToken>(m, "Cancel", kCancelDoc)
      .def(nb::init<>())
      .def("cancel", &CancelToken::cancel, "Ends the calls given this token, now and later. Safe from any thread.")
      .def_prop_ro("cancelled", &CancelToken::cancelled, "Whether cancel() was called.")
      .def("__repr__", [](const CancelToken& t) { return t.cancelled() ? "<vek.Cancel (cancelled)>" : "<vek.Cancel>"; });
  bind_receipt(m);
  session
      .def("send", &sign_and_send, "chain"_a, "tx"_a, "rpc_url"_a = nb::none(), "index"_a = nb::none(),
           "path"_a = nb::none(), nb::kw_only(), "timeout"_a = nb::none(), "cancel"_a.none() = nb::none(), kSendDoc)
      .def("wait", &wait, "chain"_a, "tx_hash"_a, nb::kw_only(), "rpc_url"_a = nb::none(), "timeout"_a = nb::none(),
           "cancel"_a.none() = nb::none(), kWaitDoc);
}

}  // namespace vek_api
