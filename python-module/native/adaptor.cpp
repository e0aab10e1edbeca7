#include "adaptor.h"

#include <exception>
#include <stdexcept>

namespace vek_native {
namespace {

[[noreturn]] void raise_set() { throw nb::python_error(); }

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'" as the interpreter words it.
std::string quoted_list(std::span<const char* const> names) {
  std::string out;
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (i > 0) out.append(names.size() == 2 ? " and " : (i + 1 == names.size() ? ", and " : ", "));
    out.append("'").append(names[i]).append("'");
  }
  return out;
}

// The parameter a keyword names, or params.size().
std::size_t keyword_index(const Function& fn, PyObject* key) {
  for (std::size_t p = 0; p < fn.params.size(); ++p) {
    if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, fn.params[p]) == 0) return p;
  }
  return fn.params.size();
}

// Fills `slots` (parameter order) with the borrowed arguments, or raises the interpreter's
// TypeError for a wrong count or name.
void bind(const Function& fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          std::array<PyObject*, kMaxParams>& slots) {
  const std::size_t total = fn.params.size();
  if (nargs < 0 || static_cast<std::size_t>(nargs) > total) {
    PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zd %s given", fn.name.c_str(),
                 fn.required, total, nargs, nargs == 1 ? "was" : "were");
    raise_set();
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<std::size_t>(i)] = args[i];

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    const std::size_t idx = keyword_index(fn, key);
    if (idx == total) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", fn.name.c_str(), key);
      raise_set();
    }
    if (slots[idx] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", fn.name.c_str(), fn.params[idx]);
      raise_set();
    }
    slots[idx] = args[nargs + k];
  }

  std::vector<const char*> missing;
  for (std::size_t p = 0; p < fn.required; ++p) {
    if (slots[p] == nullptr) missing.push_back(fn.params[p]);
  }
  if (!missing.empty()) {
    const std::string list = quoted_list(missing);
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s", fn.name.c_str(),
                 missing.size(), missing.size() == 1 ? "" : "s", list.c_str());
    raise_set();
  }
}

// Raises PanicException (a BaseException subclass, created on first use); returns NULL.
PyObject* raise_panic(const char* message) {
  // Created once and kept for the life of the process, like the module itself.
  static PyObject* panic_type = nullptr;
  if (panic_type == nullptr) {
    panic_type = PyErr_NewExceptionWithDoc("vek._native.PanicException",
                                           "An internal fault of the native code (never an input error).",
                                           PyExc_BaseException, nullptr);
    if (panic_type == nullptr) return nullptr;
  }
  PyErr_SetString(panic_type, message);
  return nullptr;
}

}  // namespace

PyObject* call(const Function& fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
  try {
    std::array<PyObject*, kMaxParams> slots{};
    bind(fn, args, nargs, kwnames, slots);
    return fn.invoke(fn, Slots(slots.data(), fn.params.size())).release().ptr();
  } catch (nb::python_error& e) {
    e.restore();
    return nullptr;
  } catch (const std::exception& e) {
    return raise_panic(e.what());
  } catch (...) {
    return raise_panic("unknown internal fault");
  }
}

nb::python_error named_type_error(const nb::python_error& error, const char* param) {
  const nb::str message(error.value());
  const nb::object text = nb::steal(PyUnicode_FromFormat("argument '%s': %U", param, message.ptr()));
  if (!text.is_valid()) return {};
  const nb::object replacement = nb::steal(PyObject_CallOneArg(PyExc_TypeError, text.ptr()));
  if (!replacement.is_valid()) return {};
  PyObject* cause = PyException_GetCause(error.value().ptr());  // new reference or NULL
  if (cause != nullptr) PyException_SetCause(replacement.ptr(), cause);  // steals
  PyErr_SetObject(PyExc_TypeError, replacement.ptr());
  return {};
}

std::string docstring(const Function& fn, std::span<const char* const> defaults, const char* description) {
  std::string doc = fn.name;
  doc.append("(");
  for (std::size_t p = 0; p < fn.params.size(); ++p) {
    if (p > 0) doc.append(", ");
    doc.append(fn.params[p]);
    if (defaults[p] != nullptr) doc.append("=").append(defaults[p]);
  }
  return doc.append(")\n--\n\n").append(description);
}

void add_to_module(nb::module_& m, Function& fn, EntryPoint entry_point) {
  for (const char* p : fn.params) {
    if (p == nullptr) throw std::logic_error(fn.name + ": a parameter without a name");
  }
  fn.def = PyMethodDef{fn.name.c_str(), reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry_point)),
                       METH_FASTCALL | METH_KEYWORDS, fn.doc.c_str()};
  const nb::object module_name = nb::steal(PyModule_GetNameObject(m.ptr()));
  if (!module_name.is_valid()) raise_set();
  const nb::object function = nb::steal(PyCFunction_NewEx(&fn.def, m.ptr(), module_name.ptr()));
  if (!function.is_valid()) raise_set();
  const nb::object name = nb::steal(PyObject_GetAttrString(function.ptr(), "__name__"));
  if (!name.is_valid()) raise_set();
  nb::object all = nb::steal(PyObject_GetAttrString(m.ptr(), "__all__"));
  if (!all.is_valid()) {
    if (PyErr_ExceptionMatches(PyExc_AttributeError) == 0) raise_set();
    PyErr_Clear();
    all = nb::list();
    if (PyObject_SetAttrString(m.ptr(), "__all__", all.ptr()) != 0) raise_set();
  }
  if (PyList_Append(all.ptr(), name.ptr()) != 0 || PyObject_SetAttr(m.ptr(), name.ptr(), function.ptr()) != 0) {
    raise_set();
  }
}

}  // namespace vek_native
