#include "vek/signer/process_hardening.h"

#include <sys/mman.h>

#include <cerrno>
#include <new>
#include <string>

#include "vek/core/support.h"

namespace vek_signer {

bool mlock_slice(const void* ptr, std::size_t len) noexcept {
  if (len == 0) return true;
  if (::mlock(ptr, len) == 0) return true;
  const int err = errno;
  try {
    vek_core::warn("mlock failed (" + vek_core::os_error_text(err) + "), key material may be swapped to disk");
  } catch (const std::bad_alloc&) {
    // No memory for the text: the lock is still only a precaution, so carry on silently.
  }
  return false;
}

}  // namespace vek_signer
