#include "vek/signer/random.h"

#include <sys/random.h>

#include <cerrno>
#include <cstring>

namespace vek_signer {

std::expected<void, std::string> os_random(std::span<std::uint8_t> out) {
  std::size_t done = 0;
  while (done < out.size()) {
    const ssize_t n = ::getrandom(out.data() + done, out.size() - done, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      char buf[256];
      return std::unexpected(std::string(::strerror_r(err, buf, sizeof buf)) + " (os error " + std::to_string(err) + ")");
    }
    done += static_cast<std::size_t>(n);
  }
  return {};
}

}  // namespace vek_signer
