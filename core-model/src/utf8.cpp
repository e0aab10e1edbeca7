#include "vek/core/utf8.h"

#include <cstdint>

namespace vek_core {

Utf8Sequence utf8_sequence(const unsigned char* s, std::size_t n) noexcept {
  const unsigned char c = s[0];
  std::size_t len;
  unsigned char lo = 0x80, hi = 0xBF;  // range of the second byte (RFC 3629 table)
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    if (c == 0xE0) lo = 0xA0;  // overlong
    if (c == 0xED) hi = 0x9F;  // surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    if (c == 0xF0) lo = 0x90;  // overlong
    if (c == 0xF4) hi = 0x8F;  // above U+10FFFF
  } else {
    return {0, 1, false};
  }
  std::size_t k = 1;
  for (; k < len; ++k) {
    if (k >= n) return {0, k, true};
    const unsigned char b = s[k];
    if (b < (k == 1 ? lo : 0x80) || b > (k == 1 ? hi : 0xBF)) return {0, k, false};
  }
  return {len, len, false};
}

std::optional<std::string> utf8_error(std::string_view text) {
  const auto* s = reinterpret_cast<const unsigned char*>(text.data());
  for (std::size_t i = 0; i < text.size();) {
    if (s[i] < 0x80) {
      ++i;
      continue;
    }
    const Utf8Sequence seq = utf8_sequence(s + i, text.size() - i);
    if (seq.truncated) return "incomplete utf-8 byte sequence from index " + std::to_string(i);
    if (seq.length == 0) {
      return "invalid utf-8 sequence of " + std::to_string(seq.valid) + " bytes from index " + std::to_string(i);
    }
    i += seq.length;
  }
  return std::nullopt;
}

std::string utf8_lossy(std::string_view bytes) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
  const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
  std::string out;
  out.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size();) {
    if (s[i] < 0x80) {
      out.push_back(static_cast<char>(s[i++]));
      continue;
    }
    const Utf8Sequence seq = utf8_sequence(s + i, bytes.size() - i);
    if (seq.length != 0) {
      out.append(bytes.substr(i, seq.length));
    } else {
      out.append(kReplacement);
    }
    i += seq.valid;
  }
  return out;
}

}  // namespace vek_core
