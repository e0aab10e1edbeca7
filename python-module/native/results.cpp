#include "results.h"

#include "interop.h"

namespace nb = nanobind;
using vek_py::str_of;

namespace vek_native {
namespace {

// dict[key] = value (PyDict_SetItemString: nanobind's string-keyed accessors need its
// internals, which this module does not set up).
void set_item(nb::dict& dict, const char* key, nb::handle value) {
  if (PyDict_SetItemString(dict.ptr(), key, value.ptr()) != 0) throw nb::python_error();
}

}  // namespace

nb::object wallet_dict(const vek_lib::WalletInfo& info) {
  nb::dict dict;
  set_item(dict, "id", str_of(info.id));
  set_item(dict, "name", str_of(info.name));
  nb::list accounts;
  for (const auto& a : info.accounts) {
    nb::dict account;
    set_item(account, "chain_id", str_of(a.chain_id));
    set_item(account, "address", str_of(a.address));
    set_item(account, "derivation_path", str_of(a.derivation_path));
    accounts.append(account);
  }
  set_item(dict, "accounts", accounts);
  set_item(dict, "created_at", str_of(info.created_at));
  return dict;
}

nb::object wallet_list(const std::vector<vek_lib::WalletInfo>& infos) {
  nb::list list;
  for (const auto& info : infos) list.append(wallet_dict(info));
  return list;
}

nb::object sign_dict(const vek_lib::SignResult& result) {
  nb::dict dict;
  set_item(dict, "signature", str_of(result.signature));
  set_item(dict, "recovery_id", result.recovery_id ? nb::object(nb::int_(*result.recovery_id)) : nb::none());
  return dict;
}

nb::object broadcast_dict(const std::string& tx_hash) {
  nb::dict dict;
  set_item(dict, "tx_hash", str_of(tx_hash));
  return dict;
}

void raise_error(const vek_lib::VekLibError& error) { vek_py::raise_text(PyExc_RuntimeError, error.display()); }

}  // namespace vek_native
