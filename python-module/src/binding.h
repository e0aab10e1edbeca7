// The generic, table-driven binding of Python calls to wallet operations.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace vek_py {

// The four kinds of parameter.
enum class ParamKind : std::uint8_t {
  Text,         // a str (subclasses included), as its UTF-8 bytes
  OptText,      // omitted or None: absent; otherwise as Text
  OptInt,       // omitted or None: absent; otherwise an integer in 0..4294967295
  IntDefault12  // omitted: 12; otherwise an integer in 0..4294967295 (None refused)
};

struct Param {
  const char* name;
  ParamKind kind;
};

inline constexpr std::size_t kMaxParams = 7;

// Converted argument values, one slot per parameter in parameter order.
struct Args {
  std::array<std::optional<std::string_view>, kMaxParams> text{};
  std::array<std::optional<std::uint32_t>, kMaxParams> integer{};

  [[nodiscard]] std::string_view str(std::size_t i) const { return *text[i]; }
  [[nodiscard]] std::optional<std::string_view> opt_str(std::size_t i) const { return text[i]; }
  [[nodiscard]] std::optional<std::uint32_t> opt_int(std::size_t i) const { return integer[i]; }
  [[nodiscard]] std::uint32_t int_or(std::size_t i, std::uint32_t def) const { return integer[i].value_or(def); }
};

using Impl = PyObject* (*)(const Args& args);

// One row of the function table.
struct FunctionRow {
  const char* name;
  const char* doc;  // "signature\n--\n\ndescription"
  std::span<const Param> params;
  std::size_t required;  // leading parameters without a default
  Impl impl;             // calls one operation and builds its result (or raises)
};

// Binds (position and keyword), converts in parameter order, calls the row's
// implementation, and turns any escaped C++ exception into PanicException.
PyObject* call_row(const FunctionRow& row, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);

// The table, in registration order (functions.cpp).
std::span<const FunctionRow> function_table();

}  // namespace vek_py
