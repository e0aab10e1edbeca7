#include "given_secrets.h"

#include <cstddef>
#include <string>

#include "errors.h"
#include "vek/signer/zeroizing.h"

namespace nb = nanobind;

namespace vek_api {
namespace {

PyObject* g_generated_key_warning = nullptr;  // kept for the life of the process, like the module

// Overwrites the characters of a str this code made and alone holds, and its UTF-8 form.
void wipe_str(PyObject* s) {
  if (Py_REFCNT(s) != 1 || !PyUnicode_CheckExact(s)) return;  // shared (a cached one-character str)
  Py_ssize_t n = 0;
  if (const char* utf8 = PyUnicode_AsUTF8AndSize(s, &n); utf8 != nullptr) {
    vek_signer::secure_wipe(const_cast<char*>(utf8), static_cast<std::size_t>(n));
  } else {
    PyErr_Clear();
  }
  const auto bytes = static_cast<std::size_t>(PyUnicode_GET_LENGTH(s)) * static_cast<std::size_t>(PyUnicode_KIND(s));
  vek_signer::secure_wipe(PyUnicode_DATA(s), bytes);
}

}  // namespace

Nfkd::Nfkd(const nb::str& given) {
  if (PyUnicode_IS_ASCII(given.ptr()) == 0) {
    // Kept for the life of the process (a static object would be released after the
    // interpreter is gone).
    static const nb::handle normalize = nb::object(nb::module_::import_("unicodedata").attr("normalize")).release();
    nb::object normal = normalize("NFKD", given);
    if (!normal.is(given)) copy_ = std::move(normal);
  }
  text_ = vek_api::text(copy_.is_valid() ? nb::borrow<nb::str>(copy_) : given);
}

Nfkd::~Nfkd() {
  if (copy_.is_valid()) wipe_str(copy_.ptr());
}

std::string_view required_passphrase(const OptStr& passphrase) {
  if (!passphrase) {
    raise(vek_lib::VekLibError::invalid_input(
        "passphrase is required: give the wallet's passphrase, or passphrase=\"\" to store the wallet without one"));
  }
  return text(*passphrase);
}

void warn_generated_keys(const vek_lib::WalletInfo& wallet, std::string_view what, std::string_view advice) {
  for (const std::string& curve : wallet.generated_keys) {
    std::string message(what);
    message.append(": the ").append(curve).append(" key was not given and is new and random; its ");
    message.append(curve).append(" accounts belong to no other wallet: ").append(advice);
    if (PyErr_WarnEx(g_generated_key_warning, message.c_str(), 1) != 0) throw nb::python_error();
  }
}

void bind_generated_key_warning(nb::module_& m) {
  const std::string name = nb::cast<std::string>(m.attr("__name__")) + ".GeneratedKeyWarning";
  g_generated_key_warning = PyErr_NewExceptionWithDoc(
      name.c_str(),
      "An import, or Session.from_private_key, was given the key of one curve only: the other curve's\n"
      "key was made at random (Wallet.generated_keys names it) and exists nowhere else.",
      PyExc_UserWarning, nullptr);
  if (g_generated_key_warning == nullptr) throw nb::python_error();
  m.attr("GeneratedKeyWarning") = nb::handle(g_generated_key_warning);
}

}  // namespace vek_api
