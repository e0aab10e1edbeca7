#include "conversions.h"

#include <string>

#include "py_ref.h"

namespace vek_py {
namespace {

// A dict item from a C string key; false with the interpreter's error set.
bool set_item(PyObject* dict, const char* key, PyObject* value_new_ref) {
  PyRef value(value_new_ref);
  if (!value) return false;
  return PyDict_SetItemString(dict, key, value.get()) == 0;
}

PyObject* new_str(std::string_view s) {
  return PyUnicode_DecodeUTF8(s.data(), static_cast<Py_ssize_t>(s.size()), "strict");
}

}  // namespace

bool to_text(PyObject* obj, std::optional<std::string_view>& out) {
  if (obj == nullptr || !PyUnicode_Check(obj)) {
    PyRef name(obj == nullptr ? nullptr : PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__name__"));
    if (!name) {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyString'",
                   obj == nullptr ? "NULL" : Py_TYPE(obj)->tp_name);
      return false;
    }
    PyErr_Format(PyExc_TypeError, "'%S' object cannot be converted to 'PyString'", name.get());
    return false;
  }
  Py_ssize_t len = 0;
  const char* data = PyUnicode_AsUTF8AndSize(obj, &len);
  if (data == nullptr) return false;
  out = std::string_view(data, static_cast<std::size_t>(len));
  return true;
}

bool to_u32(PyObject* obj, std::optional<std::uint32_t>& out) {
  long long v;
  if (PyLong_Check(obj)) {
    v = PyLong_AsLongLong(obj);
  } else {
    PyRef index(PyNumber_Index(obj));
    if (!index) return false;
    v = PyLong_AsLongLong(index.get());
  }
  if (v == -1 && PyErr_Occurred()) return false;
  if (v < 0 || v > 4294967295LL) {
    PyErr_SetString(PyExc_OverflowError, "out of range integral type conversion attempted");
    return false;
  }
  out = static_cast<std::uint32_t>(v);
  return true;
}

PyObject* map_err(const vek_lib::VekLibError& error) {
  const std::string text = error.display();
  PyRef message(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
  if (!message) return nullptr;
  PyErr_SetObject(PyExc_RuntimeError, message.get());
  return nullptr;
}

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

PyObject* str_result(std::string_view text) { return new_str(text); }

PyObject* wallet_info_to_dict(const vek_lib::WalletInfo& info) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  if (!set_item(dict.get(), "id", new_str(info.id)) || !set_item(dict.get(), "name", new_str(info.name))) {
    return nullptr;
  }
  PyRef accounts(PyList_New(0));
  if (!accounts) return nullptr;
  for (const auto& a : info.accounts) {
    PyRef acc(PyDict_New());
    if (!acc) return nullptr;
    if (!set_item(acc.get(), "chain_id", new_str(a.chain_id)) || !set_item(acc.get(), "address", new_str(a.address)) ||
        !set_item(acc.get(), "derivation_path", new_str(a.derivation_path))) {
      return nullptr;
    }
    if (PyList_Append(accounts.get(), acc.get()) != 0) return nullptr;
  }
  if (!set_item(dict.get(), "accounts", accounts.release()) ||
      !set_item(dict.get(), "created_at", new_str(info.created_at))) {
    return nullptr;
  }
  return dict.release();
}

PyObject* wallet_list(const std::vector<vek_lib::WalletInfo>& infos) {
  PyRef list(PyList_New(0));
  if (!list) return nullptr;
  for (const auto& info : infos) {
    PyRef d(wallet_info_to_dict(info));
    if (!d || PyList_Append(list.get(), d.get()) != 0) return nullptr;
  }
  return list.release();
}

PyObject* sign_result_to_dict(const vek_lib::SignResult& result) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  if (!set_item(dict.get(), "signature", new_str(result.signature))) return nullptr;
  PyObject* rid = nullptr;
  if (result.recovery_id) {
    rid = PyLong_FromUnsignedLong(*result.recovery_id);
  } else {
    rid = Py_None;
    Py_INCREF(rid);
  }
  if (!set_item(dict.get(), "recovery_id", rid)) return nullptr;
  return dict.release();
}

PyObject* broadcast_result_to_dict(const std::string& tx_hash) {
  PyRef dict(PyDict_New());
  if (!dict) return nullptr;
  if (!set_item(dict.get(), "tx_hash", new_str(tx_hash))) return nullptr;
  return dict.release();
}

}  // namespace vek_py
