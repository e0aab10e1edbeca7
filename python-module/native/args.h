// The four kinds of parameter of vek._native's functions, as C++ types, and how each is
// converted from the Python object bound to it.
#pragma once

#include <nanobind/nanobind.h>

#include <cstdint>
#include <optional>
#include <string_view>

namespace vek_native {

// A str (subclasses included), as its UTF-8 bytes borrowed from the object for the call.
using Text = std::string_view;
// Omitted or None: absent; otherwise as Text.
using OptText = std::optional<std::string_view>;
// Omitted or None: absent; otherwise an integer in 0..4294967295.
using OptIndex = std::optional<std::uint32_t>;
// Omitted: 12; otherwise an integer in 0..4294967295 (None is refused).
struct WordCount {
  std::uint32_t value;
};

// A str as Text. Non-str: TypeError "'{type}' object cannot be converted to 'PyString'";
// unencodable text: the interpreter's UnicodeEncodeError.
[[nodiscard]] Text text_arg(nanobind::handle obj);

// An int (subclasses and bool included) or an object with __index__, in 0..4294967295.
// Outside that range: OverflowError "out of range integral type conversion attempted";
// outside the signed 64-bit range: the interpreter's own OverflowError; no __index__:
// the interpreter's TypeError.
[[nodiscard]] std::uint32_t u32_arg(nanobind::handle obj);

// ArgCaster<T>::convert(obj) gives the value of a parameter of type T from the object
// bound to it (nullptr: omitted) or throws nanobind::python_error. `default_text` is the
// default the text signature shows; nullptr for a required parameter.
template <typename T>
struct ArgCaster;

template <>
struct ArgCaster<Text> {
  static constexpr const char* default_text = nullptr;
  static Text convert(PyObject* obj) { return text_arg(obj); }
};

// Omitted or None: absent; otherwise the value of `Convert`.
template <typename V, V (*Convert)(nanobind::handle)>
struct OptionalCaster {
  static constexpr const char* default_text = "None";
  static std::optional<V> convert(PyObject* obj) {
    if (obj == nullptr || obj == Py_None) return std::nullopt;
    return Convert(obj);
  }
};

template <>
struct ArgCaster<OptText> : OptionalCaster<Text, text_arg> {};

template <>
struct ArgCaster<OptIndex> : OptionalCaster<std::uint32_t, u32_arg> {};

template <>
struct ArgCaster<WordCount> {
  static constexpr const char* default_text = "12";
  static WordCount convert(PyObject* obj) { return {obj == nullptr ? 12U : u32_arg(obj)}; }
};

}  // namespace vek_native
