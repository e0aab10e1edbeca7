// The function table: one row per Python function, each with its docstring,
// parameters and the call of one wallet operation.
#include <array>

#include "binding.h"
#include "conversions.h"
#include "vek/lib/ops.h"

namespace vek_py {
namespace {

// Runs an operation result through the matching result conversion, or raises.
template <typename T, typename F>
PyObject* finish(vek_lib::VekResult<T>&& result, F&& to_python) {
  if (!result) return map_err(result.error());
  return to_python(*result);
}

// ---- generate_mnemonic(words=12)
constexpr Param kGenerateMnemonicParams[] = {{"words", ParamKind::IntDefault12}};
PyObject* generate_mnemonic_impl(const Args& a) {
  auto phrase = vek_lib::generate_mnemonic(a.int_or(0, 12));
  if (!phrase) return map_err(phrase.error());
  PyObject* out = str_result(*phrase);
  vek_signer::wipe_string(*phrase);
  return out;
}

constexpr FunctionRow kTable[] = {
    {"generate_mnemonic",
     "generate_mnemonic(words=12)\n--\n\nGenerate a new BIP-39 mnemonic phrase.",
     kGenerateMnemonicParams, 0, generate_mnemonic_impl},
};

}  // namespace

std::span<const FunctionRow> function_table() { return kTable; }

}  // namespace vek_py
