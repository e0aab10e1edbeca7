#include "vek/signer/random.h"

#include <sys/random.h>

#include <array>
#include <cerrno>

#include "vek/core/error.h"
#include "vek/core/support.h"
#include "vek/signer/hex.h"

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

std::expected<std::string, std::string> random_uuid() {
  std::array<std::uint8_t, 16> b{};
  VEK_TRY_VOID(os_random(b));
  b[6] = static_cast<std::uint8_t>((b[6] & 0x0f) | 0x40);
  b[8] = static_cast<std::uint8_t>((b[8] & 0x3f) | 0x80);
  const std::string hex = hex_encode(b);
  return hex.substr(0, 8) + "-" + hex.substr(8, 4) + "-" + hex.substr(12, 4) + "-" + hex.substr(16, 4) + "-" +
         hex.substr(20);
}

}  // namespace vek_signer
