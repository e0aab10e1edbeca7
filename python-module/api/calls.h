// How a bound method calls the library: arguments borrowed from their Python objects,
// the wallet operation run without the interpreter lock, secrets handed over and wiped.
#pragma once

#include "interop.h"

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

using vek_py::python_signals_let_wait;
using vek_py::secret_str;

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

}  // namespace vek_api
