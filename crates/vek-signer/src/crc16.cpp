#include "vek/signer/crc16.h"

namespace vek_signer {

std::uint16_t crc16_xmodem(std::span<const std::uint8_t> bytes) noexcept {
  std::uint16_t crc = 0;
  for (std::uint8_t b : bytes) {
    crc = static_cast<std::uint16_t>(crc ^ (std::uint16_t{b} << 8));
    for (int i = 0; i < 8; ++i) {
      crc = (crc & 0x8000) ? static_cast<std::uint16_t>((crc << 1) ^ 0x1021) : static_cast<std::uint16_t>(crc << 1);
    }
  }
  return crc;
}

}  // namespace vek_signer
