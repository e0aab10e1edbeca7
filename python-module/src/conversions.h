// Every conversion between Python objects and native values lives here.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "vek/lib/error.h"
#include "vek/lib/types.h"

namespace vek_py {

// A str (subclasses included) as its UTF-8 bytes, borrowed from the object for the call.
// Non-str: TypeError "'{type}' object cannot be converted to 'PyString'";
// unencodable text: the interpreter's UnicodeEncodeError.
[[nodiscard]] bool to_text(PyObject* obj, std::optional<std::string_view>& out);

// An int (or an object with __index__) in 0..4294967295. Outside that range:
// OverflowError "out of range integral type conversion attempted"; outside the signed
// 64-bit range: the interpreter's own OverflowError; no __index__: its TypeError.
[[nodiscard]] bool to_u32(PyObject* obj, std::optional<std::uint32_t>& out);

// Raises RuntimeError with the error's display text; returns NULL.
PyObject* map_err(const vek_lib::VekLibError& error);

// Raises PanicException (a BaseException subclass, created on first use); returns NULL.
PyObject* raise_panic(const char* message);

// Results. Each returns a new reference, or NULL with the interpreter's error set and
// everything built so far released.
[[nodiscard]] PyObject* str_result(std::string_view text);
[[nodiscard]] PyObject* wallet_info_to_dict(const vek_lib::WalletInfo& info);
[[nodiscard]] PyObject* wallet_list(const std::vector<vek_lib::WalletInfo>& infos);
// {"signature": str, "recovery_id": int or None}
[[nodiscard]] PyObject* sign_result_to_dict(const vek_lib::SignResult& result);
// {"tx_hash": str}
[[nodiscard]] PyObject* broadcast_result_to_dict(const std::string& tx_hash);

}  // namespace vek_py
