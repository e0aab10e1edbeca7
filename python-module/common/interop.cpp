#include "interop.h"

#include <cstddef>

#include "vek/signer/zeroizing.h"

namespace nb = nanobind;

namespace vek_py {

std::string_view utf8(nb::handle str) {
  Py_ssize_t len = 0;
  const char* data = PyUnicode_AsUTF8AndSize(str.ptr(), &len);
  if (data == nullptr) throw nb::python_error();
  return {data, static_cast<std::size_t>(len)};
}

nb::str str_of(std::string_view text) {
  PyObject* s = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "strict");
  if (s == nullptr) throw nb::python_error();
  return nb::steal<nb::str>(s);
}

nb::str secret_str(std::string&& secret) {
  struct Wipe {
    std::string& s;
    ~Wipe() { vek_signer::wipe_string(s); }
  } wipe{secret};
  return str_of(secret);
}

void raise_text(PyObject* type, std::string_view text) {
  PyObject* message = PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
  if (message != nullptr) {
    PyErr_SetObject(type, message);
    Py_DECREF(message);
  }
  throw nb::python_error();
}

bool python_signals_let_wait() {
  const nb::gil_scoped_acquire locked;
  return PyErr_CheckSignals() == 0;
}

}  // namespace vek_py
