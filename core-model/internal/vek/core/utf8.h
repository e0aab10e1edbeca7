// UTF-8 checks shared by the JSON readers, the vault, the operations and the curl output
// decoder: one statement of the RFC 3629 sequence rules.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vek_core {

// The sequence that starts at s[0] (s[0] >= 0x80, n >= 1 bytes available).
struct Utf8Sequence {
  std::size_t length;  // its length when well formed (2 to 4), else 0
  std::size_t valid;   // bytes of its longest valid prefix (1 to 4)
  bool truncated;      // the text ended inside that prefix
};

// Rejects overlong forms, surrogates and code points above U+10FFFF.
[[nodiscard]] Utf8Sequence utf8_sequence(const unsigned char* s, std::size_t n) noexcept;

// None when `text` is valid UTF-8; otherwise the decoder's explanation, e.g.
// "invalid utf-8 sequence of 1 bytes from index 3" or "incomplete utf-8 byte sequence from index 3".
[[nodiscard]] std::optional<std::string> utf8_error(std::string_view text);

// `bytes` as UTF-8, with each maximal invalid subsequence replaced by U+FFFD
// (the Unicode "substitution of maximal subparts" practice).
[[nodiscard]] std::string utf8_lossy(std::string_view bytes);

}  // namespace vek_core
