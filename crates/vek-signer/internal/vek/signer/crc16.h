// CRC-16/XMODEM: polynomial 0x1021, initial value 0, no reflection, no final XOR
// (check value 0x31C3 for "123456789"). TON's user-friendly addresses end with it.
#pragma once

#include <cstdint>
#include <span>

namespace vek_signer {

[[nodiscard]] std::uint16_t crc16_xmodem(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace vek_signer
