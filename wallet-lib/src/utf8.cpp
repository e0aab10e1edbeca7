#include "utf8.h"

#include <cstdint>

namespace vek_lib {

std::optional<std::string> utf8_error(std::string_view text) {
  const auto* s = reinterpret_cast<const std::uint8_t*>(text.data());
  const std::size_t n = text.size();
  std::size_t i = 0;
  while (i < n) {
    const std::uint8_t c = s[i];
    if (c < 0x80) {
      ++i;
      continue;
    }
    std::size_t len;
    std::uint8_t lo = 0x80, hi = 0xBF;
    if (c >= 0xC2 && c <= 0xDF) {
      len = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
      len = 3;
      if (c == 0xE0) lo = 0xA0;
      if (c == 0xED) hi = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      len = 4;
      if (c == 0xF0) lo = 0x90;
      if (c == 0xF4) hi = 0x8F;
    } else {
      return "invalid utf-8 sequence of 1 bytes from index " + std::to_string(i);
    }
    // Count how many bytes of the sequence are valid before it breaks or the text ends.
    std::size_t k = 1;
    for (; k < len; ++k) {
      if (i + k >= n) return "incomplete utf-8 byte sequence from index " + std::to_string(i);
      const std::uint8_t b = s[i + k];
      const std::uint8_t l = k == 1 ? lo : 0x80;
      const std::uint8_t h = k == 1 ? hi : 0xBF;
      if (b < l || b > h) {
        return "invalid utf-8 sequence of " + std::to_string(k) + " bytes from index " + std::to_string(i);
      }
    }
    i += len;
  }
  return std::nullopt;
}

}  // namespace vek_lib
