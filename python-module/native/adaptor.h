// One generic adaptor makes every function of vek._native: a built-in function object
// (the fast calling convention with keywords) whose docstring carries a text signature,
// binding its arguments by position and keyword to a parameter list, converting them in
// parameter order by their C++ types (args.h), then calling a typed C++ function.
//
//   nb::object derive_address(Text mnemonic, Text chain, OptIndex index);
//   add_function<derive_address>(m, "derive_address", {"mnemonic", "chain", "index"},
//                                "Derive an address from a mnemonic for the given chain.");
//
// gives derive_address(mnemonic, chain, index=None). The interpreter lock stays held for
// the whole call. A Python error raised by the function (nanobind::python_error) reaches
// the caller as it is; any other C++ exception becomes PanicException.
//
// The module does not set up nanobind's internals: they would add an attribute of their
// own to the module, which has exactly its functions and __all__. So the code of this
// module uses nanobind's object wrappers (handles, str, dict, list, python_error) and the
// interpreter's API, but not nanobind's string-keyed accessors (obj.attr("x"),
// dict["x"]) nor calls through it (obj(...)), which need those internals.
#pragma once

#include <nanobind/nanobind.h>

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "args.h"

namespace vek_native {

namespace nb = nanobind;

// The most parameters a function has.
inline constexpr std::size_t kMaxParams = 8;

// The objects bound to the parameters, in parameter order; nullptr for one omitted.
using Slots = std::span<PyObject* const>;

struct Function;
using Invoke = nb::object (*)(const Function& fn, Slots slots);

// One function of the module, kept for the life of the process (the interpreter holds
// its method definition).
struct Function {
  std::string name;
  std::vector<const char*> params;
  std::size_t required = 0;  // the leading parameters without a default
  std::string doc;           // "name(params)\n--\n\ndescription"
  Invoke invoke = nullptr;
  PyMethodDef def{};
};

// Binds, calls fn.invoke, and turns a failure into the Python exception; the interpreter's
// calling convention for every function.
PyObject* call(const Function& fn, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept;

// A TypeError of a conversion raised again as "argument '{param}': {message}", keeping
// the original's __cause__.
[[nodiscard]] nb::python_error named_type_error(const nb::python_error& error, const char* param);

// Makes the built-in function for `fn` and adds it to `m` and to `m.__all__`.
using EntryPoint = PyObject* (*)(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
void add_to_module(nb::module_& m, Function& fn, EntryPoint entry_point);

// The converted value of one argument: a conversion that fails with exactly TypeError
// names the parameter; other failures pass unchanged.
template <typename T>
T convert_arg(PyObject* obj, const char* param) {
  try {
    return ArgCaster<T>::convert(obj);
  } catch (const nb::python_error& e) {
    if (!e.type().is(PyExc_TypeError)) throw;
    throw named_type_error(e, param);
  }
}

template <typename F>
struct Signature;

template <typename... A>
struct Signature<nb::object (*)(A...)> {
  static constexpr std::size_t arity = sizeof...(A);
  static constexpr std::array<const char*, arity> defaults{ArgCaster<A>::default_text...};

  template <nb::object (*F)(A...), std::size_t... I>
  static nb::object invoke(const Function& fn, Slots slots, std::index_sequence<I...>) {
    // A braced list converts left to right: the first failing parameter is the one reported.
    std::tuple<A...> values{convert_arg<A>(slots[I], fn.params[I])...};
    return std::apply(F, std::move(values));
  }
};

template <auto F>
inline Function* g_function = nullptr;

template <auto F>
PyObject* entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
  return call(*g_function<F>, args, nargs, kwnames);
}

// The docstring of a function: its text signature line, "--", an empty line, the description.
[[nodiscard]] std::string docstring(const Function& fn, std::span<const char* const> defaults, const char* description);

template <auto F>
void add_function(nb::module_& m, const char* name, const std::array<const char*, Signature<decltype(F)>::arity>& params,
                  const char* description) {
  using Sig = Signature<decltype(F)>;
  static_assert(Sig::arity <= kMaxParams);
  static_assert([] {
    bool optional_seen = false;
    for (const char* d : Sig::defaults) {
      if (d == nullptr && optional_seen) return false;
      optional_seen = optional_seen || d != nullptr;
    }
    return true;
  }(), "required parameters come first");
  auto* fn = new Function{name, {params.begin(), params.end()}, 0, {}, nullptr, {}};  // kept for the process
  for (const char* d : Sig::defaults) fn->required += d == nullptr ? 1U : 0U;
  fn->doc = docstring(*fn, Sig::defaults, description);
  fn->invoke = [](const Function& f, Slots slots) {
    return Sig::template invoke<F>(f, slots, std::make_index_sequence<Sig::arity>{});
  };
  g_function<F> = fn;
  add_to_module(m, *fn, &entry<F>);
}

}  // namespace vek_native
