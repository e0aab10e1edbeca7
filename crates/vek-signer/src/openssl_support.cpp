#include "openssl_support.h"

#include <openssl/err.h>

namespace vek_signer::ossl {

std::string error_text(std::string_view fallback) {
  const unsigned long code = ERR_get_error();
  ERR_clear_error();
  const char* reason = code != 0 ? ERR_reason_error_string(code) : nullptr;
  return reason != nullptr ? std::string(reason) : std::string(fallback);
}

}  // namespace vek_signer::ossl
