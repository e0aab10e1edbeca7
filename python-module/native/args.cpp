#include "args.h"

#include "interop.h"

namespace nb = nanobind;

namespace vek_native {

Text text_arg(nb::handle obj) {
  if (!PyUnicode_Check(obj.ptr())) {
    const nb::object name = nb::steal(PyObject_GetAttrString(obj.type().ptr(), "__name__"));
    if (name.is_valid()) {
      PyErr_Format(PyExc_TypeError, "'%S' object cannot be converted to 'PyString'", name.ptr());
    } else {
      PyErr_Clear();
      PyErr_Format(PyExc_TypeError, "'%s' object cannot be converted to 'PyString'", Py_TYPE(obj.ptr())->tp_name);
    }
    throw nb::python_error();
  }
  return vek_py::utf8(obj);
}

std::uint32_t u32_arg(nb::handle obj) {
  const nb::object integer = PyLong_Check(obj.ptr()) ? nb::borrow(obj) : nb::steal(PyNumber_Index(obj.ptr()));
  if (!integer.is_valid()) throw nb::python_error();
  const long long v = PyLong_AsLongLong(integer.ptr());
  if (v == -1 && PyErr_Occurred() != nullptr) throw nb::python_error();
  if (v < 0 || v > 4294967295LL) vek_py::raise_text(PyExc_OverflowError, "out of range integral type conversion attempted");
  return static_cast<std::uint32_t>(v);
}

}  // namespace vek_native
