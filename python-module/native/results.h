// The Python values vek._native returns: plain str, int, None, dict and list objects,
// built after the operation has returned. A failure while building one releases what
// was built and raises the interpreter's error (nanobind::python_error).
#pragma once

#include <nanobind/nanobind.h>

#include <string>
#include <vector>

#include "interop.h"
#include "vek/lib/error.h"
#include "vek/lib/types.h"

namespace vek_native {

// {"id", "name", "accounts": [{"chain_id", "address", "derivation_path"}, ...], "created_at"}
[[nodiscard]] nanobind::object wallet_dict(const vek_lib::WalletInfo& info);
// A list of wallet_dict, in the order given.
[[nodiscard]] nanobind::object wallet_list(const std::vector<vek_lib::WalletInfo>& infos);
// {"signature": str, "recovery_id": int or None}
[[nodiscard]] nanobind::object sign_dict(const vek_lib::SignResult& result);
// {"tx_hash": str}
[[nodiscard]] nanobind::object broadcast_dict(const std::string& tx_hash);

// Raises RuntimeError with the error's display text and nothing else.
[[noreturn]] void raise_error(const vek_lib::VekLibError& error);

// The value of an operation's result, or its error raised.
template <typename T>
T value_or_raise(vek_lib::VekResult<T>&& result) {
  return vek_py::value_or(std::move(result), raise_error);
}

}  // namespace vek_native
