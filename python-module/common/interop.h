// What both Python modules (vek._native and vek._vek) need between Python objects and
// the wallet library: borrowed UTF-8 texts, str results (wiped when they carry a
// secret), raising an exception with a library text, and the signal check of the waits.
#pragma once

#include <nanobind/nanobind.h>

#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>

#include "vek/lib/error.h"

namespace vek_py {

// The chains vek._native takes, in its table order: the seven EVM mainnets, then solana,
// bitcoin, cosmos, tron and ton. vek.Chain.native tells them apart for the application.
inline constexpr std::array<std::string_view, 12> kNativeChains = {
    "ethereum", "polygon", "arbitrum", "optimism", "base", "bsc", "avalanche", "solana", "bitcoin", "cosmos", "tron", "ton"};

[[nodiscard]] inline bool is_native_chain(std::string_view name) noexcept {
  return std::find(kNativeChains.begin(), kNativeChains.end(), name) != kNativeChains.end();
}

// The UTF-8 bytes of a str (subclasses included), borrowed from the object, which the
// caller keeps alive. Lone surrogates raise the interpreter's UnicodeEncodeError (as
// nanobind::python_error).
[[nodiscard]] std::string_view utf8(nanobind::handle str);

// A new str from UTF-8 text; text that is not UTF-8 raises the interpreter's
// UnicodeDecodeError (as nanobind::python_error).
[[nodiscard]] nanobind::str str_of(std::string_view text);

// A str result that carries a secret: the native copy is wiped once Python has its own
// (also when making the str fails).
[[nodiscard]] nanobind::str secret_str(std::string&& secret);

// Raises `type` with `text` decoded as UTF-8, invalid sequences replaced, as the single
// argument (by throwing nanobind::python_error).
[[noreturn]] void raise_text(PyObject* type, std::string_view text);

// The value of a library result, or its error given to `raise`, which throws.
template <typename T, typename Raise>
T value_or(vek_lib::VekResult<T>&& result, Raise&& raise) {
  if (!result) raise(result.error());
  if constexpr (!std::is_void_v<T>) return std::move(*result);
}

// Runs Python's signal handlers for a wait in the library (curl, a free core for a key
// derivation, a keystore's key stretching), taking the interpreter lock for the check
// when the waiting thread does not hold it. False when a handler raised: the wait ends,
// and the handler's exception (KeyboardInterrupt, an alarm's) is left set for the
// binding to raise instead of the operation's "interrupted".
[[nodiscard]] bool python_signals_let_wait();

}  // namespace vek_py
