// Conversions and value-type methods the binding files share.
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "interop.h"

namespace vek_api {

// The UTF-8 bytes of a str, borrowed from the object. Lone surrogates raise the
// interpreter's UnicodeEncodeError, as in vek._native.
inline std::string_view text(const nanobind::str& s) { return vek_py::utf8(s); }

// A decimal text of the library as a Python int (amounts may exceed 64 bits); None stays None.
inline std::optional<nanobind::int_> decimal_int(const std::optional<std::string>& digits) {
  if (!digits) return std::nullopt;
  PyObject* n = PyLong_FromString(digits->c_str(), nullptr, 10);
  if (n == nullptr) throw nanobind::python_error();
  return nanobind::steal<nanobind::int_>(n);
}

// repr and == of the result types, from their field names.
using Fields = std::vector<const char*>;

inline std::string fields_repr(nanobind::handle self, const char* cls, const Fields& fields) {
  std::string out = std::string(cls) + "(";
  const char* sep = "";
  for (const char* f : fields) {
    out += sep;
    out += f;
    out += "=";
    out += nanobind::cast<std::string>(nanobind::repr(self.attr(f)));
    sep = ", ";
  }
  return out + ")";
}

inline nanobind::object fields_eq(nanobind::handle a, nanobind::handle b, const Fields& fields) {
  if (!a.type().is(b.type())) return nanobind::borrow(Py_NotImplemented);
  for (const char* f : fields) {
    if (!a.attr(f).equal(b.attr(f))) return nanobind::bool_(false);
  }
  return nanobind::bool_(true);
}

// A field's value as plain JSON types: result types as their to_dict(), bytes as
// lower-case hex, lists (and tuples, as lists) and dicts member by member.
inline nanobind::object plain(nanobind::handle v) {
  if (nanobind::hasattr(v, "to_dict")) return v.attr("to_dict")();
  if (nanobind::isinstance<nanobind::bytes>(v)) return v.attr("hex")();
  if (nanobind::isinstance<nanobind::list>(v) || nanobind::isinstance<nanobind::tuple>(v)) {
    nanobind::list out;
    for (nanobind::handle item : v) out.append(plain(item));
    return out;
  }
  if (nanobind::isinstance<nanobind::dict>(v)) {
    nanobind::dict out;
    for (auto [key, item] : nanobind::borrow<nanobind::dict>(v)) out[key] = plain(item);
    return out;
  }
  return nanobind::borrow(v);
}

inline nanobind::dict fields_dict(nanobind::handle self, const Fields& fields) {
  nanobind::dict out;
  for (const char* f : fields) out[f] = plain(self.attr(f));
  return out;
}

// A hashable form of a plain value (lists as tuples, dicts as their sorted items), so
// that equal results hash alike.
inline nanobind::object frozen(nanobind::handle v) {
  if (nanobind::isinstance<nanobind::list>(v)) {
    nanobind::list items;
    for (nanobind::handle item : v) items.append(frozen(item));
    return nanobind::tuple(items);
  }
  if (nanobind::isinstance<nanobind::dict>(v)) {
    nanobind::list items;
    for (auto [key, item] : nanobind::borrow<nanobind::dict>(v)) items.append(nanobind::make_tuple(key, frozen(item)));
    items.sort();
    return nanobind::tuple(items);
  }
  return nanobind::borrow(v);
}

// Gives a bound result type the repr, ==, hash and to_dict() of its `fields`.
template <typename T>
void value_methods(nanobind::class_<T>& cls, const char* name, Fields fields) {
  cls.def("__repr__", [name, fields](nanobind::handle self) { return fields_repr(self, name, fields); });
  cls.def(
      "__eq__", [fields](nanobind::handle self, nanobind::handle other) { return fields_eq(self, other, fields); },
      nanobind::sig("def __eq__(self, other: object, /) -> bool"));
  cls.def("__hash__", [fields](nanobind::handle self) { return nanobind::hash(frozen(fields_dict(self, fields))); });
  cls.def(
      "to_dict", [fields](nanobind::handle self) { return fields_dict(self, fields); },
      nanobind::sig("def to_dict(self) -> dict[str, typing.Any]"),
      "The fields as a dict of plain JSON types (json.dumps writes it): nested results as dicts,\n"
      "bytes as lower-case hex.");
}

// Pickling of a result type held by value: its state is the tuple of `members`, and
// unpickling builds the object from them (nothing is half-made when a member does not
// convert).
template <typename T, typename... M>
void state_methods(nanobind::class_<T>& cls, M T::*... members) {
  cls.def(
      "__getstate__", [members...](const T& v) { return nanobind::make_tuple(v.*members...); },
      nanobind::sig("def __getstate__(self) -> tuple[typing.Any, ...]"));
  cls.def(
      "__setstate__",
      [members...](T& self, const nanobind::tuple& state) {
    if (state.size() != sizeof...(M)) throw nanobind::type_error("a pickled state of another shape");
    T value{};
    std::size_t i = 0;
    ((value.*members = nanobind::cast<M>(state[i++])), ...);
    new (&self) T(std::move(value));
      },
      nanobind::sig("def __setstate__(self, state: tuple[typing.Any, ...], /) -> None"));
}

}  // namespace vek_api
