#include "binding.h"

#include <exception>
#include <string>

#include "conversions.h"
#include "py_ref.h"

namespace vek_py {
namespace {

void raise_too_many_positional(const FunctionRow& row, Py_ssize_t given) {
  PyErr_Format(PyExc_TypeError, "%s() takes from %zu to %zu positional arguments but %zd %s given", row.name,
               row.required, row.params.size(), given, given == 1 ? "was" : "were");
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'" as the interpreter words it.
std::string quoted_list(const std::array<const char*, kMaxParams>& names, std::size_t n) {
  std::string out;
  for (std::size_t i = 0; i < n; ++i) {
    if (i > 0) {
      if (n == 2) {
        out += " and ";
      } else {
        out += i + 1 == n ? ", and " : ", ";
      }
    }
    out += '\'';
    out += names[i];
    out += '\'';
  }
  return out;
}

// Fills `slots` (parameter order) with borrowed references; false with TypeError set.
bool bind(const FunctionRow& row, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
          std::array<PyObject*, kMaxParams>& slots) {
  const std::size_t total = row.params.size();
  if (nargs < 0 || static_cast<std::size_t>(nargs) > total) {
    raise_too_many_positional(row, nargs);
    return false;
  }
  for (Py_ssize_t i = 0; i < nargs; ++i) slots[static_cast<std::size_t>(i)] = args[i];

  const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
  for (Py_ssize_t k = 0; k < nkw; ++k) {
    PyObject* key = PyTuple_GET_ITEM(kwnames, k);
    std::size_t idx = total;
    for (std::size_t p = 0; p < total; ++p) {
      if (PyUnicode_Check(key) && PyUnicode_CompareWithASCIIString(key, row.params[p].name) == 0) {
        idx = p;
        break;
      }
    }
    if (idx == total) {
      PyErr_Format(PyExc_TypeError, "%s() got an unexpected keyword argument '%S'", row.name, key);
      return false;
    }
    if (slots[idx] != nullptr) {
      PyErr_Format(PyExc_TypeError, "%s() got multiple values for argument '%s'", row.name, row.params[idx].name);
      return false;
    }
    slots[idx] = args[nargs + k];
  }

  std::array<const char*, kMaxParams> missing{};
  std::size_t nmissing = 0;
  for (std::size_t p = 0; p < row.required; ++p) {
    if (slots[p] == nullptr) missing[nmissing++] = row.params[p].name;
  }
  if (nmissing != 0) {
    const std::string list = quoted_list(missing, nmissing);
    PyErr_Format(PyExc_TypeError, "%s() missing %zu required positional argument%s: %s", row.name, nmissing,
                 nmissing == 1 ? "" : "s", list.c_str());
    return false;
  }
  return true;
}

// Re-raises an exactly-TypeError conversion failure as "argument '{name}': {message}",
// keeping the original's __cause__. Other exception types pass through unchanged.
void name_type_error(const char* param) {
  PyObject *type = nullptr, *value = nullptr, *tb = nullptr;
  PyErr_Fetch(&type, &value, &tb);
  if (type != PyExc_TypeError) {
    PyErr_Restore(type, value, tb);
    return;
  }
  PyErr_NormalizeException(&type, &value, &tb);
  PyRef t(type), v(value), trace(tb);
  PyRef msg(v ? PyObject_Str(v.get()) : PyUnicode_FromString(""));
  if (!msg) return;
  PyRef text(PyUnicode_FromFormat("argument '%s': %U", param, msg.get()));
  if (!text) return;
  PyRef replacement(PyObject_CallOneArg(PyExc_TypeError, text.get()));
  if (!replacement) return;
  if (v) {
    PyObject* cause = PyException_GetCause(v.get());  // new reference or NULL
    if (cause != nullptr) PyException_SetCause(replacement.get(), cause);  // steals
  }
  PyErr_SetObject(PyExc_TypeError, replacement.get());
}

bool convert(const FunctionRow& row, const std::array<PyObject*, kMaxParams>& slots, Args& out) {
  for (std::size_t p = 0; p < row.params.size(); ++p) {
    const Param& param = row.params[p];
    PyObject* obj = slots[p];
    bool ok = true;
    switch (param.kind) {
      case ParamKind::Text:
        ok = to_text(obj, out.text[p]);
        break;
      case ParamKind::OptText:
        if (obj != nullptr && obj != Py_None) ok = to_text(obj, out.text[p]);
        break;
      case ParamKind::OptInt:
        if (obj != nullptr && obj != Py_None) ok = to_u32(obj, out.integer[p]);
        break;
      case ParamKind::IntDefault12:
        if (obj == nullptr) {
          out.integer[p] = 12;
        } else {
          ok = to_u32(obj, out.integer[p]);
        }
        break;
    }
    if (!ok) {
      name_type_error(param.name);
      return false;
    }
  }
  return true;
}

}  // namespace

PyObject* call_row(const FunctionRow& row, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  try {
    std::array<PyObject*, kMaxParams> slots{};
    if (!bind(row, args, nargs, kwnames, slots)) return nullptr;
    Args converted;
    if (!convert(row, slots, converted)) return nullptr;
    return row.impl(converted);
  } catch (const std::exception& e) {
    return raise_panic(e.what());
  } catch (...) {
    return raise_panic("unknown internal fault");
  }
}

}  // namespace vek_py
