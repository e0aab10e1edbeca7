// The exception classes of `vek`, made from the core table of error classes, and the raising of an error as one.
#pragma once

#include <nanobind/nanobind.h>

#include "interop.h"
#include "vek/lib/error.h"

namespace vek_api {

// Creates VekError (a RuntimeError) and its subclasses as attributes of `m`.
void register_exceptions(nanobind::module_& m);

// Raises the exception class of `error`'s kind with the error's display text, exactly
// as vek._native words it (by throwing nanobind::python_error).
[[noreturn]] void raise(const vek_lib::VekLibError& error);

// The value of a VekResult, or raise() its error.
template <typename T>
T take(vek_lib::VekResult<T>&& result) {
  return vek_py::value_or(std::move(result), raise);
}

}  // namespace vek_api
