#include "calls.h"

#include "vek/signer/zeroizing.h"

namespace vek_api {

bool python_signals_let_wait() {
  const nanobind::gil_scoped_acquire locked;
  return PyErr_CheckSignals() == 0;
}

nanobind::str secret_str(std::string&& secret) {
  struct Wipe {
    std::string& s;
    ~Wipe() { vek_signer::wipe_string(s); }
  } wipe{secret};
  return nanobind::str(secret.data(), secret.size());
}

}  // namespace vek_api
