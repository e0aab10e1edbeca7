// OpenSSL pieces shared by the signer's users of libcrypto: handle deleters and the one
// way a failure reported by OpenSSL becomes error text. Internal header: not installed.
#pragma once

#include <openssl/evp.h>

#include <memory>
#include <string>
#include <string_view>

namespace vek_signer::ossl {

struct MdCtxFree {
  void operator()(EVP_MD_CTX* c) const noexcept { EVP_MD_CTX_free(c); }
};
using MdCtxPtr = std::unique_ptr<EVP_MD_CTX, MdCtxFree>;

struct CipherCtxFree {
  void operator()(EVP_CIPHER_CTX* c) const noexcept { EVP_CIPHER_CTX_free(c); }
};
using CipherCtxPtr = std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree>;

struct PkeyFree {
  void operator()(EVP_PKEY* p) const noexcept { EVP_PKEY_free(p); }
};
using PkeyPtr = std::unique_ptr<EVP_PKEY, PkeyFree>;

// OpenSSL's reason for the failure it just reported: the reason text of the earliest
// error queued on this thread (the cause; later entries are callers adding context), or
// `fallback` when the queue is empty or the reason has no text. The queue is cleared, so
// that no stale entry is blamed on a later call.
[[nodiscard]] std::string error_text(std::string_view fallback);

}  // namespace vek_signer::ossl
