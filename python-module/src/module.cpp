// Module initialisation: creates `_native` and registers the function table.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <utility>

#include "binding.h"
#include "py_ref.h"

namespace vek_py {
namespace {

constexpr std::size_t kMaxFunctions = 16;

// Each PyMethodDef needs its own C entry point; a trampoline per table slot forwards
// to the generic binder with that slot's row.
template <std::size_t I>
PyObject* trampoline(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call_row(function_table()[I], args, nargs, kwnames);
}

template <std::size_t... I>
constexpr std::array<_PyCFunctionFastWithKeywords, sizeof...(I)> make_trampolines(std::index_sequence<I...>) {
  return {&trampoline<I>...};
}

constexpr auto kTrampolines = make_trampolines(std::make_index_sequence<kMaxFunctions>{});

std::array<PyMethodDef, kMaxFunctions> g_methods{};

// m_size 0 (no per-module state) makes the interpreter call PyInit__native again on a
// re-import instead of copying a cached dict, so the checks below always run.
PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT, "_native", "Python module definition.", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

PyObject* g_module = nullptr;
PyInterpreterState* g_owner = nullptr;

PyObject* create_module() {
  PyRef module(PyModule_Create(&g_module_def));
  if (!module) return nullptr;
  PyObject* module_name = PyModule_GetNameObject(module.get());
  if (module_name == nullptr) return nullptr;
  PyRef name_holder(module_name);

  const auto table = function_table();
  if (table.size() > kMaxFunctions) {
    PyErr_SetString(PyExc_SystemError, "function table larger than its trampolines");
    return nullptr;
  }
  for (std::size_t i = 0; i < table.size(); ++i) {
    g_methods[i] = PyMethodDef{table[i].name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(kTrampolines[i])),
                               METH_FASTCALL | METH_KEYWORDS, table[i].doc};
    PyRef fn(PyCFunction_NewEx(&g_methods[i], module.get(), module_name));
    if (!fn) return nullptr;
    PyRef fname(PyObject_GetAttrString(fn.get(), "__name__"));
    if (!fname) return nullptr;
    PyRef all(PyObject_GetAttrString(module.get(), "__all__"));
    if (!all) {
      if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return nullptr;
      PyErr_Clear();
      all = PyRef(PyList_New(0));
      if (!all || PyObject_SetAttrString(module.get(), "__all__", all.get()) != 0) return nullptr;
    }
    if (PyList_Append(all.get(), fname.get()) != 0) return nullptr;
    if (PyObject_SetAttr(module.get(), fname.get(), fn.get()) != 0) return nullptr;
  }
  return module.release();
}

}  // namespace
}  // namespace vek_py

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__native() {
  using namespace vek_py;
  PyInterpreterState* interp = PyInterpreterState_Get();
  if (g_module != nullptr) {
    if (interp != g_owner) {
      PyErr_SetString(PyExc_ImportError,
                      "vek._native does not support sub-interpreters: it is already loaded in another interpreter");
      return nullptr;
    }
    Py_INCREF(g_module);
    return g_module;
  }
  if (g_owner != nullptr && interp != g_owner) {
    PyErr_SetString(PyExc_ImportError, "vek._native does not support sub-interpreters");
    return nullptr;
  }
  PyObject* module = create_module();
  if (module == nullptr) return nullptr;
  g_owner = interp;
  g_module = module;  // kept for the life of the process
  Py_INCREF(g_module);
  return module;
}
