// The application face of vek: `vek.Vault`, `vek.Session`, the result types and the
// exception classes, over the same wallet operations as vek._native.
//
// Every method converts its arguments first, then releases the interpreter lock for
// the whole wallet operation (file-system work, scrypt, seed and key derivation,
// signing, the wait for curl), then takes the lock back to build its result or raise
// (calls.h). Texts are borrowed from their str objects (kept alive by the call), so no
// secret argument is copied into memory that is freed unwiped. Docstrings that list
// families or message formats are written from the library's tables (lists.h).
#include <nanobind/nanobind.h>

#include "bindings.h"
#include "errors.h"
#include "review.h"

namespace nb = nanobind;

NB_MODULE(_vek, m) {
  m.doc() = "The application face of vek: Vault, Session, their results and exceptions.";
  nb::set_leak_warnings(false);
  vek_api::register_exceptions(m);
  vek_api::bind_results(m);
  vek_api::bind_chains(m);
  vek_api::bind_families(m);
  vek_api::bind_session(m);
  vek_api::bind_vault(m);
  vek_api::bind_async(m);
  vek_api::bind_verification(m);
  vek_api::bind_functions(m);
  vek_api::bind_review(m);
}
