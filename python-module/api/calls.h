// How a bound method calls the library: arguments borrowed from their Python objects,
// the wallet operation run without the interpreter lock, secrets handed over and wiped.
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/stl/optional.h>
#include <nanobind/stl/string.h>
#include <nanobind/stl/variant.h>

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <variant>

#include "errors.h"
#include "values.h"
#include "vek/lib/broadcast.h"
#include "vek/lib/ops.h"
#include "vek/signer/crypto.h"

namespace vek_api {

using OptStr = std::optional<nanobind::str>;
using TextOrBytes = std::variant<nanobind::str, nanobind::bytes>;

inline vek_lib::OptText opt_text(const OptStr& s) { return s ? vek_lib::OptText(text(*s)) : std::nullopt; }

inline std::span<const std::uint8_t> bytes_of(const nanobind::bytes& b) {
  return {reinterpret_cast<const std::uint8_t*>(b.c_str()), b.size()};
}

// Calls `f` with the bytes of a bytes object, or with the text of a str (which the library
// reads as hex, or as the message itself, as the operation says).
template <typename F>
auto with_text_or_bytes(const TextOrBytes& value, F&& f) {
  if (const auto* raw = std::get_if<nanobind::bytes>(&value)) return f(bytes_of(*raw));
  return f(text(std::get<nanobind::str>(value)));
}

// The wait for curl or for a free core runs Python's signal handlers (taking the lock for
// each check, every 20 to 50 ms), and so does a keystore import after its key stretching:
// one that raises (Ctrl-C's KeyboardInterrupt, an alarm's exception) ends the wait or the
// import, and that exception, not the operation's "interrupted", is what the caller sees.
bool python_signals_let_wait();

// Runs `f` without the interpreter lock. Reading a vault creates nothing; its
// directories come with the first wallet written. A key derivation waiting for a free
// core runs Python's signal handlers meanwhile; the exception one raises is what the
// caller sees.
template <typename F>
auto released(F&& f) {
  auto result = [&] {
    nanobind::gil_scoped_release unlocked;
    const vek_lib::ScopedCreateOnWrite create_on_write;
    const vek_signer::ScopedKdfWaitCheck signals(python_signals_let_wait);
    return f();
  }();
  if (!result && PyErr_Occurred() != nullptr) throw nanobind::python_error();
  return result;
}

// released(), with the wait for the node open to Python's signal handlers too; the
// transaction hash or the exception.
template <typename F>
std::string send_letting_signals_in(F&& send) {
  return take(released([&] {
    const vek_lib::ScopedBroadcastCheck signals(python_signals_let_wait);
    return send();
  }));
}

// A str result that carries a secret: the native copy is wiped once Python has its own.
nanobind::str secret_str(std::string&& secret);

}  // namespace vek_api
