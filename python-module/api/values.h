// Conversions and value-type methods the binding files share.
#pragma once

#include <nanobind/nanobind.h>
#include <nanobind/stl/string.h>

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "interop.h"

namespace vek_api {

// The UTF-8 bytes of a str, borrowed from the object. Lone surrogates raise the
// interpreter's UnicodeEncodeError, as in vek._native.
inline std::string_view text(const nanobind::str& s) { return vek_py::utf8(s); }

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

// Gives a bound result type the repr and == of its `fields`.
template <typename T>
void value_methods(nanobind::class_<T>& cls, const char* name, Fields fields) {
  cls.def("__repr__", [name, fields](nanobind::handle self) { return fields_repr(self, name, fields); });
  cls.def(
      "__eq__", [fields](nanobind::handle self, nanobind::handle other) { return fields_eq(self, other, fields); },
      nanobind::sig("def __eq__(self, other: object, /) -> bool"));
}

}  // namespace vek_api
