#include "vek/signer/process_hardening.h"

#include <sys/mman.h>

#include <cerrno>
#include <cstdio>
#include <cstdint>
#include <cstring>

namespace vek_signer {

void secure_wipe(void* ptr, std::size_t len) noexcept {
  if (ptr == nullptr) return;
  volatile std::uint8_t* p = static_cast<volatile std::uint8_t*>(ptr);
  for (std::size_t i = 0; i < len; ++i) p[i] = 0;
  // Keep the stores from being sunk past later frees.
  __asm__ __volatile__("" : : "r"(ptr) : "memory");
}

bool mlock_slice(const void* ptr, std::size_t len) noexcept {
  if (len == 0) return true;
  if (::mlock(ptr, len) == 0) return true;
  const int err = errno;
  char buf[256];
  // GNU strerror_r may return a static string instead of filling buf.
  const char* text = ::strerror_r(err, buf, sizeof buf);
  std::fprintf(stderr, "warning: mlock failed (%s (os error %d)), key material may be swapped to disk\n", text, err);
  return false;
}

}  // namespace vek_signer
