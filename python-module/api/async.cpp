// The awaitable forms for asyncio applications: Vault.unlock_async, Session.send_async and
// Session.wait_async run the blocking method in the running event loop's default
// executor. Cancelling the awaiting task cancels a send or a wait through a vek.Cancel.
#include <nanobind/nanobind.h>

#include "bindings.h"
#include "vek/lib/cancel.h"

namespace nb = nanobind;

namespace vek_api {
namespace {

constexpr const char* kUnlockAsyncDoc =
    "unlock() for asyncio: an awaitable of the Session, the key derivation run in the running\n"
    "loop's default executor. Cancelling the task does not stop the derivation; the session\n"
    "it makes is then dropped (and wiped). Raises what unlock() raises, when awaited.";
constexpr const char* kSendAsyncDoc =
    "send() for asyncio: an awaitable of the transaction hash, the call run in the running\n"
    "loop's default executor. Cancelling the task cancels the send (its curl is killed at\n"
    "once) and raises CancelledError: whether the transaction was sent is then not known\n"
    "unless nothing had gone out. Raises what send() raises, when awaited.";
constexpr const char* kWaitAsyncDoc =
    "wait() for asyncio: an awaitable of the Receipt, the call run in the running loop's\n"
    "default executor. Cancelling the task ends the wait at once and raises CancelledError.\n"
    "Raises what wait() raises, when awaited.";

// `self.<name>(*args, **kwargs)` run in the running loop's default executor: its asyncio
// future. With `cancellable`, the call gets a new vek.Cancel, raised when the future is
// cancelled (the awaiting task was).
nb::object in_executor(nb::handle self, const char* name, const nb::args& args, const nb::kwargs& kwargs,
                       bool cancellable) {
  nb::object loop = nb::module_::import_("asyncio").attr("get_running_loop")();
  nb::object token;
  if (cancellable) {
    if (kwargs.contains("cancel")) {
      throw nb::type_error((std::string(name) + "_async() takes no cancel: cancel the awaiting task instead").c_str());
    }
    token = nb::type<vek_lib::CancelToken>()();
    kwargs["cancel"] = token;
  }
  nb::object method = self.attr(name);
  nb::object call = nb::cpp_function([method, args, kwargs]() {
    PyObject* result = PyObject_Call(method.ptr(), args.ptr(), kwargs.ptr());
    if (result == nullptr) throw nb::python_error();
    return nb::steal(result);
  });
  nb::object future = loop.attr("run_in_executor")(nb::none(), call);
  if (cancellable) {
    future.attr("add_done_callback")(nb::cpp_function([token](nb::handle done) {
      if (nb::cast<bool>(done.attr("cancelled")())) nb::cast<vek_lib::CancelToken&>(token).cancel();
    }));
  }
  return future;
}

// Adds the method `name` to the class `cls`, as nanobind's class_::def does.
template <typename F, typename... Extra>
void add_method(nb::handle cls, const char* name, F&& f, const Extra&... extra) {
  nb::cpp_function_def(std::forward<F>(f), nb::scope(cls), nb::name(name), nb::is_method(), extra...);
}

}  // namespace

void bind_async(nb::module_& m) {
  add_method(
      m.attr("Vault"), "unlock_async",
      [](nb::handle self, nb::args args, nb::kwargs kwargs) { return in_executor(self, "unlock", args, kwargs, false); },
      nb::sig("def unlock_async(self, name_or_id: str, passphrase: str | None = None, ttl: float | None = None, "
              "bip39_passphrase: str | None = None) -> asyncio.Future[Session]"),
      kUnlockAsyncDoc);
  nb::handle session = m.attr("Session");
  add_method(
      session, "send_async",
      [](nb::handle self, nb::args args, nb::kwargs kwargs) { return in_executor(self, "send", args, kwargs, true); },
      nb::sig("def send_async(self, chain: str, tx: str | bytes, rpc_url: str | None = None, index: int | None = None, "
              "path: str | None = None, *, timeout: float | None = None) -> asyncio.Future[str]"),
      kSendAsyncDoc);
  add_method(
      session, "wait_async",
      [](nb::handle self, nb::args args, nb::kwargs kwargs) { return in_executor(self, "wait", args, kwargs, true); },
      nb::sig("def wait_async(self, chain: str, tx_hash: str, *, rpc_url: str | None = None, "
              "timeout: float | None = None) -> asyncio.Future[Receipt]"),
      kWaitAsyncDoc);
}

}  // namespace vek_api
