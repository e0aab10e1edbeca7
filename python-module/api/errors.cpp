#include "errors.h"

#include <nanobind/stl/string.h>
#include <nanobind/stl/tuple.h>
#include <nanobind/stl/vector.h>

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

#include "vek/core/error.h"

#include "interop.h"

namespace nb = nanobind;

namespace vek_api {
namespace {

// The classes of vek_core::error_classes(), in its order, created once by
// register_exceptions and kept for the life of the process, like the module.
std::vector<std::pair<std::string_view, PyObject*>> g_types;

PyObject* type_named(std::string_view name) {
  for (const auto& [n, type] : g_types) {
    if (n == name) return type;
  }
  return PyExc_RuntimeError;  // not reached: the core table checks that every class is listed
}

// The message: vek._native's, except for two failures that one must not misread. A
// phrase error quotes no more of the phrase than the word not in the list (tracebacks
// and logs keep messages), and scrypt without memory says so rather than "decryption
// failed", which reads as a wrong passphrase.
std::string message_of(const vek_lib::VekLibError& e) {
  if (e.scrypt_memory_bytes != 0) {
    constexpr std::uint64_t kMiB = std::uint64_t{1} << 20;
    return "not enough memory for the key derivation: scrypt needs " + std::to_string(e.scrypt_memory_bytes) +
           " bytes (" + std::to_string((e.scrypt_memory_bytes + kMiB - 1) / kMiB) + " MiB)";
  }
  return e.display_without_phrase();
}

}  // namespace

void register_exceptions(nb::module_& m) {
  const std::string module_name = nb::cast<std::string>(m.attr("__name__"));
  for (const vek_core::ErrorClassInfo& c : vek_core::error_classes()) {
    PyObject* base = c.base.empty() ? PyExc_RuntimeError : type_named(c.base);
    const std::string name(c.name);
    const std::string qualified = module_name + "." + name;
    const std::string doc(c.doc);
    nb::object bases = c.out_of_memory ? nb::object(nb::make_tuple(nb::handle(base), nb::handle(PyExc_MemoryError)))
                                       : nb::borrow(base);
    PyObject* type = PyErr_NewExceptionWithDoc(qualified.c_str(), doc.c_str(), bases.ptr(), nullptr);
    if (type == nullptr) throw nb::python_error();
    g_types.emplace_back(c.name, type);  // the reference is kept
    m.attr(name.c_str()) = nb::handle(type);
  }
  m.def(
      "error_codes",
      [] {
        std::vector<std::tuple<std::string, std::string, std::string, std::string>> rows;
        for (const vek_core::ErrorInfo& row : vek_core::error_table()) {
          rows.emplace_back(row.name, row.format, row.error_class, row.description);
        }
        return rows;
      },
      "Every error code as (name, message format, exception class, description), in the order of the codes.");
  // A C++ exception that escapes an operation is a fault of this code, not of the
  // caller's input: InternalError, a VekError, rather than nanobind's generic mapping.
  // Python errors, nanobind's own argument errors and MemoryError keep their classes.
  nb::register_exception_translator([](const std::exception_ptr& p, void*) {
    try {
      std::rethrow_exception(p);
    } catch (const nb::python_error&) {
      throw;
    } catch (const nb::builtin_exception&) {
      throw;
    } catch (const std::bad_alloc&) {
      throw;
    } catch (const std::exception& e) {
      PyErr_SetString(type_named(vek_core::kInternalClass), (std::string("internal error: ") + e.what()).c_str());
    }
  });
}

void raise(const vek_lib::VekLibError& error) {
  PyObject* type = type_named(vek_core::error_class_of(error));
  if (error.tx_hash.empty()) vek_py::raise_text(type, message_of(error));
  // The errors about a transaction's fate name it in `tx_hash` too, for the caller to look up.
  const std::string message = message_of(error);
  nb::object text = nb::steal(PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text.is_valid()) throw nb::python_error();
  nb::object exc = nb::steal(PyObject_CallOneArg(type, text.ptr()));
  if (!exc.is_valid()) throw nb::python_error();
  exc.attr("tx_hash") = nb::str(error.tx_hash.c_str(), error.tx_hash.size());
  PyErr_SetObject(type, exc.ptr());
  throw nb::python_error();
}

}  // namespace vek_api
