// The functions of vek._native.
#pragma once

#include <nanobind/nanobind.h>

namespace vek_native {

// Adds the thirteen functions to `m`, in table order, with `m.__all__` naming them.
void add_functions(nanobind::module_& m);

}  // namespace vek_native
