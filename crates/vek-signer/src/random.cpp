#include "vek/signer/random.h"

#include <sys/random.h>

#include <cerrno>

#include "vek/core/support.h"

namespace vek_signer {

std::expected<void, std::string> os_random(std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::getrandom(out.data() + done, out.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(vek_core::os_error_text(errno));
    }
    done += static_cast<std::size_t>(n);
  }
  return {};
}

}  // namespace vek_signer
