// Module initialisation: creates `_native` once per process and adds its functions.
#include <nanobind/nanobind.h>

#include <exception>

#include "functions.h"

namespace nb = nanobind;

namespace {

// m_size 0 (no per-module state) makes the interpreter call PyInit__native again on a
// re-import instead of copying a cached dict, so the checks below always run.
PyModuleDef g_module_def = {
    PyModuleDef_HEAD_INIT, "_native", "Python module definition.", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

PyObject* g_module = nullptr;  // kept for the life of the process
PyInterpreterState* g_owner = nullptr;

}  // namespace

extern "C" __attribute__((visibility("default"))) PyObject* PyInit__native() {
  PyInterpreterState* interp = PyInterpreterState_Get();
  if (g_module != nullptr) {
    if (interp != g_owner) {
      PyErr_SetString(PyExc_ImportError,
                      "vek._native does not support sub-interpreters: it is already loaded in another interpreter");
      return nullptr;
    }
    return nb::handle(g_module).inc_ref().ptr();
  }
  if (g_owner != nullptr && interp != g_owner) {
    PyErr_SetString(PyExc_ImportError, "vek._native does not support sub-interpreters");
    return nullptr;
  }
  try {
    nb::module_ module = nb::steal<nb::module_>(PyModule_Create(&g_module_def));
    if (!module.is_valid()) throw nb::python_error();
    vek_native::add_functions(module);
    g_owner = interp;
    g_module = module.inc_ref().ptr();
    return module.release().ptr();
  } catch (nb::python_error& e) {
    e.restore();
  } catch (const std::exception& e) {
    PyErr_SetString(PyExc_ImportError, e.what());
  }
  return nullptr;
}
